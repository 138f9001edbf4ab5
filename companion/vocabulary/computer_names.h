// Computer names in order, the one way two names are the same, and the text of a list of names.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark::companion {

// Computer names in order, kept in one block of text with where each one ends: a list of 100,000
// names costs about what its text does, not an allocation a name.
class ComputerNames {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::wstring_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::wstring_view;

    const_iterator(const ComputerNames& names, std::size_t index) : names_(&names), index_(index) {}
    std::wstring_view operator*() const { return (*names_)[index_]; }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    const_iterator operator++(int) { return {*names_, index_++}; }
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }
    bool operator!=(const const_iterator& other) const { return index_ != other.index_; }

   private:
    const ComputerNames* names_;
    std::size_t index_;
  };
  using value_type = std::wstring_view;

  ComputerNames() = default;
  ComputerNames(std::initializer_list<std::wstring_view> names);

  void Add(std::wstring_view name);
  // Room for `count` names of `units` UTF-16 units in all, so that adding them allocates nothing.
  void Reserve(std::size_t count, std::size_t units);
  std::size_t size() const noexcept { return ends_.size(); }
  std::size_t units() const noexcept { return text_.size(); }
  bool empty() const noexcept { return ends_.empty(); }
  std::wstring_view operator[](std::size_t index) const noexcept;
  const_iterator begin() const { return {*this, 0}; }
  const_iterator end() const { return {*this, size()}; }

 private:
  std::wstring text_;
  std::vector<std::size_t> ends_;  // where each name ends in `text_`
};

// A name as Windows compares computer names: ordinally, ignoring case, each UTF-16 unit in upper
// case. Upper case here covers ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic; other letters
// are compared exactly, so two names are never folded that Windows would tell apart.
std::wstring ComputerNameKey(std::wstring_view name);

// The names with each repeat (by ComputerNameKey, one final dot aside: "pc.x.test." is
// "pc.x.test") dropped, each kept as and where first given.
ComputerNames WithoutRepeatedNames(const ComputerNames& names);

// The columns a CSV list's names are read from, the first of them present, compared without regard
// to case: the directory's, the companion's own output and inventory, and the usual exports'.
inline constexpr const wchar_t* kNameColumns[] = {L"DNSHostName",  L"computer", L"Name",
                                                  L"ComputerName", L"HostName", L"cn"};

// Whether a unit separates names on a list's line: a computer name holds no comma, semicolon or
// blank (space, tab, no-break and ideographic space).
bool SeparatesNames(wchar_t unit);

// The names, one a line, each ending in CRLF, such that @FILE reads each back as itself: every
// name by the visible convention (a name from the directory is untrusted and may hold a line
// break), and, as "\u" escapes that the reader takes back, whatever the reader would otherwise
// split at, drop or take for something else: the separators, a leading '#' (a comment), a leading
// quote or a first name that is a column's name (a CSV header), a name of dashes alone (a table's
// rule), U+FEFF (a byte-order mark) and a backslash that begins an escape.
std::wstring NameListText(const ComputerNames& names);

// The text of a name written in a list, with each "\u" and four hexadecimal digits taken back as
// the UTF-16 unit it stands for.
std::wstring WithEscapesTakenBack(std::wstring_view text);

}  // namespace quillmark::companion
