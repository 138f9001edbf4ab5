// The names of the facts beside a serial number.
#include "serial_facts.h"

namespace quillmark::companion {
namespace {

constexpr std::array<const wchar_t*, kFactCount> kFactNames = {
    L"maker", L"model", L"uuid", L"asset_tag", L"bios_version", L"bios_date", L"bios_maker"};

}  // namespace

const wchar_t* FactName(Fact fact) { return kFactNames[FactIndex(fact)]; }

std::optional<Fact> FactNamed(std::wstring_view name) {
  for (const Fact fact : kEveryFact) {
    if (name == FactName(fact)) return fact;
  }
  return std::nullopt;
}

}  // namespace quillmark::companion
