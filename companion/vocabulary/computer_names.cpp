// Computer names kept in one block of text, compared and folded as Windows compares them.
#include "computer_names.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

#include "text_encoding.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

// A run of lower-case letters and how each becomes upper case: the upper-case letter lies
// `distance` code points below. With a step of 2 only every second code point, starting at `first`,
// is a lower-case letter; the rest are the upper-case ones.
struct LowerCaseRun {
  char32_t first;
  char32_t last;
  char32_t step;
  std::int32_t distance;
};

// Unicode's simple upper-case mappings for these blocks, less the ones Windows' computer-name
// comparison does not make (dotless i, long s, micro sign).
constexpr LowerCaseRun kLowerCaseRuns[] = {
    {0x0061, 0x007A, 1, 0x20},  {0x00E0, 0x00F6, 1, 0x20}, {0x00F8, 0x00FE, 1, 0x20},
    {0x00FF, 0x00FF, 1, -0x79}, {0x0101, 0x012F, 2, 1},    {0x0133, 0x0137, 2, 1},
    {0x013A, 0x0148, 2, 1},     {0x014B, 0x0177, 2, 1},    {0x017A, 0x017E, 2, 1},
    {0x03AC, 0x03AC, 1, 0x26},  {0x03AD, 0x03AF, 1, 0x25}, {0x03B1, 0x03C1, 1, 0x20},
    {0x03C2, 0x03C2, 1, 0x1F},  {0x03C3, 0x03CB, 1, 0x20}, {0x03CC, 0x03CC, 1, 0x40},
    {0x03CD, 0x03CE, 1, 0x3F},  {0x0430, 0x044F, 1, 0x20}, {0x0450, 0x045F, 1, 0x50},
    {0x0461, 0x0481, 2, 1},     {0x048B, 0x04BF, 2, 1},
};

wchar_t UpperCaseUnit(wchar_t unit) {
  const auto code = static_cast<char32_t>(unit);
  for (const LowerCaseRun& run : kLowerCaseRuns) {
    if (code >= run.first && code <= run.last && (code - run.first) % run.step == 0) {
      return static_cast<wchar_t>(static_cast<std::int32_t>(code) - run.distance);
    }
  }
  return unit;
}

// A fully qualified name may end in the root's dot and name the same computer: one final dot
// does not make another ("." itself is this computer).
std::wstring_view WithoutFinalDot(std::wstring_view name) {
  if (name.size() > 1 && name.back() == L'.') name.remove_suffix(1);
  return name;
}

// The hash of a name's ComputerNameKey, made without the key itself.
std::uint32_t KeyHash(std::wstring_view name) {
  name = WithoutFinalDot(name);
  std::uint32_t hash = 2166136261u;
  for (const wchar_t unit : name) {
    hash = (hash ^ static_cast<std::uint32_t>(UpperCaseUnit(unit))) * 16777619u;
  }
  return hash;
}

bool SameKey(std::wstring_view left, std::wstring_view right) {
  left = WithoutFinalDot(left);
  right = WithoutFinalDot(right);
  return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                    [](wchar_t a, wchar_t b) { return UpperCaseUnit(a) == UpperCaseUnit(b); });
}

std::optional<unsigned> HexDigit(wchar_t unit) {
  if (unit >= L'0' && unit <= L'9') return static_cast<unsigned>(unit - L'0');
  if (unit >= L'a' && unit <= L'f') return static_cast<unsigned>(unit - L'a') + 10;
  if (unit >= L'A' && unit <= L'F') return static_cast<unsigned>(unit - L'A') + 10;
  return std::nullopt;
}

// The unit a "\\u" escape at `at` stands for, if one begins there.
std::optional<wchar_t> EscapeAt(std::wstring_view text, std::size_t at) {
  if (text.size() - at < 6 || text[at] != L'\\' || text[at + 1] != L'u') return std::nullopt;
  unsigned value = 0;
  for (std::size_t digit = at + 2; digit < at + 6; ++digit) {
    const auto digit_value = HexDigit(text[digit]);
    if (!digit_value) return std::nullopt;
    value = value * 16 + *digit_value;
  }
  return static_cast<wchar_t>(value);
}

