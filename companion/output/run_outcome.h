// What a run of lookups ends with: its exit code, and the progress line shown while it runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lookup_row.h"

namespace quillmark::companion {

// Exit codes are unsigned, as Windows keeps them.
inline constexpr std::uint32_t kExitAllAnswered = 0;
inline constexpr std::uint32_t kExitSomeUnanswered = 1;
inline constexpr std::uint32_t kExitUsage = 2;
// The output (or the retry list) could not be written; the reason is on standard error.
inline constexpr std::uint32_t kExitOutputFailed = 3;
// What a console program ended by Ctrl+C exits with, so callers see the usual interruption.
inline constexpr std::uint32_t kExitInterrupted = 0xC000013A;

// kExitAllAnswered when every computer has at least one "ok" row and no row is anything else;
// otherwise kExitSomeUnanswered, including for a computer with no row at all. Computers are matched
// to rows by ComputerNameKey.
std::uint32_t ExitCodeFor(const std::vector<std::wstring>& computers,
                          const std::vector<LookupRow>& rows);

// Whether a computer's rows belong in the retry list: every row whose status is anything but "ok"
// or "no instance" (the computer answered that it has none) puts it there.
bool NeedsRetry(const std::vector<LookupRow>& rows);

// "37/250 done, 3 failed, 1 timed out".
std::wstring ProgressText(const LookupProgress& progress);

}  // namespace quillmark::companion
