// Control and bidirectional characters made visible, in one convention for every output.
#include "visible_text.h"

namespace quillmark {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHigh(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendCodePoint(std::wstring& text, char32_t code_point) {
  if (sizeof(wchar_t) == 2 && code_point > 0xFFFF) {
    const char32_t offset = code_point - 0x10000;
    text.push_back(static_cast<wchar_t>(0xD800 + (offset >> 10)));
    text.push_back(static_cast<wchar_t>(0xDC00 + (offset & 0x3FF)));
  } else {
    text.push_back(static_cast<wchar_t>(code_point));
  }
}

}  // namespace

bool ShowsAsEscape(char32_t code_point) {
  return code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F) || code_point == 0x2028 ||
         code_point == 0x2029 || (code_point >= 0x202A && code_point <= 0x202E) ||
         (code_point >= 0x2066 && code_point <= 0x2069);
}

void AppendEscape(std::wstring& text, char32_t code_point) {
  constexpr wchar_t kHexDigits[] = L"0123456789abcdef";
  text += L"\\u";
  for (int shift = 12; shift >= 0; shift -= 4) text += kHexDigits[(code_point >> shift) & 0xF];
}

std::wstring VisibleText(const std::wstring& text, LineBreaks line_breaks) {
  std::wstring visible;
  visible.reserve(text.size());
  for (std::size_t index = 0; index < text.size(); ++index) {
    char32_t code_point = static_cast<char32_t>(text[index]);
    const char32_t next = index + 1 < text.size() ? static_cast<char32_t>(text[index + 1]) : 0;
    if (IsHigh(code_point) && IsLow(next)) {
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (next - 0xDC00);
      ++index;
    } else if ((code_point >= 0xD800 && code_point <= 0xDFFF) || code_point > 0x10FFFF) {
      code_point = kReplacement;
    }
    const bool line_break = code_point == U'\r' || code_point == U'\n';
    if (ShowsAsEscape(code_point) && !(line_break && line_breaks == LineBreaks::kKept)) {
      AppendEscape(visible, code_point);
    } else {
      AppendCodePoint(visible, code_point);
    }
  }
  return visible;
}

}  // namespace quillmark
