// Control and bidirectional characters made visible, in one convention for every output.
#include "visible_text.h"

#include "code_points.h"

namespace quillmark {

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
  for (char32_t code_point : CodePointsFrom(text)) {
    if (IsSurrogate(code_point) || code_point > kLastCodePoint) code_point = kReplacementCharacter;
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
