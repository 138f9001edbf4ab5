// Decoding a list's bytes and finding its names: CSV by column, table captures, names on lines.
#include "list_text.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "csv_text.h"
#include "text_encoding.h"

namespace quillmark::companion {
namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kUtf16LittleEndianMark[] = "\xFF\xFE";
constexpr char kUtf16BigEndianMark[] = "\xFE\xFF";
constexpr wchar_t kNulProblem[] =
    L"a NUL character, which text never holds (UTF-16 needs a byte-order mark)";

bool IsBlank(wchar_t unit) {
  return unit == L' ' || unit == L'\t' || unit == 0x00A0 || unit == 0x3000;
}

std::wstring_view Trimmed(std::wstring_view text) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsBlank);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlank).base();
  if (first >= last) return {};
  return text.substr(static_cast<std::size_t>(first - text.begin()),
                     static_cast<std::size_t>(last - first));
}

bool StartsWith(const std::string& bytes, const char* prefix) {
  return bytes.rfind(prefix, 0) == 0;
}

InvalidText AtOffset(const wchar_t* what, std::size_t offset) {
  return {what + std::wstring(L" at byte offset ") + std::to_wstring(offset)};
}

std::variant<ListText, InvalidText> DecodeUtf16(const std::string& bytes, bool big_endian) {
  if (bytes.size() % 2 != 0) return InvalidText{L"UTF-16 text with an odd number of bytes"};
  std::size_t invalid_at = 0;
  const auto code_points = CodePointsFromUtf16(bytes.substr(2), big_endian, invalid_at);
  if (!code_points) return AtOffset(L"an unpaired UTF-16 surrogate", invalid_at + 2);
  return ListText{UnitsFromCodePoints<std::wstring>(*code_points), std::nullopt};
}

// UTF-8, or without a mark what is not UTF-8 in the ANSI code page.
std::variant<ListText, InvalidText> DecodeUtf8(const std::string& bytes, const AnsiDecoder& ansi) {
  const bool marked = StartsWith(bytes, kUtf8Mark);
  const std::size_t start = marked ? 3 : 0;
  std::size_t invalid_at = 0;
  const auto code_points = CodePointsFromUtf8(bytes.substr(start), invalid_at);
  if (code_points) return ListText{UnitsFromCodePoints<std::wstring>(*code_points), std::nullopt};
  if (marked) return AtOffset(L"invalid UTF-8", invalid_at + start);
  if (bytes.find('\0') != std::string::npos) return InvalidText{kNulProblem};
  AnsiText read = ansi(bytes);
  return ListText{std::move(read.text), read.code_page};
}

