// Reading an inventory's CSV into its table, and writing the table back.
#include "inventory_text.h"

#include <algorithm>
#include <utility>

#include "computer_names.h"
#include "csv_text.h"
#include "platform_failure.h"
#include "text_encoding.h"
#include "visible_text.h"

namespace quillmark::companion {

const std::array<const wchar_t*, kOwnColumnCount> kOwnColumnNames = {
    L"computer",        L"serial",         L"status",     L"code",
    L"description",     L"last_seen",      L"last_tried", L"first_seen",
    L"previous_serial", L"serial_changed", L"last_listed"};

namespace {

constexpr std::size_t kComputerColumn = 0;
constexpr UtcSeconds kSecondsADay = 86400;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// Each own column's field in an entry: a text or a time, in the order of kOwnColumnNames.
struct OwnField {
  std::wstring InventoryEntry::*text;
  std::optional<UtcSeconds> InventoryEntry::*time;
};
constexpr std::array<OwnField, kOwnColumnCount> kOwnFields = {{
    {&InventoryEntry::computer, nullptr},
    {&InventoryEntry::serial, nullptr},
    {&InventoryEntry::status, nullptr},
    {&InventoryEntry::code, nullptr},
    {&InventoryEntry::description, nullptr},
    {nullptr, &InventoryEntry::last_seen},
    {nullptr, &InventoryEntry::last_tried},
    {nullptr, &InventoryEntry::first_seen},
    {&InventoryEntry::previous_serial, nullptr},
    {nullptr, &InventoryEntry::serial_changed},
    {nullptr, &InventoryEntry::last_listed},
}};

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back (H. Hinnant's
// civil calendar algorithms).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;
  const unsigned day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const unsigned month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  return {static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

unsigned DaysInMonth(std::int64_t year, unsigned month) {
  if (month == 2) return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 29 : 28;
  return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
}

// Reads a time field from left to right.
class TimeCursor {
 public:
  explicit TimeCursor(std::wstring_view text) : text_(text) {}
  // A number of `fewest` to `most` decimal digits.
  std::optional<unsigned> Digits(std::size_t fewest, std::size_t most) {
    unsigned value = 0;
    std::size_t count = 0;
    while (count < most && at_ < text_.size() && text_[at_] >= L'0' && text_[at_] <= L'9') {
      value = value * 10 + static_cast<unsigned>(text_[at_++] - L'0');
      ++count;
    }
    if (count < fewest) return std::nullopt;
    return value;
  }
  bool Take(wchar_t unit) {
    if (at_ >= text_.size() || text_[at_] != unit) return false;
    ++at_;
    return true;
  }
  wchar_t Peek() const { return at_ < text_.size() ? text_[at_] : L'\0'; }
  bool AtEnd() const { return at_ == text_.size(); }

 private:
  std::wstring_view text_;
  std::size_t at_ = 0;
};

void PutDigits(wchar_t* at, std::int64_t value, int count) {
  for (int digit = count - 1; digit >= 0; --digit, value /= 10) {
    at[digit] = static_cast<wchar_t>(L'0' + value % 10);
  }
}

// Whether the visible convention would change the text.
bool ShowsAsItIs(std::wstring_view text) {
  return std::none_of(text.begin(), text.end(), [](wchar_t unit) {
    const auto code = static_cast<char32_t>(unit);
    return IsSurrogate(code) || ShowsAsEscape(code);
  });
}

bool IsFormulaStart(wchar_t unit) {
  return std::wstring_view(L"=+-@\t\r").find(unit) != std::wstring_view::npos;
}

// Whether a value needs the apostrophe that stops a spreadsheet program running it: it starts
// like a formula, or it is such a value behind apostrophes of its own, which are then kept by one
// more, so that reading drops exactly the one the writing added.
bool NeedsGuard(std::wstring_view value) {
  const std::size_t first = value.find_first_not_of(L'\'');
  return first != std::wstring_view::npos && IsFormulaStart(value[first]);
}

std::wstring Unguarded(std::wstring field) {
  if (!field.empty() && field.front() == L'\'' && NeedsGuard(std::wstring_view(field).substr(1))) {
    field.erase(0, 1);
  }
  return field;
}

std::wstring InventoryField(const std::wstring& value, wchar_t separator) {
  // CsvField guards a value that starts like a formula by itself.
  if (!value.empty() && value.front() == L'\'' && NeedsGuard(value)) {
    return CsvField(L"'" + value, false, separator);
  }
  return CsvField(value, false, separator);
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + VisibleText(text) + L"\""; }

// The line of the byte at `offset`.
std::size_t LineOfByte(const std::string& bytes, std::size_t offset) {
  return 1 + static_cast<std::size_t>(std::count(
                 bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// The columns that only the companion's run output has, beside the computer's.
bool IsRunOutput(const std::vector<InventoryColumn>& columns) {
  const auto has = [&](const wchar_t* name) {
    return std::any_of(columns.begin(), columns.end(), [&](const InventoryColumn& column) {
      return AsciiLowerCase(column.name) == name;
    });
  };
  const bool any_time =
      has(L"last_seen") || has(L"last_tried") || has(L"first_seen") || has(L"last_listed");
  return has(L"milliseconds") && has(L"protocol") && !any_time;
}

std::optional<InventoryProblem> ReadHeader(const std::vector<std::wstring>& fields,
                                           Inventory& inventory) {
  for (const std::wstring& field : fields) {
    InventoryColumn column{field, std::nullopt, 0};
    const std::wstring name = AsciiLowerCase(TrimBlanks(field));
    for (std::size_t own = 0; own < kOwnColumnCount; ++own) {
      if (name == kOwnColumnNames[own]) column.own = own;
    }
    if (column.own) {
      const bool repeated =
          std::any_of(inventory.columns.begin(), inventory.columns.end(),
                      [&](const InventoryColumn& earlier) { return earlier.own == column.own; });
      if (repeated) return InventoryProblem{1, L"the column " + Quoted(name) + L" is there twice"};
    } else {
      column.other = inventory.other_columns++;
    }
    inventory.columns.push_back(std::move(column));
  }
  const bool has_computer =
      std::any_of(inventory.columns.begin(), inventory.columns.end(),
                  [](const InventoryColumn& column) { return column.own == kComputerColumn; });
  if (!has_computer)
    return InventoryProblem{1,
                            L"it is not an inventory: its first line has no \"computer\" column"};
  if (IsRunOutput(inventory.columns)) {
    return InventoryProblem{1,
                            L"it is the output of a run, not an inventory: give --inventory a "
                            L"file of its own"};
  }
  return std::nullopt;
}

// Sets an entry's fields from a record; the problem, if any, for the record's line.
std::optional<std::wstring> ReadEntry(std::vector<std::wstring>& fields, const Inventory& inventory,
                                      InventoryEntry& entry) {
  if (fields.size() > inventory.columns.size()) {
    const bool extra_empty =
        std::all_of(fields.begin() + static_cast<std::ptrdiff_t>(inventory.columns.size()),
                    fields.end(), [](const std::wstring& field) { return field.empty(); });
    if (!extra_empty) {
      return std::to_wstring(fields.size()) + L" fields, more than the " +
             std::to_wstring(inventory.columns.size()) + L" columns of the first line";
    }
  }
  for (std::size_t index = 0; index < fields.size() && index < inventory.columns.size(); ++index) {
    const InventoryColumn& column = inventory.columns[index];
    std::wstring value = Unguarded(std::move(fields[index]));
    if (!column.own) {
      if (value.empty()) continue;
      entry.others.resize(std::max(entry.others.size(), column.other + 1));
      entry.others[column.other] = std::move(value);
      continue;
    }
    const OwnField& own = kOwnFields[*column.own];
    if (own.text) {
      entry.*own.text = *column.own == kComputerColumn ? TrimBlanks(value) : std::move(value);
    } else if (value.find_first_not_of(L" \t") != std::wstring::npos) {
      entry.*own.time = UtcTimeFrom(value);
      if (!(entry.*own.time)) {
        return std::wstring(kOwnColumnNames[*column.own]) + L" holds " + Quoted(value) +
               L", which is not a time (2026-12-08T14:35:00Z)";
      }
    }
  }
  return std::nullopt;
}

// Decoded a block of whole lines at a time (a line feed never stands inside a UTF-8 sequence), so
// that a large inventory's code points are never all held at once.
std::variant<std::wstring, InventoryProblem> DecodeInventory(const std::string& bytes) {
  constexpr std::size_t kBlockBytes = 1 << 20;
  std::wstring text;
  text.reserve(bytes.size());
  for (std::size_t start = bytes.rfind(kByteOrderMark, 0) == 0 ? 3 : 0; start < bytes.size();) {
    const std::size_t line_end = bytes.find('\n', std::min(start + kBlockBytes, bytes.size()));
    const std::size_t end = line_end == std::string::npos ? bytes.size() : line_end + 1;
    std::size_t invalid_at = 0;
    const auto code_points = CodePointsFromUtf8(bytes.substr(start, end - start), invalid_at);
    if (!code_points) {
      return InventoryProblem{LineOfByte(bytes, start + invalid_at),
                              L"it is not UTF-8 text (byte offset " +
                                  std::to_wstring(start + invalid_at) +
                                  L"): save it as CSV in UTF-8"};
    }
    for (const char32_t code_point : *code_points) AppendCodePoint(text, code_point);
    start = end;
  }
  return text;
}

}  // namespace

UtcSeconds UtcSecondsOf(std::chrono::system_clock::time_point time) {
  return std::chrono::floor<std::chrono::seconds>(time.time_since_epoch()).count();
}

std::wstring InventoryProblemText(const std::wstring& path, const InventoryProblem& problem) {
  return L"the inventory " + Quoted(path) + L" cannot be read, line " +
         std::to_wstring(problem.line) + L": " + problem.what;
}

std::wstring UtcTimeText(UtcSeconds time) {
  const std::int64_t days = (time >= 0 ? time : time - (kSecondsADay - 1)) / kSecondsADay;
  const auto seconds = static_cast<unsigned>(time - days * kSecondsADay);
  const CivilDate date = CivilFromDays(days);
  std::wstring text = L"0000-00-00T00:00:00Z";
  PutDigits(&text[0], date.year, 4);
  PutDigits(&text[5], date.month, 2);
  PutDigits(&text[8], date.day, 2);
  PutDigits(&text[11], seconds / 3600, 2);
  PutDigits(&text[14], seconds / 60 % 60, 2);
  PutDigits(&text[17], seconds % 60, 2);
  return text;
}

std::optional<UtcSeconds> UtcTimeFrom(std::wstring_view text) {
  const std::size_t first = text.find_first_not_of(L" \t");
  if (first == std::wstring_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(L" \t") - first + 1);
  TimeCursor cursor(text);
  const auto year = cursor.Digits(4, 4);
  const wchar_t date_separator = cursor.Peek();
  if (!year || (date_separator != L'-' && date_separator != L'/')) return std::nullopt;
  cursor.Take(date_separator);
  const auto month = cursor.Digits(1, 2);
  if (!month || !cursor.Take(date_separator)) return std::nullopt;
  const auto day = cursor.Digits(1, 2);
  if (!day || *month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month)) {
    return std::nullopt;
  }
  unsigned hour = 0, minute = 0, second = 0;
  if (!cursor.AtEnd()) {
    if (!cursor.Take(L'T') && !cursor.Take(L' ')) return std::nullopt;
    const auto hours = cursor.Digits(1, 2);
    if (!hours || !cursor.Take(L':')) return std::nullopt;
    const auto minutes = cursor.Digits(2, 2);
    if (!minutes) return std::nullopt;
    std::optional<unsigned> seconds = 0u;
    if (cursor.Take(L':')) seconds = cursor.Digits(2, 2);
    cursor.Take(L'Z');
    if (!seconds || !cursor.AtEnd() || *hours > 23 || *minutes > 59 || *seconds > 59) {
      return std::nullopt;
    }
    hour = *hours;
    minute = *minutes;
    second = *seconds;
  }
  return DaysFromCivil(*year, *month, *day) * kSecondsADay + hour * 3600 + minute * 60 + second;
}

std::wstring InventoryKey(std::wstring_view computer) {
  if (ShowsAsItIs(computer)) return ComputerNameKey(computer);
  return ComputerNameKey(VisibleText(std::wstring(computer)));
}

void AddMissingColumns(Inventory& inventory, const AskedFacts& asked) {
  for (std::size_t own = 0; own < kOwnColumnCount; ++own) {
    const bool present =
        std::any_of(inventory.columns.begin(), inventory.columns.end(),
                    [&](const InventoryColumn& column) { return column.own == own; });
    if (!present) inventory.columns.push_back({kOwnColumnNames[own], own, 0});
  }
  for (const Fact fact : kEveryFact) {
    if (asked[FactIndex(fact)]) OtherColumn(inventory, FactName(fact));
  }
}

std::size_t OtherColumn(Inventory& inventory, const std::wstring& name) {
  for (const InventoryColumn& column : inventory.columns) {
    if (!column.own && AsciiLowerCase(TrimBlanks(column.name)) == name) return column.other;
  }
  inventory.columns.push_back({name, std::nullopt, inventory.other_columns});
  return inventory.other_columns++;
}

std::size_t AddEntry(Inventory& inventory, std::wstring computer) {
  inventory.by_key.emplace(InventoryKey(computer), inventory.entries.size());
  inventory.entries.push_back({});
  inventory.entries.back().computer = std::move(computer);
  return inventory.entries.size() - 1;
}

std::variant<Inventory, InventoryProblem> ReadInventory(const std::string& bytes) {
  auto decoded = DecodeInventory(bytes);
  if (auto* problem = std::get_if<InventoryProblem>(&decoded)) return std::move(*problem);
  const std::wstring& text = std::get<std::wstring>(decoded);
  Inventory inventory;
  inventory.separator =
      CsvSeparatorOf(std::wstring_view(text).substr(0, text.find_first_of(L"\r\n")));
  CsvReader reader(text, inventory.separator);
  std::vector<std::wstring> fields;
  if (!reader.Next(fields)) {
    if (reader.problem()) return InventoryProblem{reader.problem()->line, reader.problem()->what};
    return inventory;  // empty: a new inventory
  }
  if (auto problem = ReadHeader(fields, inventory)) return std::move(*problem);
  inventory.by_key.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), L'\n')));
  std::vector<std::size_t> lines;  // each entry's line
  while (reader.Next(fields)) {
    if (fields.size() == 1 && fields.front().empty()) continue;  // a blank line
    InventoryEntry entry;
    if (auto what = ReadEntry(fields, inventory, entry))
      return InventoryProblem{reader.line(), *what};
    if (!entry.computer.empty()) {
      const auto [earlier, added] =
          inventory.by_key.emplace(InventoryKey(entry.computer), inventory.entries.size());
      if (!added) {
        return InventoryProblem{reader.line(), L"the computer " + Quoted(entry.computer) +
                                                   L" is there already, on line " +
                                                   std::to_wstring(lines[earlier->second])};
      }
    }
    inventory.entries.push_back(std::move(entry));
    lines.push_back(reader.line());
  }
  if (reader.problem()) return InventoryProblem{reader.problem()->line, reader.problem()->what};
  return inventory;
}

std::string InventoryText(const Inventory& inventory) {
  const wchar_t separator = inventory.separator;
  std::wstring text;
  for (std::size_t index = 0; index < inventory.columns.size(); ++index) {
    if (index != 0) text += separator;
    text += CsvField(inventory.columns[index].name, false, separator);
  }
  text += kLineEnd;
  std::string bytes = kByteOrderMark;
  // Converted a block of rows at a time, so that a large inventory is never held three times over.
  constexpr std::size_t kRowsABlock = 1000;
  for (std::size_t row = 0; row < inventory.entries.size(); ++row) {
    const InventoryEntry& entry = inventory.entries[row];
    for (std::size_t index = 0; index < inventory.columns.size(); ++index) {
      const InventoryColumn& column = inventory.columns[index];
      if (index != 0) text += separator;
      if (!column.own) {
        if (column.other < entry.others.size())
          text += InventoryField(entry.others[column.other], separator);
        continue;
      }
      const OwnField& own = kOwnFields[*column.own];
      if (own.text) {
        text += InventoryField(entry.*own.text, separator);
      } else if (entry.*own.time) {
        text += UtcTimeText(*(entry.*own.time));
      }
    }
    text += kLineEnd;
    if (row % kRowsABlock == kRowsABlock - 1) {
      bytes += Utf8FromWide(text);
      text.clear();
    }
  }
  return bytes + Utf8FromWide(text);
}

}  // namespace quillmark::companion
