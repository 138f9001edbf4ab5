// CSV as the companion writes and reads it (RFC 4180): a field as written, and records read back
// from any CSV a person, a spreadsheet program or the companion itself made.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark::companion {

// A field as the companion writes it: its value by the visible convention (line breaks kept), a
// leading apostrophe before what a spreadsheet program would run as a formula (=, +, -, @, a tab or
// a carriage return) unless `raw`, and quotes where RFC 4180 needs them or where a reader would
// trim (blanks at either end).
std::wstring CsvField(const std::wstring& value, bool raw, wchar_t separator = L',');

// The fields of one line, each written by CsvField, joined by the separator, ending in kLineEnd.
std::wstring CsvLine(const std::vector<std::wstring>& values, bool raw, wchar_t separator = L',');

// Why a text is not CSV, and where: the line (counted from 1) of the record at fault.
struct CsvProblem {
  std::size_t line = 0;
  std::wstring what;
};

// Reads records one at a time from CSV text, as spreadsheet programs and scripts write it: fields
// separated by `separator`, quoted or not; records ending in CRLF, LF or CR, or at the text's end;
// a quoted field holding separators, doubled quotes and line breaks of either kind. Fields are
// given as they stand, not trimmed and not unescaped. Nothing is copied but the current record.
class CsvReader {
 public:
  CsvReader(std::wstring_view text, wchar_t separator) : text_(text), separator_(separator) {}

  // The next record's fields in `fields`; false at the end of the text, or on a problem, which
  // problem() then tells (a quote that is never closed, or text after a closing quote).
  bool Next(std::vector<std::wstring>& fields);
  const std::optional<CsvProblem>& problem() const noexcept { return problem_; }
  // The line the last record read started on.
  std::size_t line() const noexcept { return record_line_; }

 private:
  std::wstring_view text_;
  wchar_t separator_;
  std::size_t at_ = 0;
  std::size_t next_line_ = 1;
  std::size_t record_line_ = 0;
  std::optional<CsvProblem> problem_;
};

// The separator a CSV text's first line uses: of comma, semicolon and tab, the one it holds most
// often outside quotes (a spreadsheet program in a locale with a decimal comma writes semicolons);
// a comma where it holds none.
wchar_t CsvSeparatorOf(std::wstring_view first_line);

}  // namespace quillmark::companion