std::vector<std::wstring_view> LinesOf(std::wstring_view text) {
  std::vector<std::wstring_view> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find_first_of(L"\r\n", start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, L"\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

// Where the line after the first one starts; the text's end where there is none.
std::size_t SecondLineStart(std::wstring_view text) {
  const std::size_t end = text.find_first_of(L"\r\n");
  if (end == std::wstring_view::npos) return text.size();
  return end + (text.compare(end, 2, L"\r\n") == 0 ? 2 : 1);
}

bool IsTableRule(std::wstring_view line) {
  return line.find(L'-') != std::wstring_view::npos &&
         std::all_of(line.begin(), line.end(),
                     [](wchar_t unit) { return unit == L'-' || IsBlank(unit); });
}

bool IsNameColumn(std::wstring_view cell) {
  const std::wstring lower = AsciiLowerCase(std::wstring(Trimmed(cell)));
  return std::any_of(std::begin(kNameColumns), std::end(kNameColumns),
                     [&](const wchar_t* column) { return lower == AsciiLowerCase(column); });
}

// The first of kNameColumns among the cells, by its index; none where there is none.
std::optional<std::size_t> NameColumnOf(const std::vector<std::wstring>& cells) {
  for (const wchar_t* column : kNameColumns) {
    const std::wstring wanted = AsciiLowerCase(column);
    for (std::size_t index = 0; index < cells.size(); ++index) {
      if (AsciiLowerCase(std::wstring(Trimmed(cells[index]))) == wanted) return index;
    }
  }
  return std::nullopt;
}

std::wstring ColumnsText(const std::vector<std::wstring>& cells) {
  std::wstring text;
  for (const std::wstring& cell : cells) {
    text += (text.empty() ? L"\"" : L", \"") + std::wstring(Trimmed(cell)) + L"\"";
  }
  return text;
}

ListProblem NoNameColumn(const wchar_t* what, const std::vector<std::wstring>& cells) {
  std::wstring wanted;
  for (const wchar_t* column : kNameColumns) {
    const bool last = column == std::end(kNameColumns)[-1];
    wanted += (wanted.empty() ? L"" : last ? L" or " : L", ") + std::wstring(column);
  }
  return {std::wstring(what) + L" with the columns " + ColumnsText(cells) +
          L", none of which holds names: they are read from a column " + wanted};
}

// Whether a line, taken as a CSV header, holds a field that begins with a quote.
bool HoldsQuotedField(std::wstring_view line, wchar_t separator) {
  bool field_start = true;
  for (const wchar_t unit : line) {
    if (field_start && unit == L'"') return true;
    if (unit == separator) {
      field_start = true;
    } else if (!IsBlank(unit)) {
      field_start = false;
    }
  }
  return false;
}

// A CSV value as a name: the companion's own guard against formulas undone, escapes taken back.
std::wstring NameOfValue(std::wstring_view value) {
  value = Trimmed(value);
  const bool guarded = value.size() > 1 && value.front() == L'\'' &&
                       (std::wstring_view(L"=+-@").find(value[1]) != std::wstring_view::npos ||
                        value.substr(1, 6) == L"\\u0009" || value.substr(1, 6) == L"\\u000d");
  if (guarded) value.remove_prefix(1);
  return WithEscapesTakenBack(value);
}

std::wstring_view FirstLine(std::wstring_view text) {
  return text.substr(0, text.find_first_of(L"\r\n"));
}

// The separator of the CSV header that the text's first line is, where it is one: not a table's
// header (whose rule follows), and holding a field that is one of kNameColumns or is quoted.
std::optional<wchar_t> CsvHeaderSeparator(std::wstring_view text) {
  const std::wstring_view header = FirstLine(text);
  if (IsTableRule(FirstLine(text.substr(SecondLineStart(text))))) return std::nullopt;
  const wchar_t separator = CsvSeparatorOf(header);
  CsvReader reader(header, separator);
  std::vector<std::wstring> fields;
  if (!reader.Next(fields)) return std::nullopt;
  const bool names_a_column = std::any_of(
      fields.begin(), fields.end(), [](const std::wstring& field) { return IsNameColumn(field); });
  if (!names_a_column && !HoldsQuotedField(header, separator)) return std::nullopt;
  return separator;
}

std::optional<ListProblem> AddNamesFromCsv(std::wstring_view csv, wchar_t separator,
                                           ComputerNames& names) {
  CsvReader reader(csv, separator);
  std::vector<std::wstring> fields;
  reader.Next(fields);
  const auto column = NameColumnOf(fields);
  if (!column) return NoNameColumn(L"is CSV", fields);
  while (reader.Next(fields)) {
    if (*column >= fields.size()) continue;
    const std::wstring name = NameOfValue(fields[*column]);
    if (!name.empty()) names.Add(name);
  }
  if (const auto& problem = reader.problem()) {
    return ListProblem{L"is not CSV as it reads: line " + std::to_wstring(problem->line) + L": " +
                       problem->what};
  }
  return std::nullopt;
}

void AddNamesOfLine(std::wstring_view line, ComputerNames& names) {
  std::size_t start = 0;
  while (start < line.size()) {
    const auto end =
        static_cast<std::size_t>(std::find_if(line.begin() + static_cast<std::ptrdiff_t>(start),
                                              line.end(), SeparatesNames) -
                                 line.begin());
    const std::wstring_view token = line.substr(start, end - start);
    if (!token.empty() && token.front() == L'#') return;
    if (!token.empty()) names.Add(WithEscapesTakenBack(token));
    start = end + 1;
  }
}

// A column of a captured table: where it starts on each line, and where the next one starts.
struct TableColumn {
  std::size_t start = 0;
  std::size_t end = std::wstring_view::npos;  // npos for the last column
};

std::vector<TableColumn> ColumnsOfRule(std::wstring_view rule) {
  std::vector<TableColumn> columns;
  for (std::size_t at = rule.find(L'-'); at != std::wstring_view::npos;) {
    const std::size_t run_end = rule.find_first_not_of(L'-', at);
    const std::size_t next =
        run_end == std::wstring_view::npos ? run_end : rule.find(L'-', run_end);
    columns.push_back({at, next});
    at = next;
  }
  return columns;
}

std::wstring_view CellOf(std::wstring_view line, const TableColumn& column) {
  if (column.start >= line.size()) return {};
  return line.substr(column.start, column.end == std::wstring_view::npos
                                       ? std::wstring_view::npos
                                       : column.end - column.start);
}

std::optional<ListProblem> AddNamesFromLines(std::wstring_view text, ComputerNames& names) {
  const std::vector<std::wstring_view> lines = LinesOf(text);
  bool in_table = false;  // a captured table of several columns, whose names are in one of them
  TableColumn table_column;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const std::wstring_view line = lines[index];
    if (IsTableRule(line)) continue;
    if (index + 1 < lines.size() && IsTableRule(lines[index + 1])) {
      // A table's header: where its rule marks several columns, the names come from one of them.
      const std::vector<TableColumn> columns = ColumnsOfRule(lines[index + 1]);
      in_table = false;
      if (columns.size() < 2) continue;
      std::vector<std::wstring> cells;
      for (const TableColumn& column : columns) cells.emplace_back(CellOf(line, column));
      const auto chosen = NameColumnOf(cells);
      if (!chosen) return NoNameColumn(L"is a table", cells);
      table_column = columns[*chosen];
      in_table = true;
      continue;
    }
    if (!in_table) {
      AddNamesOfLine(line, names);
    } else if (const std::wstring_view cell = Trimmed(CellOf(line, table_column)); !cell.empty()) {
      names.Add(WithEscapesTakenBack(cell));
    }
  }
  return std::nullopt;
}

}  // namespace

