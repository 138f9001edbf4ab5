// Writing CSV fields and reading CSV records.
#include "csv_text.h"

#include <array>
#include <string_view>

#include "text_encoding.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

bool IsCsvBlank(wchar_t unit) { return unit == L' ' || unit == L'\t'; }

// What a spreadsheet program takes as the start of a formula (or, for a tab or carriage return,
// as blank before one).
bool LooksLikeFormula(const std::wstring& field) {
  return !field.empty() && std::wstring_view(L"=+-@\t\r").find(field.front()) != std::wstring::npos;
}

// Blanks at either end are quoted because spreadsheet programs and many readers trim them from an
// unquoted field.
bool NeedsCsvQuotes(const std::wstring& field, wchar_t separator) {
  if (field.empty()) return false;
  return field.find_first_of(std::wstring(L"\"\r\n") + separator) != std::wstring::npos ||
         IsCsvBlank(field.front()) || IsCsvBlank(field.back());
}

bool IsLineBreak(wchar_t unit) { return unit == L'\r' || unit == L'\n'; }

}  // namespace

std::wstring CsvField(const std::wstring& value, bool raw, wchar_t separator) {
  std::wstring field = VisibleText(value, LineBreaks::kKept);
  if (!raw && LooksLikeFormula(value)) field.insert(0, 1, L'\'');
  if (!NeedsCsvQuotes(field, separator)) return field;
  std::wstring quoted = L"\"";
  for (const wchar_t unit : field) {
    if (unit == L'"') quoted += L'"';
    quoted += unit;
  }
  return quoted + L'"';
}

std::wstring CsvLine(const std::vector<std::wstring>& values, bool raw, wchar_t separator) {
  std::wstring line;
  for (std::size_t column = 0; column < values.size(); ++column) {
    if (column != 0) line += separator;
    line += CsvField(values[column], raw, separator);
  }
  return line + kLineEnd;
}

bool CsvReader::Next(std::vector<std::wstring>& fields) {
  fields.clear();
  if (problem_ || at_ >= text_.size()) return false;
  record_line_ = next_line_;
  std::wstring field;
  for (;;) {
    if (at_ < text_.size() && text_[at_] == L'"') {
      // A quoted field, to its closing quote; line breaks inside it count as lines.
      for (++at_;; ++at_) {
        if (at_ >= text_.size()) {
          problem_ = CsvProblem{record_line_, L"a quote that is never closed"};
          return false;
        }
        const wchar_t unit = text_[at_];
        if (unit == L'"') {
          if (at_ + 1 < text_.size() && text_[at_ + 1] == L'"') {
            field += L'"';
            ++at_;
            continue;
          }
          ++at_;
          break;
        }
        if (unit == L'\n' ||
            (unit == L'\r' && (at_ + 1 >= text_.size() || text_[at_ + 1] != L'\n'))) {
          ++next_line_;
        }
        field += unit;
      }
      if (at_ < text_.size() && text_[at_] != separator_ && !IsLineBreak(text_[at_])) {
        problem_ = CsvProblem{next_line_, L"text after a closing quote"};
        return false;
      }
    } else {
      const std::size_t end = text_.find_first_of(std::wstring{separator_, L'\r', L'\n'}, at_);
      const std::size_t stop = end == std::wstring_view::npos ? text_.size() : end;
      field.append(text_.substr(at_, stop - at_));
      at_ = stop;
    }
    fields.push_back(std::move(field));
    field.clear();
    if (at_ < text_.size() && text_[at_] == separator_) {
      ++at_;
      continue;
    }
    // The record's end: CRLF, LF, CR or the text's end.
    if (at_ < text_.size() && text_[at_] == L'\r') ++at_;
    if (at_ < text_.size() && text_[at_] == L'\n') ++at_;
    ++next_line_;
    return true;
  }
}

wchar_t CsvSeparatorOf(std::wstring_view first_line) {
  constexpr std::array<wchar_t, 3> kSeparators = {L',', L';', L'\t'};
  std::array<std::size_t, 3> counts{};
  bool quoted = false;
  for (const wchar_t unit : first_line) {
    if (unit == L'"') quoted = !quoted;
    if (quoted) continue;
    for (std::size_t index = 0; index < kSeparators.size(); ++index) {
      if (unit == kSeparators[index]) ++counts[index];
    }
  }
  std::size_t best = 0;
  for (std::size_t index = 1; index < kSeparators.size(); ++index) {
    if (counts[index] > counts[best]) best = index;
  }
  return kSeparators[best];
}

}  // namespace quillmark::companion
