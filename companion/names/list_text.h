// The names in a list's bytes: how a list file or standard input is decoded and split into names.
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "computer_names.h"

namespace quillmark::companion {

// Why bytes are not text the companion reads, in a few words: "invalid UTF-8 at byte 17".
struct InvalidText {
  std::wstring problem;
};

// The text of a list: UTF-8, with or without a byte-order mark, or UTF-16 in either byte order
// with one. Without a mark the bytes must be UTF-8: no code page is guessed. A NUL character is
// refused, as no text holds one; it is what UTF-16 without a mark looks like.
std::variant<std::wstring, InvalidText> DecodeListText(const std::string& bytes);

// The names of a list's text, one a line, in order. Lines end in LF, CRLF or CR; blanks (space,
// tab, no-break and ideographic space) around a name are dropped; empty lines and lines whose first
// non-blank character is '#' hold no name.
// Adds them to `names`.
void AddNamesFromListText(const std::wstring& text, ComputerNames& names);

// DecodeListText, then AddNamesFromListText; `names` is left as it was when the bytes are not text.
std::optional<InvalidText> AddNamesFromListBytes(const std::string& bytes, ComputerNames& names);

}  // namespace quillmark::companion
