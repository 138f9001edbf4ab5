// A kept inventory over several runs: what offline computers last said, what changed, a resumed
// run, and a file that another program or another run holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "companion_support.h"
#include "standin_file.h"

namespace quillmark::companion_endtoend {
namespace {

using standin::Serial;
using ::testing::HasSubstr;

using InventoryRuns = CompanionEndToEnd;

const auto kUnavailable = static_cast<HRESULT>(0x800706BA);

// The bindings the stand-in's record shows after its first `from` lines.
std::vector<std::string> BindingsSince(const std::vector<std::string>& record, std::size_t from) {
  std::vector<std::string> binds;
  for (std::size_t at = from; at < record.size(); ++at) {
    if (record[at].rfind("bind ", 0) == 0) binds.push_back(record[at]);
  }
  return binds;
}

TEST_F(InventoryRuns, KeepWhatOfflineComputersLastSaidTellWhatChangedAndResumeWithMaxAge) {
  const FileInScratch file(scratch_, L"inventory.csv", "");
  DeleteFileW(file.path().c_str());  // a missing file is a new inventory
  const auto fail = [](const wchar_t* name) {
    return standin::For(name).Fail(standin::Step::kBind, 1, kUnavailable, standin::Raise::kCode,
                                   L"");
  };
  Use({standin::For(L"pc-a").Member(Serial::Text(L"A")),
       standin::For(L"pc-b").Member(Serial::Text(L"B1")), fail(L"offline"), fail(L"never")});
  const CompanionRun first =
      RunCompanion({L"--inventory", file.path(), L"pc-a", L"pc-b", L"offline", L"never"});
  ASSERT_TRUE(first.finished);
  const InventoryRows before = ReadInventoryFile(file.path());
  ASSERT_EQ(before.size(), 4u) << first.err;
  EXPECT_EQ(before.at("offline").at("code"), "0x800706BA");
  EXPECT_TRUE(std::regex_match(before.at("pc-a").at("last_seen"),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
  EXPECT_THAT(first.err, HasSubstr("      4  new to it"));

  Sleep(1100);  // the second run's times differ from the first's
  Use({standin::For(L"pc-b").Member(Serial::Text(L"B2")),
       standin::For(L"offline").Member(Serial::Text(L"O")), fail(L"never")});
  const CompanionRun second = RunCompanion(
      {L"--inventory", file.path(), L"--with", L"model", L"offline", L"pc-b", L"never"});
  ASSERT_TRUE(second.finished);
  const InventoryRows after = ReadInventoryFile(file.path());
  InventoryRows::mapped_type kept = after.at("pc-a");
  kept.erase("model");  // the column it gained, empty
  EXPECT_EQ(kept, before.at("pc-a")) << "a computer that left the sources is kept as it was";
  EXPECT_EQ(after.at("offline").at("serial"), "O");
  EXPECT_EQ(after.at("offline").at("model"), "Stand-in Model 7")
      << "an asked fact's column is kept";
  EXPECT_EQ(after.at("pc-b").at("previous_serial"), "B1");
  EXPECT_EQ(after.at("pc-b").at("serial_changed"), after.at("pc-b").at("last_seen"));
  EXPECT_GT(after.at("pc-b").at("serial_changed"), before.at("pc-b").at("last_seen"));
  EXPECT_THAT(second.err, HasSubstr("      1  with another serial number than before:\r\n          "
                                    "   pc-b  B1 \xE2\x86\x92 B2\r\n"));
  EXPECT_THAT(second.err, HasSubstr("      1  neither among this run's sources nor looked up"));

  // Resumed: only the computer never seen is contacted.
  const std::size_t recorded = Record().size();
  const CompanionRun resumed = RunCompanion({L"--inventory", file.path(), L"--max-age", L"1"});
  EXPECT_EQ(BindingsSince(Record(), recorded),
            std::vector<std::string>{standin::BindLine(L"never")});
  EXPECT_THAT(resumed.err, HasSubstr("      3  left out by --max-age: seen within 1 day"));
  EXPECT_EQ(ReadInventoryFile(file.path()).at("pc-b"), after.at("pc-b"));
}

TEST_F(InventoryRuns, AFileHeldElsewhereIsRefusedBeforeAnyLookupAndLeftByteForByte) {
  Use({standin::For(L"pc-1").Member(Serial::Text(L"NEW")),
       standin::For(L"slow").Delay(3000).Member(Serial::Text(L"S"))});
  const std::string original = "computer,serial,owner\r\npc-1,OLD,Ann\r\n";
  const FileInScratch file(scratch_, L"inventory.csv", original);
  const FileInScratch kept(scratch_, L"inventory.csv.new", "");
  const auto unchanged = [&] {
    return standin::ReadWholeFile(file.path()).value_or("?") == original;
  };
  const auto held = [&] {
    return UniqueFile(
        CreateFileW(file.path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  };
  const std::vector<std::wstring> arguments = {L"--inventory", file.path(), L"pc-1", L"slow"};
  {
    const UniqueFile spreadsheet = held();
    ASSERT_TRUE(spreadsheet);
    const CompanionRun refused = RunCompanion(arguments);
    EXPECT_EQ(refused.exit_code, 2u);
    EXPECT_THAT(refused.err, HasSubstr("is held open by another program"));
  }
  // A second run while the first waits for its slow computer; then the first is killed.
  RunOptions killed;
  CompanionRun second;
  killed.while_running = [&](DWORD) {
    for (int wait = 0; wait < 300 && standin::LookupCount(Record()) < 2; ++wait) Sleep(50);
    second = RunCompanion(arguments);
    return false;
  };
  EXPECT_FALSE(RunCompanion(arguments, killed).finished);
  EXPECT_EQ(second.exit_code, 2u);
  EXPECT_THAT(second.err, HasSubstr("is in use by another run of quillmark"));
  EXPECT_EQ(standin::LookupCount(Record()), 2u) << "only the first run looked up";
  EXPECT_TRUE(unchanged());

  // Held once the run has started: nothing is replaced, and the merge waits beside the file.
  UniqueFile later;
  RunOptions locked;
  locked.while_running = [&](DWORD) {
    for (int wait = 0; wait < 300 && standin::LookupCount(Record()) < 4; ++wait) Sleep(50);
    later = held();
    return true;
  };
  const CompanionRun third = RunCompanion(arguments, locked);
  later.reset();
  EXPECT_EQ(third.exit_code, 3u);
  EXPECT_THAT(third.err, HasSubstr("could not be replaced"));
  EXPECT_THAT(third.err, HasSubstr("inventory.csv.new"));
  EXPECT_TRUE(unchanged());
  EXPECT_EQ(ReadInventoryFile(kept.path()).at("pc-1").at("owner"), "Ann");

  // The killed run left no lock: the next run writes the inventory, the added column kept.
  const CompanionRun last = RunCompanion(arguments);
  EXPECT_EQ(last.exit_code, 0u) << last.err;
  EXPECT_EQ(ReadInventoryFile(file.path()).at("pc-1").at("serial"), "NEW");
  EXPECT_EQ(ReadInventoryFile(file.path()).at("pc-1").at("owner"), "Ann");
}

}  // namespace
}  // namespace quillmark::companion_endtoend
