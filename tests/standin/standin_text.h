// The stand-in service's line format: texts escaped to printable ASCII, fields split by tabs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace standin {

// Printable ASCII stays as it is, except '\' and '"'; every other character becomes \u{HEX}
// (one code point, a surrogate pair written as one), so blanks, tabs and non-ASCII text are
// visible and unambiguous.
std::string Escape(const std::wstring& text);

// A text as the record shows it: escaped and in double quotes.
std::string Quoted(const std::wstring& text);

// The inverse of Escape; nothing when the text is not well formed.
std::optional<std::wstring> Unescape(const std::string& text);

// The fields of one line, separated by tabs, kept exactly (an empty field included).
std::vector<std::string> SplitFields(const std::string& line);

// The lines of a text; "\r\n" and "\n" both end a line, and a last empty line is dropped.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace standin
