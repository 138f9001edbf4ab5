// The lines a run ends with after RunSummary's: which serial numbers tell no computer from another
// (placeholders, virtual machines' and the serials several computers gave) and which facts beside
// them could not be read. Rows stream, so only the run's end knows that two computers share one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "computer_names.h"
#include "lookup_row.h"
#include "serial_facts.h"

namespace quillmark::companion {

// At most this many serials shared get a line each, and at most this many computers are named in
// one; the rest are counted.
inline constexpr std::size_t kSharedSerialLines = 10;
inline constexpr std::size_t kSharedNamesShown = 5;
// At most this many (fact, code) pairs get a line each; the rest are counted together.
inline constexpr std::size_t kFactFailureLines = 10;

// Counts computers, not rows, as their rows are handed on in input order. `computers` must outlive
// it: the names a line shows are read from it.
class SerialSummary {
 public:
  explicit SerialSummary(const ComputerNames& computers) : computers_(computers) {}

  // The rows of the computer at `index` in `computers`.
  void Add(std::size_t index, const ComputerRows& rows);

  // The lines, each ending in the line end, none where there is nothing to tell: the computers
  // that gave a placeholder, those that gave a virtual machine's serial, then each serial that
  // more than one computer gave (compared by SerialKey; placeholders left out), the most shared
  // first (ties in the order first met) with the first few of its computers, then each fact that
  // could not be read, by fact and code, the most frequent first.
  std::vector<std::wstring> Lines() const;

 private:
  struct Serial {
    std::wstring shown;  // as the first computer gave it, blanks at the ends dropped
    std::size_t computers = 0;
    std::array<std::size_t, kSharedNamesShown> first = {};  // the first computers' indices
  };
  struct FactCount {
    Fact fact;
    std::int32_t code;
    std::size_t computers;
  };
  const ComputerNames& computers_;
  std::size_t placeholders_ = 0;
  std::size_t virtual_machines_ = 0;
  std::unordered_map<std::wstring, Serial> serials_;  // by SerialKey
  std::vector<FactCount> fact_failures_;              // in the order first met; few
};

}  // namespace quillmark::companion
