// The names in a list's bytes, in the shapes administrators make lists in: one name a line or
// several, a CSV export read by its column, a table captured from a console; UTF-8, UTF-16 with a
// byte-order mark, or this computer's ANSI code page.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "computer_names.h"

namespace quillmark::companion {

// Why bytes are not text the companion reads, in a few words: "invalid UTF-8 at byte 17".
struct InvalidText {
  std::wstring problem;
};

// Text read in this computer's ANSI code page, and that code page's number.
struct AnsiText {
  std::wstring text;
  unsigned code_page = 0;
};

// Reads bytes in this computer's ANSI code page: the platform's conversion, or a test's.
using AnsiDecoder = std::function<AnsiText(const std::string& bytes)>;

// A list's text, and the ANSI code page it was read in where it was not UTF-8.
struct ListText {
  std::wstring text;
  std::optional<unsigned> ansi_code_page;
};

// The text of a list: UTF-8, with or without a byte-order mark, or UTF-16 in either byte order
// with one. Without a mark, bytes that are not UTF-8 are read in the ANSI code page, as Notepad and
// Windows PowerShell read such a file. A NUL character is refused, as no text holds one; it is
// what UTF-16 without a mark looks like.
std::variant<ListText, InvalidText> DecodeListText(const std::string& bytes,
                                                   const AnsiDecoder& ansi);

// What is wrong with a list, in words that follow its name: "is not valid text: ...".
struct ListProblem {
  std::wstring what;
};

// Adds the names of a list's text to `names`, in order, each with its escapes taken back
// (WithEscapesTakenBack):
// - CSV, where the first line (or the second, after an "#TYPE" line) is a header: a line whose
//   fields include one of kNameColumns, or any quoted field. The names are the values of the first
//   of kNameColumns present; empty values are skipped. A header with none of them is a problem.
// - Otherwise lines, ending in LF, CRLF or CR, each holding names separated by commas, semicolons
//   and blanks (SeparatesNames). A '#' that begins a name starts a comment to the line's end. A
//   line of dashes and blanks alone is a table's rule: it, and the header just before it, hold no
//   name; where the rule marks several columns, the names come from the first of kNameColumns
//   among them, one a row, and a table with none of them is a problem.
// `names` is left as it was when there is a problem.
std::optional<ListProblem> AddNamesFromListText(std::wstring_view text, ComputerNames& names);

// What reading a list's bytes came to: the ANSI code page it was read in where it was not UTF-8,
// or what is wrong with it (`names` is then left as it was).
struct ListRead {
  std::optional<unsigned> ansi_code_page;
  std::optional<ListProblem> problem;
};

// DecodeListText, then AddNamesFromListText.
ListRead AddNamesFromListBytes(const std::string& bytes, const AnsiDecoder& ansi,
                               ComputerNames& names);

// The names of a command-line argument: split at commas and semicolons, with the blanks around
// each part dropped, where it holds any (the "PC01,PC02" habit); otherwise the argument exactly as
// given.
void AddNamesFromArgument(const std::wstring& argument, ComputerNames& names);

}  // namespace quillmark::companion
