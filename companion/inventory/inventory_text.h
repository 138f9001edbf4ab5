// The inventory as a table: its columns found by their names, its rows one a computer, read from
// the CSV a person, a spreadsheet program or the companion wrote, and written back as CSV.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "serial_facts.h"

namespace quillmark::companion {

// A moment, in whole seconds since 1970-01-01T00:00:00Z.
using UtcSeconds = std::int64_t;

UtcSeconds UtcSecondsOf(std::chrono::system_clock::time_point time);

// "2026-12-08T14:35:00Z": UTC in ISO 8601, with seconds and Z.
std::wstring UtcTimeText(UtcSeconds time);

// The moment a time field holds, blanks at its ends ignored: ISO 8601 as UtcTimeText writes it,
// and the forms spreadsheet programs turn it into (a date first, with '-' or '/', then 'T' or a
// blank and the time, its seconds and the Z optional; or the date alone, as midnight). Read as
// UTC. Nothing for any other text, including an impossible date.
std::optional<UtcSeconds> UtcTimeFrom(std::wstring_view text);

// One computer's row. The times are empty where nothing happened yet.
struct InventoryEntry {
  std::wstring computer;
  // The serial number last read: each BIOS instance's in the visible convention with its line
  // breaks escaped too, so that it holds none, one a line (SerialField).
  std::wstring serial;
  std::wstring status;  // what the last attempt gave, in the words of the run's rows
  std::wstring code;
  std::wstring description;
  std::optional<UtcSeconds> last_seen;   // the serial was read
  std::optional<UtcSeconds> last_tried;  // the computer was looked up, whatever came of it
  std::optional<UtcSeconds> first_seen;  // it entered the inventory
  std::wstring previous_serial;          // before the last change
  std::optional<UtcSeconds> serial_changed;
  std::optional<UtcSeconds> last_listed;  // it was among a run's sources
  // The fields of the other columns (the facts beside a serial, the administrator's own), by
  // InventoryColumn::other; a missing one is empty.
  std::vector<std::wstring> others;
};

// The inventory's own columns, in the order a new inventory has them.
inline constexpr std::size_t kOwnColumnCount = 11;
extern const std::array<const wchar_t*, kOwnColumnCount> kOwnColumnNames;

struct InventoryColumn {
  std::wstring name;               // as the header has it
  std::optional<std::size_t> own;  // its place in kOwnColumnNames, for one of the own columns
  std::size_t other = 0;           // otherwise its place in InventoryEntry::others
};

struct Inventory {
  wchar_t separator = L',';              // written back as it was read
  std::vector<InventoryColumn> columns;  // in the order they are written
  std::size_t other_columns = 0;
  std::vector<InventoryEntry> entries;  // in the order they are written
  // Each computer's entry, by InventoryKey.
  std::unordered_map<std::wstring, std::size_t> by_key;
};

// How a computer is found in the inventory: its name as the file shows it (the visible
// convention), compared as Windows compares computer names.
std::wstring InventoryKey(std::wstring_view computer);

// Adds each own column the inventory lacks, then a column for each asked fact it lacks, at the end.
void AddMissingColumns(Inventory& inventory, const AskedFacts& asked);

// The place in InventoryEntry::others of the other column of this name; adds it at the end if
// there is none.
std::size_t OtherColumn(Inventory& inventory, const std::wstring& name);

// Adds a computer's entry at the end; returns its index.
std::size_t AddEntry(Inventory& inventory, std::wstring computer);

// Why bytes are not an inventory, and where: the line (counted from 1).
struct InventoryProblem {
  std::size_t line = 0;
  std::wstring what;
};

// The one line that refuses the inventory: the file, the line and what is wrong.
std::wstring InventoryProblemText(const std::wstring& path, const InventoryProblem& problem);

// The inventory in the bytes: UTF-8 with or without a byte-order mark; CSV with a comma, semicolon
// or tab, fields quoted or not, records ending in CRLF, LF or CR. Columns are found by their names
// in the first line (without regard to ASCII case); a field with the leading apostrophe that
// guards a formula is read without it. Empty bytes are an empty inventory. Refused: no computer
// column, a repeated own column, a run's output, a row with more fields than the header, a
// computer given twice, a time that cannot be read, and text that is not UTF-8 or not CSV.
std::variant<Inventory, InventoryProblem> ReadInventory(const std::string& bytes);

// The inventory as the companion writes it: a UTF-8 byte-order mark, the header and a row an
// entry, each field written as CSV is (the visible convention, the formula guard, quotes where
// needed) with the inventory's separator and CRLF ends. What ReadInventory reads back unchanged.
std::string InventoryText(const Inventory& inventory);

}  // namespace quillmark::companion
