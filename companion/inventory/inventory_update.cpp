// Choosing a run's computers from its sources and the inventory, merging their rows into their
// entries, and the lines the run ends with.
#include "inventory_update.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform_failure.h"
#include "text_encoding.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

constexpr UtcSeconds kSecondsADay = 86400;

std::vector<std::wstring> SerialsOf(const std::wstring& field) {
  std::vector<std::wstring> serials;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(field.find_first_of(L"\r\n", start), field.size());
    serials.push_back(TrimBlanks(field.substr(start, end - start)));
    if (end == field.size()) return serials;
    start = end + (field.compare(end, 2, L"\r\n") == 0 ? 2 : 1);
  }
}

// A serial field on one line, for the end lines.
std::wstring OneLine(const std::wstring& field) {
  std::wstring line;
  for (const std::wstring& serial : SerialsOf(field)) {
    line += (line.empty() ? L"" : L", ") + VisibleText(serial);
  }
  return line.empty() ? L"(none)" : line;
}

std::wstring Counted(std::size_t count) {
  const std::wstring digits = std::to_wstring(count);
  return std::wstring(digits.size() < 7 ? 7 - digits.size() : 0, L' ') + digits + L"  ";
}

}  // namespace

std::wstring SerialField(const ComputerRows& rows) {
  std::wstring field;
  bool first = true;
  for (const LookupRow& row : rows) {
    if (row.status != RowStatus::kOk) continue;
    if (!first) field += L'\n';
    field += VisibleText(row.serial);
    first = false;
  }
  return field;
}

bool SameSerial(const std::wstring& kept, const std::wstring& read) {
  return SerialsOf(kept) == SerialsOf(read);
}

InventoryUpdate::InventoryUpdate(Inventory& inventory, const ComputerNames* sources,
                                 std::optional<int> max_age_days, const AskedFacts& asked,
                                 UtcSeconds now)
    : inventory_(inventory), asked_(asked), max_age_days_(max_age_days) {
  AddMissingColumns(inventory_, asked_);
  fact_columns_.assign(kFactCount, 0);
  for (const Fact fact : kEveryFact) {
    if (asked_[FactIndex(fact)])
      fact_columns_[FactIndex(fact)] = OtherColumn(inventory_, FactName(fact));
  }
  const auto recent = [&](const InventoryEntry& entry) {
    return max_age_days_ && entry.last_seen &&
           now - *entry.last_seen < static_cast<UtcSeconds>(*max_age_days_) * kSecondsADay;
  };
  // Each entry of the run, whether looked up or left out.
  std::vector<bool> in_run(inventory_.entries.size(), false);
  const auto take = [&](std::size_t entry_index, std::wstring_view name) {
    InventoryEntry& entry = inventory_.entries[entry_index];
    if (!entry.first_seen) entry.first_seen = now;
    if (recent(entry)) {
      ++left_out_;
    } else {
      computers_.Add(name);
      entries_.push_back(entry_index);
    }
  };
  if (sources == nullptr) {
    for (std::size_t index = 0; index < inventory_.entries.size(); ++index) {
      if (inventory_.entries[index].computer.empty()) continue;
      in_run[index] = true;
      take(index, inventory_.entries[index].computer);
    }
    return;
  }
  for (const std::wstring_view name : *sources) {
    const auto found = inventory_.by_key.find(InventoryKey(name));
    std::size_t index = 0;
    if (found != inventory_.by_key.end()) {
      index = found->second;
      // Two names that the file shows alike are one computer of the inventory.
      if (in_run[index]) continue;
    } else {
      index = AddEntry(inventory_, VisibleText(std::wstring(name)));
      in_run.push_back(false);
      ++added_;
    }
    in_run[index] = true;
    inventory_.entries[index].last_listed = now;
    take(index, name);
  }
  for (std::size_t index = 0; index < inventory_.entries.size(); ++index) {
    if (!in_run[index] && !inventory_.entries[index].computer.empty()) ++outside_;
  }
}

