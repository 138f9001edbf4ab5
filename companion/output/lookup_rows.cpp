// Writing lookup rows as a console table, RFC 4180 CSV, JSON and JSON Lines.
#include "lookup_rows.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cwchar>
#include <iterator>
#include <string_view>

#include "csv_text.h"
#include "platform_failure.h"
#include "serial_note.h"
#include "text_encoding.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

using Fields = std::vector<std::wstring>;

// The row's own columns. The protocol column came last, so that readers that go by position keep
// working; the facts asked and the note follow it.
constexpr const wchar_t* kRowColumns[] = {L"computer",    L"serial",       L"status",  L"code",
                                          L"description", L"milliseconds", L"protocol"};
constexpr std::size_t kRowColumnCount = std::size(kRowColumns);
constexpr wchar_t kNoteColumn[] = L"serial_note";
constexpr std::size_t kSerialField = 1;
constexpr std::size_t kStatusField = 2;
constexpr std::size_t kCodeField = 3;
constexpr std::size_t kDescriptionField = 4;
constexpr std::size_t kMillisecondsField = 5;
constexpr std::size_t kProtocolField = 6;

// A fact's cap in the table: a UUID and a date are never cut.
constexpr std::array<std::size_t, kFactCount> kFactCaps = {24, 24, 36, 24, 24, 10, 24};

std::vector<Fact> FactsAsked(const AskedFacts& with) {
  std::vector<Fact> facts;
  for (const Fact fact : kEveryFact) {
    if (with[FactIndex(fact)]) facts.push_back(fact);
  }
  return facts;
}

Fields ColumnNames(const AskedFacts& with) {
  Fields names(std::begin(kRowColumns), std::end(kRowColumns));
  for (const Fact fact : FactsAsked(with)) names.emplace_back(FactName(fact));
  names.emplace_back(kNoteColumn);
  return names;
}

Fields FieldsOf(const LookupRow& row, const AskedFacts& with) {
  const std::wstring code = row.code ? FormatFailureCode(*row.code) : std::wstring();
  Fields fields = {row.computer, row.serial,      StatusWord(row.status),
                   code,         row.description, std::to_wstring(row.milliseconds),
                   row.protocol};
  for (const Fact fact : FactsAsked(with)) fields.push_back(row.facts[FactIndex(fact)]);
  fields.emplace_back(SerialNoteWord(SerialNoteOf(row)));
  return fields;
}

// A column of the table: the field it shows, where a longer value is cut (0: never), and whether
// it is right-aligned.
struct TableColumn {
  std::size_t field;
  std::size_t cap = 0;
  bool right_aligned = false;
};

// The table puts the note beside the serial it judges and the free-text description last, so that
// one long description does not push the other columns of every row to the right, and
// right-aligns the number.
std::vector<TableColumn> TableColumnsFor(const AskedFacts& with) {
  const std::vector<Fact> facts = FactsAsked(with);
  std::vector<TableColumn> columns = {
      {0},          {kSerialField, kSerialCap}, {kRowColumnCount + facts.size()}, {kStatusField},
      {kCodeField}, {kProtocolField},           {kMillisecondsField, 0, true}};
  for (std::size_t index = 0; index < facts.size(); ++index) {
    columns.push_back({kRowColumnCount + index, kFactCaps[FactIndex(facts[index])]});
  }
  columns.push_back({kDescriptionField, kDescriptionCap});
  return columns;
}

constexpr char32_t kTableGap[] = U"  ";

// --- CSV ---

std::wstring CsvRecordOf(const Fields& fields, bool raw) { return CsvLine(fields, raw); }

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

