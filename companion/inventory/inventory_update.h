// What a run does to an inventory: which computers it looks up, what each one's rows change in
// its entry, and the lines the run ends with.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "computer_names.h"
#include "inventory_text.h"
#include "lookup_row.h"
#include "serial_facts.h"

namespace quillmark::companion {

inline constexpr int kMaxAgeDaysLimit = 3650;
// The end lines count the computers not seen for this many days or more.
inline constexpr int kStaleDays = 30;
// The end lines name at most this many computers whose serial changed.
inline constexpr std::size_t kChangesNamed = 10;

// A serial field as the inventory keeps it: the serial of each "ok" row in order, each in the
// visible convention with its line breaks escaped too, one a line (LF between them), so that it
// reads back the same whatever the serials hold.
std::wstring SerialField(const ComputerRows& rows);

// Whether two serial fields hold the same serials, each compared as the text it is without the
// blanks at its ends; a line break of any kind parts two instances.
bool SameSerial(const std::wstring& kept, const std::wstring& read);

class InventoryUpdate {
 public:
  // The run over the inventory at `now`. With `sources` (the computers the run's sources gave, in
  // order), those computers: each gets its last_listed, and those new to the inventory an entry at
  // the end, in order; the inventory's others are left as they are. Without, the inventory's own
  // computers in its order. `max_age_days` leaves out the computers whose serial was read within
  // that many days. Adds the own columns the inventory lacks, and those of the asked facts.
  InventoryUpdate(Inventory& inventory, const ComputerNames* sources,
                  std::optional<int> max_age_days, const AskedFacts& asked, UtcSeconds now);

  // The computers to look up, in order, as their lookups are to be given them; the run's plan
  // takes them, so that a long list is not held twice.
  const ComputerNames& computers() const noexcept { return computers_; }
  ComputerNames TakeComputers() { return std::move(computers_); }

  // The rows of the computer at `index` of computers(), which ended at `now`. With serial numbers
  // and no failure: its serial, last_seen, last_tried and status, and the asked facts it read; a
  // serial other than the one kept moves that one to previous_serial and sets serial_changed.
  // Otherwise only last_tried (unless it was not looked up at all), status, code and description.
  // Changes nothing if it throws.
  void Merge(std::size_t index, const ComputerRows& rows, UtcSeconds now);

  // The lines the run ends with, each ending in the line end: the inventory's computers, how many
  // are new, how many changed serial (the first kChangesNamed by name, old and new), how many were
  // left out by --max-age, how many were neither among the sources nor looked up, and how many have
  // not been seen for kStaleDays days or more at `now`.
  std::vector<std::wstring> Lines(const std::wstring& path, UtcSeconds now) const;

 private:
  Inventory& inventory_;
  AskedFacts asked_;
  std::optional<int> max_age_days_;
  std::vector<std::size_t> fact_columns_;  // by FactIndex: the fact's other column, when asked
  ComputerNames computers_;
  std::vector<std::size_t> entries_;  // by index of computers(): the computer's entry
  std::size_t added_ = 0;
  std::size_t left_out_ = 0;
  std::size_t outside_ = 0;  // neither among the sources nor looked up
  std::size_t changed_ = 0;
  std::vector<std::wstring> changes_;  // the first kChangesNamed, as the end lines show them
};

}  // namespace quillmark::companion
