// The rows that a computer's lookup gives, whatever the transport, and how far a run has come:
// what the rooms that look computers up, schedule them and write their rows all speak of.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serial_facts.h"

namespace quillmark::companion {

// kNotLookedUp: the computer was never contacted, because no thread could be made for it at all.
enum class RowStatus { kOk, kNoInstance, kFailed, kTimedOut, kUnreachable, kNotLookedUp };

inline constexpr RowStatus kEveryRowStatus[] = {RowStatus::kOk,          RowStatus::kNoInstance,
                                                RowStatus::kFailed,      RowStatus::kTimedOut,
                                                RowStatus::kUnreachable, RowStatus::kNotLookedUp};

// "ok", "no instance", "failed", "timed out", "unreachable" or "not looked up".
const wchar_t* StatusWord(RowStatus status);

// One BIOS instance's serial number, or the reason a computer gave none. A computer with several
// instances gives several rows.
struct LookupRow {
  std::wstring computer;
  std::wstring serial;
  RowStatus status = RowStatus::kOk;
  std::optional<std::int32_t> code;  // the platform's failure code, when there was one
  std::wstring description;
  std::uint64_t milliseconds = 0;  // from the start of this computer's lookup
  std::wstring protocol = {};      // "dcom" or "wsman": the lookup's transport; empty if none made
  // The facts the run asked for, by FactIndex, as the computer gave them; empty where not asked for
  // or not read.
  std::array<std::wstring, kFactCount> facts = {};
  // The facts asked for that could not be read, each once.
  std::vector<FactFailure> fact_failures = {};
};

// The rows of one computer whose lookup ended (with serials, none, a failure or its deadline).
using ComputerRows = std::vector<LookupRow>;

// Counts of computers, not of rows: a computer is done once its lookup has ended either way.
struct LookupProgress {
  std::size_t done = 0;
  std::size_t total = 0;
  std::size_t failed = 0;  // ended without a serial number, other than by timing out
  std::size_t timed_out = 0;
};

}  // namespace quillmark::companion
