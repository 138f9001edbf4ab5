// The run's end on serials: placeholders and virtual machines counted, shared serials grouped, and
// the facts that could not be read counted by fact and code.
#include "serial_summary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

constexpr std::int32_t kInvalidClass = static_cast<std::int32_t>(0x80041010);
constexpr std::int32_t kTypeMismatch = static_cast<std::int32_t>(0x80020005);

struct Computer {
  std::wstring name;
  std::vector<std::wstring> serials;       // an "ok" row each; none: a failed row
  std::vector<FactFailure> failures = {};  // on each of its rows
};

std::vector<std::wstring> SummaryOf(const std::vector<Computer>& given) {
  ComputerNames names;
  for (const Computer& computer : given) names.Add(computer.name);
  SerialSummary summary(names);
  for (std::size_t index = 0; index < given.size(); ++index) {
    ComputerRows rows;
    for (const std::wstring& serial : given[index].serials) {
      rows.push_back({given[index].name, serial, RowStatus::kOk, std::nullopt, L""});
    }
    if (rows.empty()) rows.push_back({given[index].name, L"", RowStatus::kFailed, 5, L"No."});
    for (LookupRow& row : rows) row.fact_failures = given[index].failures;
    summary.Add(index, rows);
  }
  return summary.Lines();
}

// Twelve serials, each given by two computers, and one computer of a VMware serial more.
std::vector<Computer> ManyShared() {
  std::vector<Computer> computers;
  for (int number = 0; number < 24; ++number) {
    computers.push_back({L"pc" + std::to_wstring(number), {L"S" + std::to_wstring(number / 2)}});
  }
  return computers;
}

TEST(SerialSummary, GroupsSharedSerialsMostSharedFirstAndCountsWhatTellsNoComputerApart) {
  const FactFailure enclosure{Fact::kAssetTag, kInvalidClass};
  const struct {
    const char* promise;
    std::vector<Computer> computers;
    std::vector<std::wstring> starts;  // how each line starts
  } cases[] = {
      {"nothing to tell", {{L"pc1", {L"SN-A"}}, {L"pc2", {L"SN-B"}}, {L"pc3", {}}}, {}},
      {"case and blanks at the ends fold; placeholders are counted, never shared",
       {{L"pc1", {L"ABC"}}, {L"pc2", {L" abc "}}, {L"pc3", {L"0"}}, {L"pc4", {L"0"}}},
       {L"      2  gave a placeholder", L"      2  share the serial number \"ABC\": pc1, pc2\r\n"}},
      {"the most shared first, ties as first met; two instances of one computer count once",
       {{L"pc1", {L"SN-A", L"SN-A"}},
        {L"pc2", {L"SN-B"}},
        {L"pc3", {L"SN-A"}},
        {L"pc4", {L"SN-B"}},
        {L"pc5", {L"SN-C"}},
        {L"pc6", {L"SN-C"}},
        {L"pc7", {L"SN-C"}}},
       {L"      3  share the serial number \"SN-C\": pc5, pc6, pc7\r\n",
        L"      2  share the serial number \"SN-A\": pc1, pc3\r\n",
        L"      2  share the serial number \"SN-B\": pc2, pc4\r\n"}},
      {"a cloned virtual machine: five names at most, the rest counted, names made visible",
       {{L"vm1", {L"VMware-56 4d"}},
        {L"vm\x1b[2", {L"vmware-56 4D"}},
        {L"vm3", {L"VMware-56 4d"}},
        {L"vm4", {L"VMware-56 4d"}},
        {L"vm5", {L"VMware-56 4d"}},
        {L"vm6", {L"VMware-56 4d"}},
        {L"vm7", {L"VMware-56 4d"}}},
       {L"      7  gave a virtual machine's",
        L"      7  share the serial number \"VMware-56 4d\": vm1, vm\\u001b[2, vm3, vm4, vm5 and 2 "
        L"more\r\n"}},
      {"ten serials at most, the rest on one line",
       ManyShared(),
       {L"      2  share the serial number \"S0\": pc0, pc1\r\n", L"      2  share",
        L"      2  share", L"      2  share", L"      2  share", L"      2  share",
        L"      2  share", L"      2  share", L"      2  share",
        L"      2  share the serial number \"S9\"", L"      4  share 2 other serial numbers\r\n"}},
      {"unread facts by fact and code, a computer once each, the most frequent first",
       {{L"pc1", {L"SN-A", L"SN-B"}, {{Fact::kBiosDate, kTypeMismatch}}},
        {L"pc2", {L"SN-C"}, {enclosure}},
        {L"pc3", {}, {enclosure, {Fact::kAssetTag, kTypeMismatch}}}},
       {L"      2  asset_tag not read: 0x80041010  Invalid class.\r\n",
        L"      1  bios_date not read: 0x80020005  Type mismatch.\r\n",
        L"      1  asset_tag not read: 0x80020005"}},
  };
  for (const auto& test : cases) {
    std::vector<::testing::Matcher<std::wstring>> lines;
    for (const std::wstring& start : test.starts) lines.push_back(::testing::StartsWith(start));
    EXPECT_THAT(SummaryOf(test.computers), ::testing::ElementsAreArray(lines)) << test.promise;
  }
}

}  // namespace
}  // namespace quillmark::companion
