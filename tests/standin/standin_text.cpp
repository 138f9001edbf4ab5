// Escaping and splitting for the stand-in service's script and record lines.
#include "standin_text.h"

#include <cstdio>
#include <utility>

namespace standin {
namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::string CodePointEscape(char32_t code_point) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(code_point));
  return std::string("\\u{") + digits + "}";
}

void AppendCodePoint(std::wstring& text, char32_t code_point) {
  if (code_point < 0x10000) {
    text.push_back(static_cast<wchar_t>(code_point));
    return;
  }
  const char32_t offset = code_point - 0x10000;
  text.push_back(static_cast<wchar_t>(0xD800 + (offset >> 10)));
  text.push_back(static_cast<wchar_t>(0xDC00 + (offset & 0x3FF)));
}

// Reads "\u{HEX}" at `position` (just after the backslash's 'u'); advances past the brace.
std::optional<char32_t> ReadBraced(const std::string& text, size_t& position) {
  if (position >= text.size() || text[position] != '{') return std::nullopt;
  const size_t close = text.find('}', position);
  if (close == std::string::npos || close == position + 1 || close - position > 7) {
    return std::nullopt;
  }
  char32_t value = 0;
  for (size_t at = position + 1; at < close; ++at) {
    const char digit = text[at];
    unsigned nibble = 0;
    if (digit >= '0' && digit <= '9') {
      nibble = static_cast<unsigned>(digit - '0');
    } else if (digit >= 'A' && digit <= 'F') {
      nibble = static_cast<unsigned>(digit - 'A' + 10);
    } else if (digit >= 'a' && digit <= 'f') {
      nibble = static_cast<unsigned>(digit - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value * 16 + nibble;
  }
  if (value > kMaxCodePoint) return std::nullopt;
  position = close + 1;
  return value;
}

}  // namespace

std::string Escape(const std::wstring& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    const wchar_t unit = text[at];
    if (unit == L'\\') {
      escaped += "\\\\";
    } else if (unit >= 0x20 && unit < 0x7F && unit != L'"') {
      escaped.push_back(static_cast<char>(unit));
    } else if (IsHighSurrogate(unit) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
      const char32_t high = static_cast<char32_t>(unit - 0xD800);
      const char32_t low = static_cast<char32_t>(text[at + 1] - 0xDC00);
      escaped += CodePointEscape(0x10000 + (high << 10) + low);
      ++at;
    } else {
      escaped += CodePointEscape(static_cast<char32_t>(unit));
    }
  }
  return escaped;
}

std::string Quoted(const std::wstring& text) { return "\"" + Escape(text) + "\""; }

std::optional<std::wstring> Unescape(const std::string& text) {
  std::wstring plain;
  plain.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const char letter = text[at++];
    if (letter != '\\') {
      if (static_cast<unsigned char>(letter) >= 0x80) return std::nullopt;
      plain.push_back(static_cast<wchar_t>(letter));
      continue;
    }
    if (at >= text.size()) return std::nullopt;
    const char kind = text[at++];
    if (kind == '\\') {
      plain.push_back(L'\\');
    } else if (kind == 'u') {
      const std::optional<char32_t> code_point = ReadBraced(text, at);
      if (!code_point) return std::nullopt;
      AppendCodePoint(plain, *code_point);
    } else {
      return std::nullopt;
    }
  }
  return plain;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace standin
