// Writing lookup rows as a console table, RFC 4180 CSV and JSON.
#include "lookup_rows.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "platform_failure.h"
#include "text_encoding.h"

namespace quillmark::companion {
namespace {

constexpr std::size_t kColumnCount = 7;
using Fields = std::array<std::wstring, kColumnCount>;

// The protocol column came last, so that readers that go by position keep working.
const Fields kColumnNames = {L"computer",    L"serial",       L"status",  L"code",
                             L"description", L"milliseconds", L"protocol"};

// The table puts the free-text description last, so that one long description does not push the
// other columns of every row to the right, and right-aligns the number.
constexpr std::array<std::size_t, kColumnCount> kTableOrder = {0, 1, 2, 3, 6, 5, 4};
constexpr std::size_t kMillisecondsColumn = 5;
constexpr char32_t kTableGap[] = U"  ";

Fields FieldsOf(const LookupRow& row) {
  const std::wstring code = row.code ? FormatFailureCode(*row.code) : std::wstring();
  const std::wstring milliseconds = std::to_wstring(row.milliseconds);
  return {row.computer, row.serial,  StatusWord(row.status), code, row.description,
          milliseconds, row.protocol};
}

void AppendUnicodeEscape(std::u32string& text, char32_t code_point) {
  constexpr char32_t kHexDigits[] = U"0123456789abcdef";
  text += U"\\u";
  for (int shift = 12; shift >= 0; shift -= 4) text += kHexDigits[(code_point >> shift) & 0xF];
}

// --- CSV ---

bool IsCsvBlank(wchar_t unit) { return unit == L' ' || unit == L'\t'; }

// Blanks at either end are quoted because spreadsheet programs and many readers trim them from an
// unquoted field.
bool NeedsCsvQuotes(const std::wstring& field) {
  if (field.empty()) return false;
  return field.find_first_of(L",\"\r\n") != std::wstring::npos || IsCsvBlank(field.front()) ||
         IsCsvBlank(field.back());
}

std::wstring CsvField(const std::wstring& field) {
  if (!NeedsCsvQuotes(field)) return field;
  std::wstring quoted = L"\"";
  for (const wchar_t unit : field) {
    if (unit == L'"') quoted += L'"';
    quoted += unit;
  }
  return quoted + L'"';
}

std::wstring CsvLine(const Fields& fields) {
  std::wstring line;
  for (std::size_t column = 0; column < kColumnCount; ++column) {
    if (column != 0) line += L',';
    line += CsvField(fields[column]);
  }
  return line + kLineEnd;
}

// --- JSON ---

std::wstring JsonString(const std::wstring& value) {
  std::u32string escaped = U"\"";
  for (char32_t code_point : CodePointsFrom(value)) {
    if (code_point > kLastCodePoint) code_point = kReplacementCharacter;
    if (code_point == U'"' || code_point == U'\\') {
      escaped += U'\\';
      escaped += code_point;
    } else if (code_point < 0x20 || IsSurrogate(code_point)) {
      AppendUnicodeEscape(escaped, code_point);
    } else {
      escaped += code_point;
    }
  }
  return UnitsFromCodePoints<std::wstring>(escaped + U'"');
}

std::wstring JsonObject(const LookupRow& row) {
  const std::wstring code = row.code ? JsonString(FormatFailureCode(*row.code)) : L"null";
  return L"{\"computer\": " + JsonString(row.computer) + L", \"serial\": " +
         JsonString(row.serial) + L", \"status\": " + JsonString(StatusWord(row.status)) +
         L", \"code\": " + code + L", \"description\": " + JsonString(row.description) +
         L", \"milliseconds\": " + std::to_wstring(row.milliseconds) + L", \"protocol\": " +
         JsonString(row.protocol) + L"}";
}

std::wstring JsonText(const std::vector<LookupRow>& rows) {
  if (rows.empty()) return std::wstring(L"[]") + kLineEnd;
  std::wstring text = std::wstring(L"[") + kLineEnd;
  for (std::size_t index = 0; index < rows.size(); ++index) {
    text += L"  " + JsonObject(rows[index]) + (index + 1 < rows.size() ? L"," : L"") + kLineEnd;
  }
  return text + L"]" + kLineEnd;
}

// --- Table ---

// Characters that would move the cursor or end the line on a console, or that a terminal takes as
// a line break.
bool BreaksTableRow(char32_t code_point) {
  return code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F) || code_point == 0x2028 ||
         code_point == 0x2029;
}

std::u32string TableCell(const std::wstring& value) {
  std::u32string cell;
  for (const char32_t code_point : CodePointsFrom(value)) {
    if (code_point == U'\n') {
      cell += U"\\n";
    } else if (code_point == U'\r') {
      cell += U"\\r";
    } else if (code_point == U'\t') {
      cell += U"\\t";
    } else if (BreaksTableRow(code_point)) {
      AppendUnicodeEscape(cell, code_point);
    } else {
      cell += code_point;
    }
  }
  return cell;
}

using TableCells = std::array<std::u32string, kColumnCount>;

TableCells TableCellsOf(const Fields& fields) {
  TableCells cells;
  for (std::size_t column = 0; column < kColumnCount; ++column) {
    cells[column] = TableCell(fields[kTableOrder[column]]);
  }
  return cells;
}

std::wstring TableLine(const TableCells& cells,
                       const std::array<std::size_t, kColumnCount>& widths) {
  std::u32string line;
  for (std::size_t column = 0; column < kColumnCount; ++column) {
    const std::u32string padding(widths[column] - cells[column].size(), U' ');
    const bool right_aligned = kTableOrder[column] == kMillisecondsColumn;
    if (column != 0) line += kTableGap;
    line += right_aligned ? padding + cells[column] : cells[column] + padding;
  }
  line.erase(line.find_last_not_of(U' ') + 1);
  return UnitsFromCodePoints<std::wstring>(line) + kLineEnd;
}

std::wstring TableText(const std::vector<LookupRow>& rows) {
  std::vector<TableCells> lines{TableCellsOf(kColumnNames)};
  for (const LookupRow& row : rows) lines.push_back(TableCellsOf(FieldsOf(row)));
  std::array<std::size_t, kColumnCount> widths{};
  for (const TableCells& cells : lines) {
    for (std::size_t column = 0; column < kColumnCount; ++column) {
      widths[column] = std::max(widths[column], cells[column].size());
    }
  }
  std::wstring text;
  for (const TableCells& cells : lines) text += TableLine(cells, widths);
  return text;
}

}  // namespace