std::variant<ListText, InvalidText> DecodeListText(const std::string& bytes,
                                                   const AnsiDecoder& ansi) {
  auto text = StartsWith(bytes, kUtf16LittleEndianMark) ? DecodeUtf16(bytes, false)
              : StartsWith(bytes, kUtf16BigEndianMark)  ? DecodeUtf16(bytes, true)
                                                        : DecodeUtf8(bytes, ansi);
  const auto* decoded = std::get_if<ListText>(&text);
  if (decoded && decoded->text.find(L'\0') != std::wstring::npos) return InvalidText{kNulProblem};
  return text;
}

std::optional<ListProblem> AddNamesFromListText(std::wstring_view text, ComputerNames& names) {
  // Export-Csv in Windows PowerShell puts a line on the objects' type before the header.
  const bool typed = AsciiLowerCase(std::wstring(text.substr(0, 5))) == L"#type";
  const std::wstring_view csv = typed ? text.substr(SecondLineStart(text)) : text;
  ComputerNames found;
  const std::optional<wchar_t> separator = CsvHeaderSeparator(csv);
  const std::optional<ListProblem> problem =
      separator ? AddNamesFromCsv(csv, *separator, found) : AddNamesFromLines(text, found);
  if (problem) return problem;
  for (const std::wstring_view name : found) names.Add(name);
  return std::nullopt;
}

ListRead AddNamesFromListBytes(const std::string& bytes, const AnsiDecoder& ansi,
                               ComputerNames& names) {
  auto decoded = DecodeListText(bytes, ansi);
  if (auto* invalid = std::get_if<InvalidText>(&decoded)) {
    return {std::nullopt, ListProblem{L"is not valid text: " + invalid->problem}};
  }
  const ListText& text = std::get<ListText>(decoded);
  return {text.ansi_code_page, AddNamesFromListText(text.text, names)};
}

void AddNamesFromArgument(const std::wstring& argument, ComputerNames& names) {
  if (argument.find_first_of(L",;") == std::wstring::npos) {
    names.Add(argument);
    return;
  }
  std::size_t start = 0;
  while (start <= argument.size()) {
    const std::size_t end = std::min(argument.find_first_of(L",;", start), argument.size());
    const std::wstring_view part = Trimmed(std::wstring_view(argument).substr(start, end - start));
    if (!part.empty()) names.Add(part);
    start = end + 1;
  }
}

}  // namespace quillmark::companion