bool IsNameColumn(std::wstring_view name) {
  return std::any_of(std::begin(kNameColumns), std::end(kNameColumns), [&](const wchar_t* column) {
    return AsciiLowerCase(std::wstring(name)) == AsciiLowerCase(column);
  });
}

// A name as a line of a list: what the reader would take for something else escaped first, then
// the controls by the visible convention (whose escapes never touch a backslash).
std::wstring ListLineOf(std::wstring_view name, bool first) {
  const bool dashes_alone = !name.empty() && name.find_first_not_of(L'-') == std::wstring::npos;
  std::wstring line;
  line.reserve(name.size());
  for (std::size_t at = 0; at < name.size(); ++at) {
    const wchar_t unit = name[at];
    const bool leading =
        at == 0 && (unit == L'#' || unit == L'"' || dashes_alone || (first && IsNameColumn(name)));
    if (leading || SeparatesNames(unit) || unit == 0xFEFF || EscapeAt(name, at)) {
      AppendEscape(line, static_cast<char32_t>(unit));
    } else {
      line += unit;
    }
  }
  return VisibleText(line);
}

}  // namespace

ComputerNames::ComputerNames(std::initializer_list<std::wstring_view> names) {
  for (const std::wstring_view name : names) Add(name);
}

void ComputerNames::Add(std::wstring_view name) {
  ends_.push_back(text_.size() + name.size());
  try {
    text_.append(name);
  } catch (...) {
    ends_.pop_back();  // a name's end without its text would shift every name after it
    throw;
  }
}

void ComputerNames::Reserve(std::size_t count, std::size_t units) {
  ends_.reserve(count);
  text_.reserve(units);
}

std::wstring_view ComputerNames::operator[](std::size_t index) const noexcept {
  const std::size_t start = index == 0 ? 0 : ends_[index - 1];
  return {text_.data() + start, ends_[index] - start};
}

std::wstring ComputerNameKey(std::wstring_view name) {
  std::wstring key;
  key.reserve(name.size());
  std::transform(name.begin(), name.end(), std::back_inserter(key), UpperCaseUnit);
  return key;
}

// An open-addressing table over the names kept so far, so that folding a long list costs a few
// bytes a name, not a key string apiece.
ComputerNames WithoutRepeatedNames(const ComputerNames& names) {
  ComputerNames kept;
  kept.Reserve(names.size(), names.units());
  std::size_t slot_count = 16;
  while (slot_count < names.size() * 2) slot_count *= 2;
  std::vector<std::size_t> slots(slot_count, 0);  // a kept name's index + 1; 0: free
  for (const std::wstring_view name : names) {
    std::size_t slot = KeyHash(name) & (slot_count - 1);
    while (slots[slot] != 0 && !SameKey(kept[slots[slot] - 1], name)) {
      slot = (slot + 1) & (slot_count - 1);
    }
    if (slots[slot] != 0) continue;
    kept.Add(name);
    slots[slot] = kept.size();
  }
  return kept;
}

bool SeparatesNames(wchar_t unit) {
  return unit == L',' || unit == L';' || unit == L' ' || unit == L'\t' || unit == 0x00A0 ||
         unit == 0x3000;
}

std::wstring NameListText(const ComputerNames& names) {
  std::wstring text;
  text.reserve(names.units() + names.size() * 2);
  bool first = true;
  for (const std::wstring_view name : names) {
    text.append(ListLineOf(name, first)).append(kLineEnd);
    first = false;
  }
  return text;
}

std::wstring WithEscapesTakenBack(std::wstring_view text) {
  std::wstring plain;
  plain.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (const auto unit = EscapeAt(text, at)) {
      plain += *unit;
      at += 5;
    } else {
      plain += text[at];
    }
  }
  return plain;
}

}  // namespace quillmark::companion
