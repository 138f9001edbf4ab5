// The run's end on serials: placeholders, virtual machines, shared serials and unread facts.
#include "serial_summary.h"

#include <algorithm>
#include <utility>

#include "lookup_rows.h"
#include "platform_failure.h"
#include "serial_note.h"
#include "text_encoding.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

// A shared serial is shown whole up to this length: a virtual machine's runs to 54.
constexpr std::size_t kSharedSerialCap = 64;

// The count right-aligned in the summary's first column.
std::wstring CountColumn(std::size_t count) {
  const std::wstring digits = std::to_wstring(count);
  return std::wstring(digits.size() < 7 ? 7 - digits.size() : 0, L' ') + digits + L"  ";
}

// Remote or given text on one line, cut at `cap` code units.
std::wstring Shown(const std::wstring& text, std::size_t cap) {
  std::wstring shown = VisibleText(text);
  if (shown.size() > cap) shown = shown.substr(0, cap - 1) + kCutMarker;
  return shown;
}

std::wstring Counting(std::size_t count, const wchar_t* one, const wchar_t* many) {
  return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}

}  // namespace

void SerialSummary::Add(std::size_t index, const ComputerRows& rows) {
  bool placeholder = false;
  bool virtual_machine = false;
  std::vector<std::wstring> keys;  // this computer's serials, each once
  std::vector<std::pair<Fact, std::int32_t>> failures;
  for (const LookupRow& row : rows) {
    for (const FactFailure& failure : row.fact_failures) {
      const std::pair<Fact, std::int32_t> pair{failure.fact, failure.code};
      if (std::find(failures.begin(), failures.end(), pair) == failures.end()) {
        failures.push_back(pair);
      }
    }
    const SerialNote note = SerialNoteOf(row);
    placeholder = placeholder || note == SerialNote::kPlaceholder;
    virtual_machine = virtual_machine || note == SerialNote::kVirtual;
    if (row.status != RowStatus::kOk || note == SerialNote::kPlaceholder) continue;
    std::wstring key = SerialKey(row.serial);
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    keys.push_back(key);
    const auto [entry, first] = serials_.try_emplace(std::move(key));
    Serial& serial = entry->second;
    if (first) serial.shown = TrimBlanks(row.serial);
    if (serial.computers < kSharedNamesShown) serial.first[serial.computers] = index;
    ++serial.computers;
  }
  placeholders_ += placeholder ? 1 : 0;
  virtual_machines_ += virtual_machine ? 1 : 0;
  for (const auto& [fact, code] : failures) {
    const auto known = std::find_if(
        fact_failures_.begin(), fact_failures_.end(),
        [&](const FactCount& count) { return count.fact == fact && count.code == code; });
    if (known != fact_failures_.end()) {
      ++known->computers;
    } else {
      fact_failures_.push_back({fact, code, 1});
    }
  }
}

std::vector<std::wstring> SerialSummary::Lines() const {
  std::vector<std::wstring> lines;
  if (placeholders_ != 0) {
    lines.push_back(CountColumn(placeholders_) +
                    L"gave a placeholder for a serial number (serial_note \"placeholder\"), which "
                    L"tells no computer from another." +
                    kLineEnd);
  }
  if (virtual_machines_ != 0) {
    lines.push_back(CountColumn(virtual_machines_) +
                    L"gave a virtual machine's serial number (serial_note \"virtual\"), which a "
                    L"copy of that machine shares." +
                    kLineEnd);
  }

  std::vector<const Serial*> shared;
  for (const auto& [key, serial] : serials_) {
    if (serial.computers > 1) shared.push_back(&serial);
  }
  std::sort(shared.begin(), shared.end(), [](const Serial* a, const Serial* b) {
    return a->computers != b->computers ? a->computers > b->computers : a->first[0] < b->first[0];
  });
  std::size_t other_computers = 0;
  for (std::size_t rank = 0; rank < shared.size(); ++rank) {
    const Serial& serial = *shared[rank];
    if (rank >= kSharedSerialLines) {
      other_computers += serial.computers;
      continue;
    }
    std::wstring line = CountColumn(serial.computers) + L"share the serial number \"" +
                        Shown(serial.shown, kSharedSerialCap) + L"\":";
    const std::size_t named = std::min(serial.computers, kSharedNamesShown);
    for (std::size_t at = 0; at < named; ++at) {
      line += (at == 0 ? L" " : L", ") +
              Shown(std::wstring(computers_[serial.first[at]]), kComputerWidthCap);
    }
    if (serial.computers > named)
      line += L" and " + std::to_wstring(serial.computers - named) + L" more";
    lines.push_back(line + kLineEnd);
  }
  if (shared.size() > kSharedSerialLines) {
    lines.push_back(CountColumn(other_computers) + L"share " +
                    Counting(shared.size() - kSharedSerialLines, L"other serial number",
                             L"other serial numbers") +
                    kLineEnd);
  }

  std::vector<FactCount> failures = fact_failures_;
  std::stable_sort(failures.begin(), failures.end(), [](const FactCount& a, const FactCount& b) {
    return a.computers > b.computers;
  });
  std::size_t other_failures = 0;
  for (std::size_t rank = 0; rank < failures.size(); ++rank) {
    const FactCount& failure = failures[rank];
    if (rank >= kFactFailureLines) {
      other_failures += failure.computers;
      continue;
    }
    lines.push_back(CountColumn(failure.computers) + FactName(failure.fact) + L" not read: " +
                    FormatFailureCode(failure.code) + L"  " + DescribeFailureCode(failure.code) +
                    kLineEnd);
  }
  if (other_failures != 0) {
    lines.push_back(CountColumn(other_failures) + L"facts not read with " +
                    Counting(failures.size() - kFactFailureLines, L"other fact and code",
                             L"other facts and codes") +
                    kLineEnd);
  }
  return lines;
}

}  // namespace quillmark::companion
