// Text between the companion's wide strings and the bytes it reads and writes: UTF-8 and UTF-16.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace quillmark::companion {

// The line end of everything the companion writes, console or file: Windows' own.
inline constexpr wchar_t kLineEnd[] = L"\r\n";

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

// A string of 16-bit units (surrogate pairs above the first plane) or 32-bit units (one each).
// Every code point must be at most kLastCodePoint.
template <class String>
String UnitsFromCodePoints(const std::u32string& code_points) {
  using Unit = typename String::value_type;
  String text;
  text.reserve(code_points.size());
  for (const char32_t code_point : code_points) {
    if (sizeof(Unit) == 2 && code_point > 0xFFFF) {
      const char32_t offset = code_point - 0x10000;
      text.push_back(static_cast<Unit>(0xD800 + (offset >> 10)));
      text.push_back(static_cast<Unit>(0xDC00 + (offset & 0x3FF)));
    } else {
      text.push_back(static_cast<Unit>(code_point));
    }
  }
  return text;
}

// UTF-8 for any code points: an unpaired surrogate or a value past the last code point, which
// UTF-8 cannot carry, is written as U+FFFD so that the output always stays valid.
std::string Utf8FromCodePoints(const std::u32string& code_points);

// The code points of strict UTF-8 (no overlong forms, no surrogates), or nullopt, with
// `invalid_at` set to the offset of the first byte that does not belong to valid UTF-8.
std::optional<std::u32string> CodePointsFromUtf8(const std::string& bytes, std::size_t& invalid_at);

// The code points of UTF-16 in the given byte order, or nullopt, with `invalid_at` set to the
// offset of the first byte that does not belong to valid UTF-16: a lone byte at the end or an
// unpaired surrogate.
std::optional<std::u32string> CodePointsFromUtf16(const std::string& bytes, bool big_endian,
                                                  std::size_t& invalid_at);

inline std::string Utf8FromWide(const std::wstring& text) {
  return Utf8FromCodePoints(CodePointsFrom(text));
}

// The wide text of strict UTF-8, or nullopt when the bytes are not valid UTF-8.
std::optional<std::wstring> WideFromUtf8(const std::string& bytes);

}  // namespace quillmark::companion
