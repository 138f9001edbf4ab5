// The facts a register keeps beside a serial number, which a run may ask for (--with), in the order
// their columns stand after the row's own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmark::companion {

enum class Fact { kMaker, kModel, kUuid, kAssetTag, kBiosVersion, kBiosDate, kBiosMaker };

inline constexpr std::size_t kFactCount = 7;
inline constexpr std::array<Fact, kFactCount> kEveryFact = {
    Fact::kMaker,       Fact::kModel,    Fact::kUuid,     Fact::kAssetTag,
    Fact::kBiosVersion, Fact::kBiosDate, Fact::kBiosMaker};

// Its column's name and its JSON field's: "maker", "model", "uuid", "asset_tag", "bios_version",
// "bios_date" or "bios_maker".
const wchar_t* FactName(Fact fact);

// The fact a name names, exactly as FactName gives it, if any.
std::optional<Fact> FactNamed(std::wstring_view name);

inline constexpr std::size_t FactIndex(Fact fact) { return static_cast<std::size_t>(fact); }

// Which facts a run asks for, by FactIndex.
using AskedFacts = std::array<bool, kFactCount>;

// A fact that was asked for and could not be read: its class missing, access refused, the
// property absent. The row keeps its status; the fact stays empty.
struct FactFailure {
  Fact fact;
  std::int32_t code;
};

}  // namespace quillmark::companion
