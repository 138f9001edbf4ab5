// WS-Management beside DCOM: the same rows over either, `auto`'s fallback, and what the session
// is asked for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "companion_support.h"
#include "standin_file.h"
#include "standin_text.h"

namespace quillmark::companion_endtoend {
namespace {

using standin::Serial;
using standin::Step;
using standin::Transport;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

using Transports = CompanionEndToEnd;

TEST_F(Transports, OverWsManEveryBehaviourGivesTheRowsItGivesOverDcom) {
  std::vector<standin::Plan> plans;
  std::vector<std::wstring> arguments = {L"--protocol", L"wsman"};
  std::vector<Row> expected;
  for (int number = 0; number < 45; ++number) {
    plans.push_back(MixedPlan(number));
    arguments.push_back(plans.back().computer);
    for (Row& row : ExpectedRows(plans.back().computer, plans.back())) expected.push_back(row);
  }
  Use(plans);

  const CompanionRun run = RunCompanion(arguments);
  ASSERT_TRUE(run.finished) << "still running after " << run.wall.count() << " ms";
  EXPECT_EQ(run.exit_code, 1u);
  const CsvOutput output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.problem, "") << run.out.substr(0, 2000);
  EXPECT_THAT(output.rows, ElementsAreArray(expected));
  EXPECT_THAT(output.protocols, ::testing::Each(L"wsman"));
  const std::vector<std::string> record = Record();
  EXPECT_EQ(std::count(record.begin(), record.end(), "bind \"pc-0\""), 0) << "DCOM was used";
}

struct ChoiceCase {
  const char* promise;
  std::wstring protocol;
  standin::Plan plan;
  std::vector<Row> rows;
  std::vector<std::wstring> protocols;
};

TEST_F(Transports, EachChoiceUsesItsTransportAndAutoFallsBackWhenDcomIsUnavailable) {
  const HRESULT denied = static_cast<HRESULT>(0x80070005);
  const ChoiceCase cases[] = {
      {"two items",
       L"wsman",
       standin::For(L"two").Member(Serial::Text(L"A")).Member(Serial::Text(L" B ")),
       {{L"two", L"A", L"ok", L"", L""}, {L"two", L" B ", L"ok", L"", L""}},
       {L"wsman", L"wsman"}},
      {"a nil serial is empty",
       L"wsman",
       standin::For(L"nil").Member(Serial::Null()),
       {{L"nil", L"", L"ok", L"", L""}},
       {L"wsman"}},
      {"a fault gives its code and message",
       L"wsman",
       standin::For(L"fault").Fail(Step::kBind, 1, denied, standin::Raise::kErrorInfo,
                                   L"Access is denied, says the fault."),
       {{L"fault", L"", L"failed", L"0x80070005", L"Access is denied, says the fault."}},
       {L"wsman"}},
      {"auto: DCOM unavailable, WS-Management answers",
       L"auto",
       standin::For(L"winrm-only").Only(Transport::kWsMan).Member(Serial::Text(L"W")),
       {{L"winrm-only", L"W", L"ok", L"", L""}},
       {L"wsman"}},
      {"auto: DCOM answers",
       L"auto",
       standin::For(L"dcom-only").Only(Transport::kDcom).Member(Serial::Text(L"D")),
       {{L"dcom-only", L"D", L"ok", L"", L""}},
       {L"dcom"}},
      {"a serial in a derived class's own namespace",
       L"wsman",
       standin::For(L"derived").Member(Serial{Serial::Kind::kDerived, L"D", 0, 0}),
       {{L"derived", L"D", L"ok", L"", L""}},
       {L"wsman"}},
      {"no SerialNumber fails as over DCOM",
       L"wsman",
       standin::For(L"missing").Member(Serial{Serial::Kind::kMissing, L"", 0, 0}),
       {{L"missing", L"", L"failed", L"0x80020006", L"Unknown name."}},
       {L"wsman"}},
      {"auto: both fail, DCOM's failure and WS-Management's",
       L"auto",
       standin::For(L"neither")
           .Only(Transport::kWsMan)
           .Fail(Step::kBind, 1, denied, standin::Raise::kCode, L""),
       {{L"neither", L"", L"failed", L"0x800706BA",
         L"(the platform's) WS-Management was tried too: 0x80070005"}},
       {L"dcom"}},
      {"dcom: no fallback",
       L"dcom",
       standin::For(L"winrm-only").Only(Transport::kWsMan).Member(Serial::Text(L"W")),
       {{L"winrm-only", L"", L"failed", L"0x800706BA", L"(the platform's)"}},
       {L"dcom"}},
  };
  for (const ChoiceCase& test : cases) {
    Use({test.plan});
    const CompanionRun run = RunCompanion({L"--protocol", test.protocol, test.plan.computer});
    ASSERT_TRUE(run.finished) << test.promise;
    CsvOutput output = ReadCompanionCsv(run.out);
    ASSERT_EQ(output.problem, "") << test.promise << run.out.substr(0, 2000);
    // The platform's own descriptions are its own to word; what follows of a fallback's is kept to
    // its transport and code.
    constexpr std::wstring_view kTried = L" WS-Management was tried too: ";
    for (std::size_t index = 0; index < output.rows.size() && index < test.rows.size(); ++index) {
      if (test.rows[index][4].rfind(L"(the platform's)", 0) != 0) continue;
      std::wstring& description = output.rows[index][4];
      const std::size_t tried = description.find(kTried);
      description =
          L"(the platform's)" +
          (tried == std::wstring::npos ? L"" : description.substr(tried, kTried.size() + 10));
    }
    EXPECT_THAT(output.rows, ElementsAreArray(test.rows)) << test.promise;
    EXPECT_THAT(output.protocols, ElementsAreArray(test.protocols)) << test.promise;
  }
}

TEST_F(Transports, TheSessionUsesTheCallersOwnIdentityAndTheDeadlineAndAHangTimesOut) {
  Use({standin::For(L"hung").Hang()});
  const CompanionRun run = RunCompanion({L"--protocol", L"wsman", L"--timeout", L"2", L"hung"});
  ASSERT_TRUE(run.finished) << "still running after " << run.wall.count() << " ms";
  EXPECT_EQ(run.exit_code, 1u);
  CsvOutput output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.problem, "") << run.out.substr(0, 2000);
  ASSERT_EQ(output.rows.size(), 1u);
  EXPECT_EQ(output.rows[0][2], L"timed out");

