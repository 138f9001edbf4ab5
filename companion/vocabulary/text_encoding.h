// Text between the companion's wide strings and the bytes it reads and writes: UTF-8 and UTF-16.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "code_points.h"

namespace quillmark::companion {

// The line end of everything the companion writes, console or file: Windows' own.
inline constexpr wchar_t kLineEnd[] = L"\r\n";

// The text with its ASCII letters in lower case and everything else as it is: how the words an
// option takes are matched, in any case.
inline std::wstring AsciiLowerCase(std::wstring text) {
  for (wchar_t& unit : text) {
    if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
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

}  // namespace quillmark::companion
