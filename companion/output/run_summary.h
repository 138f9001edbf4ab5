// The few lines a run ends with on standard error: how many computers answered, and
// why the others did not, grouped by failure code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "lookup_row.h"
#include "platform_failure.h"

namespace quillmark::companion {

// At most this many codes get a line of their own; the rest are counted together.
inline constexpr std::size_t kSummaryCodeLines = 10;

// Counts computers, not rows, as their rows are handed on.
class RunSummary {
 public:
  // What to check for a code: the guide's hint, or the caller's where it knows more (the ports the
  // reachability check tried).
  using HintFor = std::function<std::wstring(std::int32_t code)>;
  // A code's own description, as the platform gives it: no row's text stands for every computer.
  using DescribeFor = std::function<std::wstring(std::int32_t code)>;

  explicit RunSummary(std::size_t computers, HintFor hint = FailureHint,
                      DescribeFor describe = DescribeFailureCode)
      : computers_(computers), hint_(std::move(hint)), describe_(std::move(describe)) {}

  // One computer's rows. Every row "ok": it answered fully. Otherwise the code of its first row
  // that has one, whether it failed, timed out, was unreachable or was not looked up, also after
  // some serials (which are counted too); "no instance" is counted apart.
  void Add(const ComputerRows& rows);

  // The lines, each ending in the line end: the count of computers that answered fully, and of
  // those that gave some serials before failing; then one line per code, the most frequent first
  // (ties in the order first met), with the count, the code, its own description (cut at a length
  // by code points) and the hint; computers with no instance; and those the run ended without (a
  // stop, output that could not be written).
  std::vector<std::wstring> Lines() const;

 private:
  struct CodeCount {
    std::int32_t code;
    std::size_t count;
  };
  std::size_t computers_;
  HintFor hint_;
  DescribeFor describe_;
  std::size_t added_ = 0;
  std::size_t answered_ = 0;
  std::size_t partly_answered_ = 0;  // gave serials, then failed
  std::size_t no_instance_ = 0;
  std::vector<CodeCount> codes_;  // in the order first met; few, so searched in place
};

}  // namespace quillmark::companion