std::wstring JsonObject(const LookupRow& row, const AskedFacts& with) {
  const std::wstring code = row.code ? JsonString(FormatFailureCode(*row.code)) : L"null";
  std::wstring object =
      L"{\"computer\": " + JsonString(row.computer) + L", \"serial\": " + JsonString(row.serial) +
      L", \"status\": " + JsonString(StatusWord(row.status)) + L", \"code\": " + code +
      L", \"description\": " + JsonString(row.description) + L", \"milliseconds\": " +
      std::to_wstring(row.milliseconds) + L", \"protocol\": " + JsonString(row.protocol);
  for (const Fact fact : FactsAsked(with)) {
    object +=
        L", \"" + std::wstring(FactName(fact)) + L"\": " + JsonString(row.facts[FactIndex(fact)]);
  }
  return object + L", \"" + kNoteColumn + L"\": " + JsonString(SerialNoteWord(SerialNoteOf(row))) +
         L"}";
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

// A value cut at its cap, ending in the marker.
std::u32string Capped(std::u32string cell, std::size_t cap) {
  const std::u32string marker = CodePointsFrom(std::wstring(kCutMarker));
  if (cap == 0 || cell.size() <= cap) return cell;
  cell.resize(cap - marker.size());
  return cell + marker;
}

using TableCells = std::vector<std::u32string>;

TableCells TableCellsOf(const Fields& fields, const std::vector<TableColumn>& columns) {
  TableCells cells;
  for (const TableColumn& column : columns) {
    cells.push_back(Capped(TableCell(fields[column.field]), column.cap));
  }
  return cells;
}

std::wstring TableLine(const TableCells& cells, const TableWidths& widths,
                       const std::vector<TableColumn>& columns) {
  std::u32string line;
  for (std::size_t column = 0; column < columns.size(); ++column) {
    const std::size_t width = std::max(widths[column], cells[column].size());
    const std::u32string padding(width - cells[column].size(), U' ');
    if (column != 0) line += kTableGap;
    line += columns[column].right_aligned ? padding + cells[column] : cells[column] + padding;
  }
  line.erase(line.find_last_not_of(U' ') + 1);
  return UnitsFromCodePoints<std::wstring>(line) + kLineEnd;
}

void Widen(TableWidths& widths, const TableCells& cells) {
  for (std::size_t column = 0; column < cells.size(); ++column) {
    widths[column] = std::max(widths[column], cells[column].size());
  }
}

TableWidths HeaderWidths(const AskedFacts& with) {
  const std::vector<TableColumn> columns = TableColumnsFor(with);
  TableWidths widths(columns.size(), 0);
  Widen(widths, TableCellsOf(ColumnNames(with), columns));
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

TableWidths TableWidthsUpFront(const ComputerNames& computers, std::uint64_t timeout_milliseconds,
                               const AskedFacts& with) {
  TableWidths widths = HeaderWidths(with);
  const std::vector<TableColumn> columns = TableColumnsFor(with);
  for (const std::wstring_view computer : computers) {
    widths[0] =
        std::max(widths[0], std::min(TableCell(std::wstring(computer)).size(), kComputerWidthCap));
  }
  for (std::size_t column = 0; column < columns.size(); ++column) {
    const std::size_t field = columns[column].field;
    if (field == kStatusField) {
      for (const RowStatus status : kEveryRowStatus) {
        widths[column] = std::max(widths[column], std::wcslen(StatusWord(status)));
      }
    } else if (field == kCodeField) {
      widths[column] = std::max(widths[column], FormatFailureCode(0).size());
    } else if (field == kMillisecondsField) {
      // A lookup ends by its deadline, give or take the time the coordinating thread takes to see
      // it.
      widths[column] = std::max(widths[column], std::to_wstring(timeout_milliseconds * 10).size());
    } else if (field != kDescriptionField) {
      // The serial and the facts are as wide as their caps; the note's and the protocol's
      // headings are wider than their words.
      widths[column] = std::max(widths[column], columns[column].cap);
    }
  }
  return widths;
}

std::wstring RowFormatter::Opening() const {
  switch (style_.format) {
    case OutputFormat::kCsv:
      return style_.csv_header ? CsvRecordOf(ColumnNames(style_.with), true) : L"";
    case OutputFormat::kJson:
      return L"[";
    case OutputFormat::kJsonLines:
      return L"";
    case OutputFormat::kTable:
      break;
  }
  const std::vector<TableColumn> columns = TableColumnsFor(style_.with);
  return TableLine(TableCellsOf(ColumnNames(style_.with), columns), style_.table_widths, columns);
}

std::wstring RowFormatter::Rows(const std::vector<LookupRow>& rows) {
  std::wstring text;
  const std::vector<TableColumn> columns = TableColumnsFor(style_.with);
  for (const LookupRow& row : rows) {
    switch (style_.format) {
      case OutputFormat::kCsv:
        text += CsvRecordOf(FieldsOf(row, style_.with), style_.csv_raw);
        break;
      case OutputFormat::kJson:
        text +=
            std::wstring(any_row_ ? L"," : L"") + kLineEnd + L"  " + JsonObject(row, style_.with);
        break;
      case OutputFormat::kJsonLines:
        text += JsonObject(row, style_.with) + L"\n";
        break;
      case OutputFormat::kTable:
        text += TableLine(TableCellsOf(FieldsOf(row, style_.with), columns), style_.table_widths,
                          columns);
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

std::wstring FormatRows(OutputFormat format, const std::vector<LookupRow>& rows,
                        const AskedFacts& with) {
  OutputStyle style;
  style.format = format;
  style.with = with;
  style.table_widths = HeaderWidths(with);
  const std::vector<TableColumn> columns = TableColumnsFor(with);
  for (const LookupRow& row : rows) {
    Widen(style.table_widths, TableCellsOf(FieldsOf(row, with), columns));
  }
  RowFormatter formatter(style);
  const std::wstring opening = formatter.Opening();
  const std::wstring body = formatter.Rows(rows);
  return opening + body + formatter.Closing();
}

bool StartsWithByteOrderMark(OutputFormat format) { return format == OutputFormat::kCsv; }

}  // namespace quillmark::companion
