// The run's end on serials: placeholders and virtual machines counted, shared serials grouped, and
// the facts that could not be read counted by fact and code.
#include "serial_summary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

// A computer: its serials (an "ok" row each, a failed row if none) and its rows' fact failures.
using Computer = std::tuple<std::wstring, std::vector<std::wstring>, std::vector<FactFailure>>;

TEST(SerialSummary, GroupsSharedSerialsMostSharedFirstAndCountsWhatTellsNoComputerApart) {
  const FactFailure no_class{Fact::kAssetTag, static_cast<std::int32_t>(0x80041010)};
  const FactFailure no_date{Fact::kBiosDate, static_cast<std::int32_t>(0x80020005)};
  std::vector<Computer> many, clones;  // twelve serials of two computers each; seven clones
  for (int n = 0; n < 24; ++n) {
    many.push_back({L"pc" + std::to_wstring(n), {L"S" + std::to_wstring(n / 2)}, {}});
    if (n < 7) clones.push_back({L"vm\x1b" + std::to_wstring(n), {L"VMware-56 4d"}, {}});
  }
  const struct {
    const char* promise;
    std::vector<Computer> computers;
    std::vector<std::wstring> starts;  // how each line starts
  } cases[] = {
      {"nothing to tell", {{L"a", {L"SN-A"}, {}}, {L"b", {}, {}}}, {}},
      {"case and blanks at the ends fold, and two instances of one computer count once; "
       "placeholders are counted, never shared; the most shared first, ties as first met",
       {{L"a", {L"SN-A", L" sn-a "}, {}},
        {L"b", {L"0"}, {}},
        {L"c", {L"SN-B"}, {}},
        {L"d", {L"0"}, {}},
        {L"e", {L"SN-B"}, {}},
        {L"f", {L"SN-A"}, {}},
        {L"g", {L"SN-B"}, {}}},
       {L"      2  gave a placeholder", L"      3  share the serial number \"SN-B\": c, e, g\r\n",
        L"      2  share the serial number \"SN-A\": a, f\r\n"}},
      {"a cloned virtual machine: five names at most, the rest counted, names made visible",
       clones,
       {L"      7  gave a virtual machine's",
        L"      7  share the serial number \"VMware-56 4d\": vm\\u001b0, vm\\u001b1, vm\\u001b2, "
        L"vm\\u001b3, vm\\u001b4 and 2 more\r\n"}},
      {"ten serials at most, the rest on one line",
       many,
       {L"      2  share the serial number \"S0\": pc0, pc1\r\n", L"      2", L"      2",
        L"      2", L"      2", L"      2", L"      2", L"      2", L"      2",
        L"      2  share the serial number \"S9\"", L"      4  share 2 other serial numbers\r\n"}},
      {"unread facts by fact and code, each computer once, the most frequent first",
       {{L"a", {L"SN-A", L"SN-B"}, {no_date}},
        {L"b", {L"SN-C"}, {no_class}},
        {L"c", {}, {no_class}}},
       {L"      2  asset_tag not read: 0x80041010  Invalid class.\r\n",
        L"      1  bios_date not read: 0x80020005  Type mismatch.\r\n"}},
  };
  for (const auto& test : cases) {
    ComputerNames names;
    for (const auto& [name, serials, failures] : test.computers) names.Add(name);
    SerialSummary summary(names);
    for (std::size_t index = 0; index < test.computers.size(); ++index) {
      const auto& [name, serials, failures] = test.computers[index];
      ComputerRows rows;
      for (const std::wstring& serial : serials)
        rows.push_back({name, serial, RowStatus::kOk, {}, L""});
      if (rows.empty()) rows.push_back({name, L"", RowStatus::kFailed, 5, L"No."});
      for (LookupRow& row : rows) row.fact_failures = failures;
      summary.Add(index, rows);
    }
    std::vector<::testing::Matcher<std::wstring>> lines;
    for (const std::wstring& start : test.starts) lines.push_back(::testing::StartsWith(start));
    EXPECT_THAT(summary.Lines(), ::testing::ElementsAreArray(lines)) << test.promise;
  }
}

}  // namespace
}  // namespace quillmark::companion
