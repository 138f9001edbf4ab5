// Code points and the 16-bit or 32-bit units of wide text: surrogates, their pairs, and the
// replacement character, for every part that reads or writes text by code point.
#pragma once

#include <cstddef>
#include <string>

namespace quillmark {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;
inline constexpr char32_t kLastCodePoint = 0x10FFFF;

inline bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }
inline char32_t CombineSurrogates(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// The code points of a string of 16-bit or 32-bit units. A surrogate pair is one code point at
// either width, so text that came from a 16-bit source reads the same on a 32-bit platform; an
// unpaired surrogate stays as it is, for the writer to judge.
template <class String>
std::u32string CodePointsFrom(const String& text) {
  std::u32string code_points;
  code_points.reserve(text.size());
  for (std::size_t index = 0; index < text.size(); ++index) {
    const auto unit = static_cast<char32_t>(text[index]);
    const auto next = index + 1 < text.size() ? static_cast<char32_t>(text[index + 1]) : 0;
    if (IsHighSurrogate(unit) && IsLowSurrogate(next)) {
      code_points.push_back(CombineSurrogates(unit, next));
      ++index;
    } else {
      code_points.push_back(unit);
    }
  }
  return code_points;
}

// Appends a code point as 16-bit units (a surrogate pair above the first plane) or as one 32-bit
// unit. It must be at most kLastCodePoint.
template <class String>
void AppendCodePoint(String& text, char32_t code_point) {
  using Unit = typename String::value_type;
  if (sizeof(Unit) == 2 && code_point > 0xFFFF) {
    const char32_t offset = code_point - 0x10000;
    text.push_back(static_cast<Unit>(0xD800 + (offset >> 10)));
    text.push_back(static_cast<Unit>(0xDC00 + (offset & 0x3FF)));
  } else {
    text.push_back(static_cast<Unit>(code_point));
  }
}

// A string of 16-bit or 32-bit units, each code point appended as AppendCodePoint does.
template <class String>
String UnitsFromCodePoints(const std::u32string& code_points) {
  String text;
  text.reserve(code_points.size());
  for (const char32_t code_point : code_points) AppendCodePoint(text, code_point);
  return text;
}

}  // namespace quillmark
