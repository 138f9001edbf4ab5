// Telling this computer's names from other computers'.
#include "this_computer.h"

#include <algorithm>

#include "computer_names.h"

namespace quillmark::companion {
namespace {

// 127.0.0.0/8 written as four decimal numbers: every address there is this computer.
bool IsLoopbackV4(const std::wstring& name) {
  if (name.rfind(L"127.", 0) != 0) return false;
  int dots = 0;
  bool digit_before = false;
  for (const wchar_t unit : name) {
    if (unit == L'.') {
      if (!digit_before) return false;
      ++dots;
      digit_before = false;
    } else if (unit >= L'0' && unit <= L'9') {
      digit_before = true;
    } else {
      return false;
    }
  }
  return dots == 3 && digit_before;
}

}  // namespace

bool NamesThisComputer(const std::wstring& name, const std::vector<std::wstring>& own_names) {
  const std::wstring key = ComputerNameKey(name);
  if (key.empty() || key == L"." || key == L"LOCALHOST" || key == L"LOCALHOST.") return true;
  if (key == L"::1" || key == L"[::1]" || IsLoopbackV4(key)) return true;
  return std::any_of(own_names.begin(), own_names.end(), [&](const std::wstring& own) {
    return !own.empty() && ComputerNameKey(own) == key;
  });
}

}  // namespace quillmark::companion
