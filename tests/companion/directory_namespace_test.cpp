// Directory sources against real directory servers, inside the private network namespace that
// directory-namespace.sh makes: Samba as the domain controller dc1.samdom.test, whose OU=Fleet
// holds 24 enabled workstations (ws01..ws24) and six odd accounts, read anonymously; and slapd at
// ldap.fleet.test:3389, which holds 1,500 computers and gives at most 1,000 to a search that is
// not paged. Every source names its server, but those that show that a path without one is refused
// on a computer in no domain, as this host is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "companion_support.h"

namespace quillmark::companion_endtoend {
namespace {

using ::testing::ElementsAreArray;

constexpr wchar_t kFleet[] = L"LDAP://dc1.samdom.test/OU=Fleet,DC=samdom,DC=test";

class Directory : public CompanionEndToEnd {
 protected:
  void SetUp() override {
    if (GetEnvironmentVariableW(L"QUILLMARK_DIRECTORY_NAMESPACE", nullptr, 0) == 0) {
      GTEST_SKIP() << "runs only inside the private network namespace that "
                      "directory-namespace.sh makes (the test companion_directory_namespace)";
    }
    CompanionEndToEnd::SetUp();
  }

  // --names-only writes the names, one a line in UTF-8 with CRLF, and nothing else.
  static void ExpectNames(std::vector<std::wstring> arguments,
                          const std::vector<std::wstring>& names) {
    arguments.insert(arguments.begin(), L"--names-only");
    const CompanionRun run = RunCompanion(arguments);
    EXPECT_TRUE(run.finished && run.exit_code == 0) << run.exit_code << " " << run.err;
    EXPECT_EQ(run.err, "");
    std::wstring text;
    for (const std::wstring& name : names) text += name + L"\r\n";
    EXPECT_EQ(run.out, Utf8(text)) << testing::PrintToString(arguments);
  }
};

// The workstations' names, then the odd accounts the case keeps, sorted as Windows sorts names.
std::vector<std::wstring> Fleet(std::vector<std::wstring> before) {
  for (int number = 1; number <= 24; ++number) {
    before.push_back(std::wstring(L"ws") + (number < 10 ? L"0" : L"") + std::to_wstring(number) +
                     L".samdom.test");
  }
  before.push_back(L"\u00C9CLAIR-07");  // no dNSHostName: its cn; sorts after every ASCII name
  return before;
}

TEST_F(Directory, NamesOnlyGivesTheComputersTheFiltersKeepByHostNameOrCnSorted) {
  const struct {
    std::vector<std::wstring> options;
    std::vector<std::wstring> names;
  } cases[] = {
      {{}, Fleet({L"NOHOST1", L"stale01.samdom.test", L"stale02.samdom.test"})},
      {{L"--include-disabled"},
       Fleet({L"NOHOST1", L"old01.samdom.test", L"old02.samdom.test", L"stale01.samdom.test",
              L"stale02.samdom.test"})},
      {{L"--active-days", L"30"}, Fleet({})},
      {{L"--active-days=365", L"--include-disabled"},
       Fleet({L"old01.samdom.test", L"stale01.samdom.test"})},
  };
  for (const auto& test : cases) {
    std::vector<std::wstring> arguments = test.options;
    arguments.push_back(kFleet);
    ExpectNames(arguments, test.names);
  }
  // A slash after the DN ends the path, as after a server.
  ExpectNames({kFleet + std::wstring(L"/")}, cases[0].names);
}

TEST_F(Directory, ASourceThatGivesNoComputersSaysSoAndARunOfNoneIsNoSuccess) {
  const std::wstring empty = L"LDAP://dc1.samdom.test/OU=Empty,OU=Fleet,DC=samdom,DC=test";
  const CompanionRun run = RunCompanion({L"--names-only", empty});
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "quillmark: \"" + Utf8(empty) + "\" gave no computers\r\n");
}

TEST_F(Directory, ALookupRunGivesTheDirectorysComputersRowsInTheSourcesPlace) {
  Use({standin::PlanBuilder::AnyComputer().Member(standin::Serial::Text(L"S"))});
  const CompanionRun run = RunCompanion({L"--format", L"csv", L"first.test", kFleet,
                                         L"WS01.samdom.test", L"ws02.samdom.test.", L"last.test"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u) << run.err;
  const CsvOutput output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.problem, "");
  std::vector<Row> expected;
  for (const std::wstring& name :
       Fleet({L"first.test", L"NOHOST1", L"stale01.samdom.test", L"stale02.samdom.test"})) {
    expected.push_back({name, L"S", L"ok", L"", L""});
  }
  expected.push_back({L"last.test", L"S", L"ok", L"", L""});
  EXPECT_THAT(output.rows, ElementsAreArray(expected));
}

TEST_F(Directory, AServersWholeDomainComesInPagesBeyondItsLimitOfAThousand) {
  std::vector<std::wstring> expected;
  for (int number = 1; number <= 1500; ++number) {
    const std::wstring digits = std::to_wstring(number);
    expected.push_back(L"pc" + std::wstring(6 - digits.size(), L'0') + digits + L".fleet.test");
  }
  ExpectNames({L"LDAP://ldap.fleet.test:3389"}, expected);
}

TEST_F(Directory, ASourceThatCannotBeReadEndsTheRunBeforeAnyLookupWithOneLine) {
  Use({standin::PlanBuilder::AnyComputer().Member(standin::Serial::Text(L"S"))});
  const std::pair<std::wstring, std::string> cases[] = {
      {L"LDAP://dc1.samdom.test/OU=Gone,DC=samdom,DC=test", "error 0x80072030: "},
      {L"LDAP://127.0.0.9/DC=samdom,DC=test", "error 0x8007203A: "},  // nothing listens there
      // This computer belongs to no domain: a path without a server is refused before any bind.
      {L"LDAP://", "error 0x8007054B: "},
      {L"LDAP://OU=Branch Offices,DC=example,DC=com", "error 0x8007054B: "},
  };
  for (const auto& [source, error] : cases) {
    const CompanionRun run = RunCompanion({L"pc1", source});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 2u);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("quillmark: cannot read \"" + Utf8(source) + "\": " + error, 0), 0u)
        << run.err;
    EXPECT_EQ(run.err.find("\r\n"), run.err.size() - 2) << "one line: " << run.err;
  }
  EXPECT_TRUE(Record().empty()) << testing::PrintToString(Record());
}

}  // namespace
}  // namespace quillmark::companion_endtoend
