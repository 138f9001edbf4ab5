// The fillers and the virtual machines' shapes a serial is judged by.
#include "serial_note.h"

#include <algorithm>

#include "computer_names.h"

namespace quillmark::companion {
namespace {

// What firmware kits and board makers leave in the field when nobody enters a serial, compared by
// SerialKey. Besides these, an empty value and one character alone or repeated ("0000000",
// "xxxxxxx", "FFFFFFFF") are fillers.
constexpr const wchar_t* kFillers[] = {
    L"To Be Filled By O.E.M.",
    L"Default string",
    L"System Serial Number",
    L"Not Specified",
    L"123456789",
    L"Not Available",
    L"Not Applicable",
    L"None",
    L"N/A",
    L"INVALID",
    L"Default",
    L"OEM",
    L"Chassis Serial Number",
    L"System Serial",
    L"0123456789",
    L"1234567890",
};

constexpr wchar_t kBlanks[] = L" \t\r\n\v\f";

std::wstring_view Trimmed(std::wstring_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::wstring_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool IsDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

bool IsHexDigit(wchar_t unit) {
  return IsDigit(unit) || (unit >= L'a' && unit <= L'f') || (unit >= L'A' && unit <= L'F');
}

bool StartsWithWord(std::wstring_view text, std::wstring_view word) {
  return text.size() >= word.size() && SerialKey(text.substr(0, word.size())) == SerialKey(word);
}

// "VMware-" and then hexadecimal pairs, each pair after the first following one blank or hyphen:
// "VMware-56 4d 1e 2b 6f 3a 7c 8d-9e 0f 1a 2b 3c 4d 5e 6f".
bool IsVmwareShape(std::wstring_view serial) {
  constexpr std::wstring_view kPrefix = L"VMware-";
  if (!StartsWithWord(serial, kPrefix)) return false;
  std::wstring_view pairs = serial.substr(kPrefix.size());
  if (pairs.empty()) return false;
  for (std::size_t at = 0;; at += 3) {
    if (at + 2 > pairs.size() || !IsHexDigit(pairs[at]) || !IsHexDigit(pairs[at + 1])) {
      return false;
    }
    if (at + 2 == pairs.size()) return true;
    if (pairs[at + 2] != L' ' && pairs[at + 2] != L'-') return false;
  }
}

// Hyper-V's: digits in six groups of four and one of two, "1234-5678-9012-3456-7890-1234-56".
bool IsHyperVShape(std::wstring_view serial) {
  constexpr std::wstring_view kShape = L"dddd-dddd-dddd-dddd-dddd-dddd-dd";
  return serial.size() == kShape.size() &&
         std::equal(kShape.begin(), kShape.end(), serial.begin(), [](wchar_t shape, wchar_t unit) {
           return shape == L'd' ? IsDigit(unit) : unit == shape;
         });
}

// "Parallels-" and something after it.
bool IsParallelsShape(std::wstring_view serial) {
  constexpr std::wstring_view kPrefix = L"Parallels-";
  return serial.size() > kPrefix.size() && StartsWithWord(serial, kPrefix);
}

bool IsOneCharacterRepeated(const std::wstring& key) {
  return std::all_of(key.begin(), key.end(), [&](wchar_t unit) { return unit == key.front(); });
}

}  // namespace

std::wstring SerialKey(std::wstring_view serial) { return ComputerNameKey(Trimmed(serial)); }

SerialNote SerialNoteOf(std::wstring_view serial) {
  const std::wstring key = SerialKey(serial);
  const bool filler = std::any_of(std::begin(kFillers), std::end(kFillers),
                                  [&](const wchar_t* text) { return SerialKey(text) == key; });
  // An empty key is one character repeated no times.
  if (filler || IsOneCharacterRepeated(key)) return SerialNote::kPlaceholder;
  const std::wstring_view trimmed = Trimmed(serial);
  if (IsVmwareShape(trimmed) || IsHyperVShape(trimmed) || IsParallelsShape(trimmed)) {
    return SerialNote::kVirtual;
  }
  return SerialNote::kNone;
}

SerialNote SerialNoteOf(const LookupRow& row) {
  return row.status == RowStatus::kOk ? SerialNoteOf(row.serial) : SerialNote::kNone;
}

const wchar_t* SerialNoteWord(SerialNote note) {
  switch (note) {
    case SerialNote::kPlaceholder:
      return L"placeholder";
    case SerialNote::kVirtual:
      return L"virtual";
    case SerialNote::kNone:
      break;
  }
  return L"";
}

}  // namespace quillmark::companion