  // No flags (so no credentials and never without authentication), no options, and a session
  // time-out within the computer's deadline.
  const std::vector<std::string> record = Record();
  EXPECT_THAT(record, ::testing::Contains("wsman-session \"hung\" flags 0"));
  const auto enumerate = std::find_if(record.begin(), record.end(), [](const std::string& line) {
    return line.rfind("wsman-enumerate ", 0) == 0;
  });
  ASSERT_NE(enumerate, record.end());
  EXPECT_THAT(*enumerate,
              HasSubstr("\"http://schemas.microsoft.com/wbem/wsman/1/wmi/root/cimv2/Win32_BIOS\""));
  const long timeout = std::stol(enumerate->substr(enumerate->rfind(' ') + 1));
  EXPECT_GT(timeout, 1000);
  EXPECT_LE(timeout, 2000);
}

// Each computer's facts (every one asked) and note, and the summary's lines, over either transport.
TEST_F(Transports, WithAllReadsEveryFactOverTheOneConnectionAndAFailedFactLeavesTheRowOk) {
  const std::wstring vmware = L"VMware-56 4d 1e 2b 6f 3a 7c 8d-9e 0f 1a 2b 3c 4d 5e 6f";
  Use({standin::For(L"plain").Member(Serial::Text(vmware)),
       standin::For(L"hostile")
           .Member(Serial::Text(vmware))
           .Property(L"Win32_ComputerSystem", L"Manufacturer",
                     Serial::Text(L"=HYPERLINK(\"x\")\u009b2J\u202e"))
           .Property(L"Win32_BIOS", L"ReleaseDate", Serial::Text(L"15/04/2021")),
       standin::For(L"no-enclosure").Member(Serial::Text(L"0")).Missing(L"Win32_SystemEnclosure"),
       standin::For(L"absent")
           .Member(Serial::Text(L"SN-77"))
           .Property(L"Win32_ComputerSystem", L"Model",
                     Serial{Serial::Kind::kMissing, L"", 0, 0})});
  const std::vector<std::wstring> own = {
      L"Stand-in Makers", L"Stand-in Model 7", L"4A1D3C52-7E0B-4F6A-9C21-5D8E3B7A6F10",
      L"ASSET-0042",      L"STANDIN 1.07",     L"2021-04-15",
      L"Stand-in"};
  std::vector<std::vector<std::wstring>> facts(4, own);
  facts[1][0] = L"'=HYPERLINK(\"x\")\\u009b2J\\u202e";
  facts[1][5] = L"";
  facts[2][3] = L"";
  facts[3][1] = L"";
  const std::vector<std::wstring> names = {L"plain", L"hostile", L"no-enclosure", L"absent"};
  for (const auto& [protocol, enumerate, missing_class] :
       {std::make_tuple(L"dcom", "invoke services InstancesOf method \"Win32_BIOS\"", "0x80041010"),
        std::make_tuple(L"wsman",
                        "wsman-enumerate \"http://schemas.microsoft.com/wbem/wsman/1/"
                        "wmi/root/cimv2/Win32_BIOS\"",
                        "0x80338000")}) {
    ASSERT_TRUE(standin::WriteWholeFile(scratch_.record_path(), ""));
    std::vector<std::wstring> arguments = {L"--protocol", protocol, L"--with", L"all"};
    arguments.insert(arguments.end(), names.begin(), names.end());
    const CompanionRun run = RunCompanion(arguments);
    ASSERT_TRUE(run.finished) << Printable(protocol);
    EXPECT_EQ(run.exit_code, 0u) << "a fact's failure is no row's: " << run.err;
    const CsvOutput output = ReadCompanionCsv(run.out);
    ASSERT_EQ(output.problem, "") << run.out.substr(0, 2000);
    EXPECT_EQ(output.fact_columns.size(), 7u);
    EXPECT_THAT(output.facts, ElementsAreArray(facts)) << Printable(protocol);
    EXPECT_THAT(output.notes, ElementsAreArray({L"virtual", L"virtual", L"placeholder", L""}));
    for (const std::string& line : std::vector<std::string>{
             "      1  gave a placeholder", "      2  gave a virtual machine's",
             "      2  share the serial number \"" + Utf8(vmware) + "\": plain, hostile\r\n",
             "      1  model not read: 0x80020006  Unknown name.\r\n",
             "      1  bios_date not read: 0x80020005  Type mismatch.\r\n",
             std::string("      1  asset_tag not read: ") + missing_class}) {
      EXPECT_THAT(run.err, HasSubstr(line)) << Printable(protocol);
    }
    // One connection a computer, and the BIOS class asked for once by each.
    std::vector<std::string> connections;
    std::vector<std::string> expected;
    for (const std::wstring& name : names) {
      expected.push_back((protocol == std::wstring(L"dcom") ? "bind " : "wsman-session ") +
                         standin::Quoted(name) +
                         (protocol == std::wstring(L"dcom") ? "" : " flags 0"));
    }
    const std::vector<std::string> record = Record();
    std::copy_if(record.begin(), record.end(), std::back_inserter(connections),
                 standin::IsConnectionLine);
    EXPECT_THAT(connections, ::testing::UnorderedElementsAreArray(expected));
    EXPECT_EQ(std::count_if(record.begin(), record.end(),
                            [&](const std::string& line) { return line.rfind(enumerate, 0) == 0; }),
              4)
        << Printable(protocol);
  }
}

}  // namespace
}  // namespace quillmark::companion_endtoend