const wchar_t* StatusWord(RowStatus status) {
  switch (status) {
    case RowStatus::kOk:
      return L"ok";
    case RowStatus::kNoInstance:
      return L"no instance";
    case RowStatus::kFailed:
      return L"failed";
    case RowStatus::kTimedOut:
      return L"timed out";
    case RowStatus::kUnreachable:
      return L"unreachable";
  }
  return L"failed";
}

std::optional<OutputFormat> FormatNamed(const std::wstring& name) {
  std::wstring lower = name;
  for (wchar_t& unit : lower) {
    if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
  }
  if (lower == L"table") return OutputFormat::kTable;
  if (lower == L"csv") return OutputFormat::kCsv;
  if (lower == L"json") return OutputFormat::kJson;
  return std::nullopt;
}

std::wstring FormatRows(OutputFormat format, const std::vector<LookupRow>& rows) {
  switch (format) {
    case OutputFormat::kCsv: {
      std::wstring text = CsvHeaderLine();
      for (const LookupRow& row : rows) text += CsvRecordLine(row);
      return text;
    }
    case OutputFormat::kJson:
      return JsonText(rows);
    case OutputFormat::kTable:
      break;
  }
  return TableText(rows);
}

std::wstring CsvHeaderLine() { return CsvLine(kColumnNames); }

std::wstring CsvRecordLine(const LookupRow& row) { return CsvLine(FieldsOf(row)); }

bool StartsWithByteOrderMark(OutputFormat format) { return format == OutputFormat::kCsv; }

}  // namespace quillmark::companion
