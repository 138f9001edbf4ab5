// Writing lookup rows as a console table, RFC 4180 CSV, JSON and JSON Lines.
#include "lookup_rows.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cwchar>
#include <string_view>

#include "csv_text.h"
#include "platform_failure.h"
#include "text_encoding.h"
#include "visible_text.h"

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

// --- CSV ---

std::wstring CsvRecordOf(const Fields& fields, bool raw) {
  return CsvLine(std::vector<std::wstring>(fields.begin(), fields.end()), raw);
}

// --- JSON ---

// JSON's escapes for the quote and the backslash first, as plain text; then the visible convention,
// whose escapes are JSON's own.
std::wstring JsonString(const std::wstring& value) {
  std::wstring escaped;
  escaped.reserve(value.size());
  for (const wchar_t unit : value) {
    if (unit == L'"' || unit == L'\\') escaped += L'\\';
    escaped += unit;
  }
  return L"\"" + VisibleText(escaped) + L"\"";
}

std::wstring JsonObject(const LookupRow& row) {
  const std::wstring code = row.code ? JsonString(FormatFailureCode(*row.code)) : L"null";
  return L"{\"computer\": " + JsonString(row.computer) + L", \"serial\": " +
         JsonString(row.serial) + L", \"status\": " + JsonString(StatusWord(row.status)) +
         L", \"code\": " + code + L", \"description\": " + JsonString(row.description) +
         L", \"milliseconds\": " + std::to_wstring(row.milliseconds) + L", \"protocol\": " +
         JsonString(row.protocol) + L"}";
}

// --- Table ---

// The visible convention, with the table's shorter forms for line breaks and tabs. A tab becomes
// plain text before the convention is applied, which leaves plain text alone.
std::u32string TableCell(std::wstring value) {
  for (std::size_t at = value.find(L'\t'); at != std::wstring::npos; at = value.find(L'\t', at)) {
    value.replace(at, 1, L"\\t");
  }
  std::u32string cell;
  for (const char32_t code_point : CodePointsFrom(VisibleText(value, LineBreaks::kKept))) {
    if (code_point == U'\r') {
      cell += U"\\r";
    } else if (code_point == U'\n') {
      cell += U"\\n";
    } else {
      cell += code_point;
    }
  }
  return cell;
}

// A serial or description cut at its cap, ending in the marker.
std::u32string Capped(std::u32string cell, std::size_t cap) {
  const std::u32string marker = CodePointsFrom(std::wstring(kCutMarker));
  if (cell.size() <= cap) return cell;
  cell.resize(cap - marker.size());
  return cell + marker;
}

using TableCells = std::array<std::u32string, kColumnCount>;

TableCells TableCellsOf(const Fields& fields) {
  TableCells cells;
  for (std::size_t column = 0; column < kColumnCount; ++column) {
    cells[column] = TableCell(fields[kTableOrder[column]]);
  }
  cells[1] = Capped(std::move(cells[1]), kSerialCap);
  cells[kColumnCount - 1] = Capped(std::move(cells[kColumnCount - 1]), kDescriptionCap);
  return cells;
}

std::wstring TableLine(const TableCells& cells, const TableWidths& widths) {
  std::u32string line;
  for (std::size_t column = 0; column < kColumnCount; ++column) {
    const std::size_t width = std::max(widths[column], cells[column].size());
    const std::u32string padding(width - cells[column].size(), U' ');
    const bool right_aligned = kTableOrder[column] == kMillisecondsColumn;
    if (column != 0) line += kTableGap;
    line += right_aligned ? padding + cells[column] : cells[column] + padding;
  }
  line.erase(line.find_last_not_of(U' ') + 1);
  return UnitsFromCodePoints<std::wstring>(line) + kLineEnd;
}

void Widen(TableWidths& widths, const TableCells& cells) {
  for (std::size_t column = 0; column < kColumnCount; ++column) {
    widths[column] = std::max(widths[column], cells[column].size());
  }
}

TableWidths HeaderWidths() {
  TableWidths widths{};
  Widen(widths, TableCellsOf(kColumnNames));
  return widths;
}

}  // namespace

std::optional<OutputFormat> FormatNamed(const std::wstring& name) {
  const std::wstring lower = AsciiLowerCase(name);
  if (lower == L"table") return OutputFormat::kTable;
  if (lower == L"csv") return OutputFormat::kCsv;
  if (lower == L"json") return OutputFormat::kJson;
  if (lower == L"jsonl") return OutputFormat::kJsonLines;
  return std::nullopt;
}

TableWidths TableWidthsUpFront(const ComputerNames& computers, std::uint64_t timeout_milliseconds) {
  TableWidths widths = HeaderWidths();
  for (const std::wstring_view computer : computers) {
    widths[0] =
        std::max(widths[0], std::min(TableCell(std::wstring(computer)).size(), kComputerWidthCap));
  }
  widths[1] = std::max(widths[1], kSerialCap);
  for (const RowStatus status : kEveryRowStatus) {
    widths[2] = std::max(widths[2], std::wcslen(StatusWord(status)));
  }
  widths[3] = std::max(widths[3], FormatFailureCode(0).size());
  // The protocol's heading is wider than "dcom" and "wsman". A lookup ends by its deadline, give
  // or take the time the coordinating thread takes to see it.
  widths[5] = std::max(widths[5], std::to_wstring(timeout_milliseconds * 10).size());
  return widths;
}

std::wstring RowFormatter::Opening() const {
  switch (style_.format) {
    case OutputFormat::kCsv:
      return style_.csv_header ? CsvRecordOf(kColumnNames, true) : L"";
    case OutputFormat::kJson:
      return L"[";
    case OutputFormat::kJsonLines:
      return L"";
    case OutputFormat::kTable:
      break;
  }
  return TableLine(TableCellsOf(kColumnNames), style_.table_widths);
}

std::wstring RowFormatter::Rows(const std::vector<LookupRow>& rows) {
  std::wstring text;
  for (const LookupRow& row : rows) {
    switch (style_.format) {
      case OutputFormat::kCsv:
        text += CsvRecordOf(FieldsOf(row), style_.csv_raw);
        break;
      case OutputFormat::kJson:
        text += std::wstring(any_row_ ? L"," : L"") + kLineEnd + L"  " + JsonObject(row);
        break;
      case OutputFormat::kJsonLines:
        text += JsonObject(row) + L"\n";
        break;
      case OutputFormat::kTable:
        text += TableLine(TableCellsOf(FieldsOf(row)), style_.table_widths);
        break;
    }
    any_row_ = true;
  }
  return text;
}

std::wstring RowFormatter::Closing() const {
  if (style_.format != OutputFormat::kJson) return L"";
  return std::wstring(any_row_ ? kLineEnd : L"") + L"]" + kLineEnd;
}

std::wstring FormatRows(OutputFormat format, const std::vector<LookupRow>& rows) {
  OutputStyle style;
  style.format = format;
  style.table_widths = HeaderWidths();
  for (const LookupRow& row : rows) Widen(style.table_widths, TableCellsOf(FieldsOf(row)));
  RowFormatter formatter(style);
  const std::wstring opening = formatter.Opening();
  const std::wstring body = formatter.Rows(rows);
  return opening + body + formatter.Closing();
}

bool StartsWithByteOrderMark(OutputFormat format) { return format == OutputFormat::kCsv; }

}  // namespace quillmark::companion
