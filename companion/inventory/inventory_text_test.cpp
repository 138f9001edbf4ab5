// The inventory's CSV as people and spreadsheet programs leave it, read, refused or written back.
#include "inventory_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "inventory_update.h"
#include "text_encoding.h"

namespace quillmark::companion {
namespace {

// What reading gave: the inventory written back, or "LINE: WHAT".
std::string ReadBack(const std::string& bytes) {
  auto read = ReadInventory(bytes);
  if (auto* problem = std::get_if<InventoryProblem>(&read)) {
    return std::to_string(problem->line) + ": " + Utf8FromWide(problem->what);
  }
  return InventoryText(std::get<Inventory>(read));
}

constexpr char kMark[] = "\xEF\xBB\xBF";

TEST(InventoryReading, TakesWhatSpreadsheetsWriteAndWritesItBackInItsOwnSeparator) {
  const std::pair<std::string, std::string> cases[] = {
      // Every field quoted, semicolons, LF, no mark, a line break inside a field, a reformatted
      // time.
      {"\"computer\";\"serial\";\"last_seen\";\"owner\"\n\"pc-1\";\"A\r\nB\";\"2026/12/08 "
       "14:35\";\"Ann; B\"\n",
       std::string(kMark) + "computer;serial;last_seen;owner\r\npc-1;\"A\r\nB\";2026-12-08T14:35:"
                            "00Z;\"Ann; B\"\r\n"},
      // Tabs, the mark, columns and rows in any order, the formula guard kept as it reads.
      {std::string(kMark) + "Serial\tComputer\r\n'=1\tpc-2\r\n''=2\tpc-1\r\n'x\tpc-3\r\n",
       std::string(kMark) + "Serial\tComputer\r\n'=1\tpc-2\r\n''=2\tpc-1\r\n'x\tpc-3\r\n"},
      // Blank lines, short rows, blanks around a name, a row without a computer kept.
      {"computer,serial\r\n\r\n pc-1 \r\n,note\r\npc-2,S",
       std::string(kMark) + "computer,serial\r\npc-1,\r\n,note\r\npc-2,S\r\n"},
      {"", std::string(kMark) + "\r\n"},
      // Refused, with the line.
      {"serial,status\r\nA,ok\r\n",
       "1: it is not an inventory: its first line has no \"computer\" column"},
      {"computer,serial,status,code,description,milliseconds,protocol\r\n",
       "1: it is the output of a run, not an inventory: give --inventory a file of its own"},
      {"computer,Computer\r\n", "1: the column \"computer\" is there twice"},
      {"computer\r\npc-1\r\nPC-1\r\n", "3: the computer \"PC-1\" is there already, on line 2"},
      {"computer\r\npc-1,x,\r\n", "2: 3 fields, more than the 1 columns of the first line"},
      {"computer\r\n\"pc\r\n1\r\n", "2: a quote that is never closed"},
      {"computer\r\npc\r\npc-\xFF\r\n",
       "3: it is not UTF-8 text (byte offset 17): save it as CSV in UTF-8"},
      {"computer,owner,last_seen\r\na,\"x\r\ny\",\r\nb,,2026-02-29\r\n",
       "4: last_seen holds \"2026-02-29\", which is not a time (2026-12-08T14:35:00Z)"},
  };
  for (const auto& [bytes, expected] : cases) {
    EXPECT_EQ(ReadBack(bytes), expected) << bytes;
  }
}

TEST(InventoryTimes, ReadISOAndSpreadsheetFormsAndWriteISOWithSecondsAndZ) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"2026-12-08T14:35:00Z", L"2026-12-08T14:35:00Z"},
      {L" 2026/12/08 14:35:07 ", L"2026-12-08T14:35:07Z"},
      {L"2026-1-8 9:05", L"2026-01-08T09:05:00Z"},
      {L"2024-02-29", L"2024-02-29T00:00:00Z"},
      {L"1970-01-01T00:00:00Z", L"1970-01-01T00:00:00Z"},
      {L"1969-12-31T23:59:59Z", L"1969-12-31T23:59:59Z"},
      {L"2100-02-29", nullptr},
      {L"2026-12-08T24:00:00Z", nullptr},
      {L"12/08/2026 14:35", nullptr},
      {L"2026-12-08T14:35:00+01:00", nullptr},
      {L"2026-12-08T14:35:0", nullptr},
  };
  for (const auto& [text, written] : cases) {
    const auto time = UtcTimeFrom(text);
    EXPECT_EQ(time ? UtcTimeText(*time) : L"", written ? written : L"") << Utf8FromWide(text);
  }
  EXPECT_EQ(UtcTimeFrom(L"1970-01-02T00:00:01Z"), 86401);
}

#ifndef _WIN32  // the spreadsheet program runs on the build machine, beside the native build
// The inventory after a run, through a spreadsheet program's import and CSV export: as it is, and
// re-saved with every field quoted, semicolons and CRLF, as a locale with a decimal comma does.
TEST(InventoryReading, ReadsBackAfterASpreadsheetProgramsExportWithTheAddedColumnKept) {
  Inventory before = std::get<Inventory>(
      ReadInventory("computer,owner\r\npc-1,Ann\r\nr\xC3\xA9seau,\"B, C\"\r\n"));
  const ComputerNames sources = {L"pc-1", L"r\u00e9seau", L"pc-3"};
  InventoryUpdate update(before, &sources, std::nullopt, AskedFacts{}, 1796740500);
  LookupRow answered, other, failed;
  answered.serial = L"SN 1";
  other.serial = L"=2\n\x1b";
  failed.status = RowStatus::kFailed;
  failed.code = static_cast<std::int32_t>(0x800706BA);
  failed.description = L"The RPC server is \"unavailable\".";
  update.Merge(0, {answered, other}, 1796740501);
  update.Merge(1, {failed}, 1796740502);
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / "quillmark-inventory-spreadsheet";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "inventory.csv", std::ios::binary) << InventoryText(before);
  for (const char* options :
       {"", "-T Gnumeric_stf:stf_assistant -O 'separator=; eol=windows quoting-mode=always'"}) {
    const std::string command = "ssconvert " + std::string(options) + " '" +
                                (folder / "inventory.csv").string() + "' '" +
                                (folder / "saved.csv").string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0)
        << "ssconvert (Gnumeric) failed or is missing: bash scripts/setup.sh";
    std::ifstream saved(folder / "saved.csv", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(saved), {}};
    auto read = ReadInventory(bytes);
    ASSERT_TRUE(std::holds_alternative<Inventory>(read))
        << std::get<InventoryProblem>(read).line << bytes;
    Inventory& after = std::get<Inventory>(read);
    AddMissingColumns(after, AskedFacts{});
    EXPECT_EQ(after.separator, *options ? L';' : L',');
    after.separator = L',';
    EXPECT_EQ(InventoryText(after), InventoryText(before)) << bytes;
  }
  std::filesystem::remove_all(folder);
}
#endif

}  // namespace
}  // namespace quillmark::companion