void InventoryUpdate::Merge(std::size_t index, const ComputerRows& rows, UtcSeconds now) {
  InventoryEntry& entry = inventory_.entries[entries_[index]];
  const auto failing = std::find_if(
      rows.begin(), rows.end(), [](const LookupRow& row) { return row.status != RowStatus::kOk; });
  if (failing != rows.end() || rows.empty()) {
    std::wstring status =
        rows.empty() ? StatusWord(RowStatus::kNoInstance) : StatusWord(failing->status);
    std::wstring code = rows.empty() || !failing->code ? L"" : FormatFailureCode(*failing->code);
    std::wstring description = rows.empty() ? L"" : failing->description;
    if (rows.empty() || failing->status != RowStatus::kNotLookedUp) entry.last_tried = now;
    entry.status = std::move(status);
    entry.code = std::move(code);
    entry.description = std::move(description);
    return;
  }
  std::wstring serial = SerialField(rows);
  const bool seen_before = entry.last_seen || !TrimBlanks(entry.serial).empty();
  const bool changed = seen_before && !SameSerial(entry.serial, serial);
  if (changed && changes_.size() < kChangesNamed) {
    changes_.push_back(VisibleText(entry.computer) + L"  " + OneLine(entry.serial) + L" \u2192 " +
                       OneLine(serial));
  }
  // The asked facts that were read, each to its column.
  std::array<std::optional<std::wstring>, kFactCount> facts;
  const LookupRow& first = rows.front();
  for (const Fact fact : kEveryFact) {
    const std::size_t at = FactIndex(fact);
    const bool failed =
        std::any_of(first.fact_failures.begin(), first.fact_failures.end(),
                    [&](const FactFailure& failure) { return failure.fact == fact; });
    if (!asked_[at] || failed) continue;
    facts[at] = first.facts[at];
    entry.others.resize(std::max(entry.others.size(), fact_columns_[at] + 1));
  }
  // Nothing below throws.
  for (std::size_t at = 0; at < kFactCount; ++at) {
    if (facts[at]) entry.others[fact_columns_[at]].swap(*facts[at]);
  }
  if (changed) {
    ++changed_;
    entry.previous_serial.swap(entry.serial);
    entry.serial_changed = now;
  }
  entry.serial.swap(serial);
  entry.last_seen = now;
  entry.last_tried = now;
  entry.status.assign(StatusWord(RowStatus::kOk));
  entry.code.clear();
  entry.description.clear();
}

std::vector<std::wstring> InventoryUpdate::Lines(const std::wstring& path, UtcSeconds now) const {
  std::size_t computers = 0;
  std::size_t stale = 0;
  for (const InventoryEntry& entry : inventory_.entries) {
    if (entry.computer.empty()) continue;
    ++computers;
    const auto seen = entry.last_seen ? entry.last_seen : entry.first_seen;
    if (seen && now - *seen >= kStaleDays * kSecondsADay) ++stale;
  }
  std::vector<std::wstring> lines;
  lines.push_back(L"the inventory \"" + VisibleText(path) + L"\" holds " +
                  std::to_wstring(computers) + (computers == 1 ? L" computer:" : L" computers:") +
                  kLineEnd);
  lines.push_back(Counted(added_) + L"new to it" + kLineEnd);
  lines.push_back(Counted(changed_) + L"with another serial number than before" +
                  (changed_ != 0 ? L":" : L"") + kLineEnd);
  for (const std::wstring& change : changes_) {
    lines.push_back(std::wstring(13, L' ') + change + kLineEnd);
  }
  if (changed_ > changes_.size()) {
    lines.push_back(std::wstring(13, L' ') + L"and " + std::to_wstring(changed_ - changes_.size()) +
                    L" more" + kLineEnd);
  }
  if (max_age_days_) {
    lines.push_back(Counted(left_out_) + L"left out by --max-age: seen within " +
                    std::to_wstring(*max_age_days_) + (*max_age_days_ == 1 ? L" day" : L" days") +
                    kLineEnd);
  }
  lines.push_back(Counted(outside_) + L"neither among this run's sources nor looked up" + kLineEnd);
  lines.push_back(Counted(stale) + L"not seen for " + std::to_wstring(kStaleDays) +
                  L" days or more" + kLineEnd);
  return lines;
}

}  // namespace quillmark::companion
