// The README's troubleshooting table is the program's own, row for row.
#include "failure_guide.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform_failure.h"

namespace quillmark {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(TroubleshootingTable, HasARowForEachHintedCodeWithItsDescriptionAndHint) {
  const std::string table = TroubleshootingTable();
  for (const HintedFailure& failure : HintedFailures()) {
    const std::wstring code = FormatFailureCode(failure.code);
    EXPECT_NE(table.find("| `" + std::string(code.begin(), code.end()) + "` | "),
              std::string::npos);
  }
  EXPECT_NE(table.find("| `0x800706BA` | The RPC server is unavailable. | The computer is off"),
            std::string::npos);
}

TEST(TroubleshootingTable, ReplacesOnlyWhatStandsBetweenTheMarkers) {
  const std::string guide =
      std::string("intro\n") + kTableBegins + "\nold rows\n" + kTableEnds + "\nafter\n";
  EXPECT_EQ(WithTroubleshootingTable(guide, "new rows\n"),
            std::string("intro\n") + kTableBegins + "\nnew rows\n" + kTableEnds + "\nafter\n");
  EXPECT_EQ(WithTroubleshootingTable("no markers\n", "rows\n"), "no markers\n");
}

TEST(TroubleshootingTable, TheReadmeCarriesTheProgramsTable) {
  const std::string readme = ReadFile(QUILLMARK_README);
  ASSERT_NE(readme.find(kTableBegins), std::string::npos) << "the README has no table markers";
  EXPECT_EQ(readme, WithTroubleshootingTable(readme, TroubleshootingTable()))
      << "the README's table differs from the program's: run bash scripts/guide.sh";
}

}  // namespace
}  // namespace quillmark
