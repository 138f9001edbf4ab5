// Computer names from list files and standard input, and the one way two names are the same.
#pragma once

#include <string>
#include <variant>
#include <vector>

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
std::vector<std::wstring> NamesFromListText(const std::wstring& text);

// DecodeListText, then NamesFromListText.
std::variant<std::vector<std::wstring>, InvalidText> NamesFromListBytes(const std::string& bytes);

// A name as Windows compares computer names: ordinally, ignoring case, each UTF-16 unit in upper
// case. Upper case here covers ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic; other letters
// are compared exactly, so two names are never folded that Windows would tell apart.
std::wstring ComputerNameKey(const std::wstring& name);

// The names with each repeat (by ComputerNameKey) dropped, each kept as and where first given.
std::vector<std::wstring> WithoutRepeatedNames(const std::vector<std::wstring>& names);

}  // namespace quillmark::companion
