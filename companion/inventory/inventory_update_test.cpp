// What a run changes in an inventory: the computers it looks up, each entry its rows touch, and the
// lines it ends with.
#include "inventory_update.h"

#include <gtest/gtest.h>

#include "text_encoding.h"

namespace quillmark::companion {
namespace {

constexpr UtcSeconds kStart = 1796688000;  // 2026-12-08T00:00:00Z
constexpr UtcSeconds kEnded = kStart + 60;
const std::wstring T0 = L"2026-12-08T00:00:00Z", T1 = L"2026-12-08T00:01:00Z";
const std::wstring kSeen = L"2026-12-01T00:00:00Z", kFirst = L"2026-11-01T00:00:00Z";

Inventory Read(const std::string& bytes) { return std::get<Inventory>(ReadInventory(bytes)); }

// The written rows, without the mark and the header.
std::vector<std::wstring> RowsOf(const Inventory& inventory) {
  const std::string text = InventoryText(inventory);
  std::vector<std::wstring> rows;
  for (std::size_t at = text.find("\r\n") + 2, end; at < text.size(); at = end + 2) {
    end = text.find("\r\n", at);
    rows.push_back(std::wstring(text.begin() + static_cast<std::ptrdiff_t>(at),
                                text.begin() + static_cast<std::ptrdiff_t>(end)));
  }
  return rows;
}

std::wstring WithTimes(std::wstring row) {
  for (const auto& [name, time] :
       {std::pair{L"@0", T0}, {L"@1", T1}, {L"@S", kSeen}, {L"@F", kFirst}}) {
    for (std::size_t at; (at = row.find(name)) != std::wstring::npos;) row.replace(at, 2, time);
  }
  return row;
}

LookupRow Ok(std::wstring serial) {
  LookupRow row;
  row.serial = std::move(serial);
  return row;
}
constexpr RowStatus kNotLookedUp = RowStatus::kNotLookedUp;
LookupRow Fail(std::uint32_t code, RowStatus status = RowStatus::kFailed) {
  LookupRow row;
  row.status = status;
  row.code = static_cast<std::int32_t>(code);
  row.description = L"D";
  return row;
}

TEST(InventoryMerge, SetsWhatEachRowTellsAndKeepsWhatAFailureCannot) {
  LookupRow with_facts = Ok(L"A");
  with_facts.facts[FactIndex(Fact::kMaker)] = L"Ambrel";
  with_facts.fact_failures.push_back({Fact::kModel, static_cast<std::int32_t>(0x80041010)});
  AskedFacts maker_and_model{};
  maker_and_model[FactIndex(Fact::kMaker)] = maker_and_model[FactIndex(Fact::kModel)] = true;
  // The rows expected, with the run's start as @0, the computer's end as @1, and the times kept
  // from an earlier run as @S and @F.
  const struct {
    std::size_t computer;  // 0: old-1, kept from an earlier run; 1: new-1
    ComputerRows rows;
    std::wstring row;
    AskedFacts asked = {};
  } cases[] = {
      // The same serial, blanks aside, is no change; another moves the old one aside.
      {0, {Ok(L"A ")}, L"old-1,\"A \",Ann,@1,@F,ok,,,@1,,,@0"},
      {0, {Ok(L"B")}, L"old-1,B,Ann,@1,@F,ok,,,@1,A,@1,@0"},
      // A failure keeps the serial and when it was seen, also after some serials.
      {0, {Fail(0x800706BA)}, L"old-1,A,Ann,@S,@F,failed,0x800706BA,D,@1,,,@0"},
      {0, {Ok(L"B"), Fail(0x80004005)}, L"old-1,A,Ann,@S,@F,failed,0x80004005,D,@1,,,@0"},
      // Several instances, one a line, their own line breaks escaped.
      {0, {Ok(L"B"), Ok(L"C\r\n")}, L"old-1,\"B\nC\\u000d\\u000a\",Ann,@1,@F,ok,,,@1,A,@1,@0"},
      // A computer not looked up was not tried.
      {0, {Fail(1, kNotLookedUp)}, L"old-1,A,Ann,@S,@F,not looked up,0x00000001,D,,,,@0"},
      // New computers, answering or not.
      {1, {Ok(L"N")}, L"new-1,N,,@1,@0,ok,,,@1,,,@0"},
      {1, {Fail(0x800705B4, RowStatus::kTimedOut)}, L"new-1,,,,@0,timed out,0x800705B4,D,@1,,,@0"},
      // The asked facts that were read, each in its column.
      {0, {with_facts}, L"old-1,A,Ann,@1,@F,ok,,,@1,,,@0,Ambrel,", maker_and_model},
  };
  for (const auto& test : cases) {
    Inventory inventory = Read("computer,serial,owner,last_seen,first_seen\r\nold-1,A,Ann," +
                               Utf8FromWide(kSeen + L"," + kFirst) + "\r\n");
    const ComputerNames sources = {L"OLD-1", L"new-1"};
    InventoryUpdate update(inventory, &sources, std::nullopt, test.asked, kStart);
    update.Merge(test.computer, test.rows, kEnded);
    EXPECT_EQ(RowsOf(inventory).at(test.computer), WithTimes(test.row));
  }
}

TEST(InventoryMerge, KeepsEverySerialAsItReadsBack) {
  const ComputerRows rows = {Ok(L"=HYPERLINK(\"x\")"), Ok(L"'=1"),        Ok(L"a\r\nb,\"c\""),
                             Ok(L"\x1b[2J\u202e"),     Ok(L"  padded  "), Ok(L"")};
  for (const wchar_t separator : {L',', L';', L'\t'}) {
    Inventory inventory;
    inventory.separator = separator;
    const ComputerNames sources = {L"pc"};
    InventoryUpdate(inventory, &sources, std::nullopt, AskedFacts{}, kStart).Merge(0, rows, kEnded);
    EXPECT_EQ(Read(InventoryText(inventory)).entries.at(0).serial, SerialField(rows));
  }
}

// The number on the end line that ends with these words.
std::size_t Count(const std::vector<std::wstring>& lines, const std::wstring& words) {
  for (const std::wstring& line : lines) {
    if (line.find(words) != std::wstring::npos) return std::stoul(line);
  }
  return 999;
}

TEST(InventoryRun, LooksUpTheSourcesOrTheInventorysOwnLeavingOutTheRecentlySeen) {
  const struct {
    std::vector<std::wstring> sources;  // none: the inventory's own
    std::optional<int> max_age_days;
    std::vector<std::wstring> looked_up;
    std::size_t added, left_out, outside;
  } cases[] = {
      {{}, std::nullopt, {L"a", L"b", L"c"}, 0, 999, 0},
      {{}, 1, {L"b", L"c"}, 0, 1, 0},
      {{}, 7, {L"b", L"c"}, 0, 1, 0},  // seen exactly seven days ago
      {{}, 8, {L"c"}, 0, 2, 0},
      {{L"C", L"new", L"b", L"B"}, std::nullopt, {L"C", L"new", L"b"}, 1, 999, 1},
      {{L"A", L"new"}, 1, {L"new"}, 1, 1, 2},
  };
  for (const auto& test : cases) {
    Inventory inventory = Read("computer,last_seen\r\na,2026-12-07T12:00:00Z\r\nb," +
                               Utf8FromWide(kSeen) + "\r\nc,\r\n,2026-12-07T00:00:00Z\r\n");
    ComputerNames sources;
    for (const std::wstring& name : test.sources) sources.Add(name);
    InventoryUpdate update(inventory, test.sources.empty() ? nullptr : &sources, test.max_age_days,
                           AskedFacts{}, kStart);
    const ComputerNames looked_up = update.TakeComputers();
    EXPECT_EQ(std::vector<std::wstring>(looked_up.begin(), looked_up.end()), test.looked_up);
    const auto lines = update.Lines(L"inv.csv", kStart);
    EXPECT_EQ(Count(lines, L"new to it"), test.added);
    EXPECT_EQ(Count(lines, L"left out by --max-age"), test.left_out);
    EXPECT_EQ(Count(lines, L"neither among"), test.outside);
    // The listed computers are dated; the inventory's others keep theirs.
    const bool listed_a =
        std::find(test.sources.begin(), test.sources.end(), L"A") != test.sources.end();
    EXPECT_EQ(inventory.entries[0].last_listed.has_value(), listed_a);
  }
}

TEST(InventoryRun, EndsWithTheNewTheChangedTheLeftOutTheUnlistedAndTheStale) {
  std::string text =
      "computer,serial,last_seen\r\nstale,S,2026-11-08T00:00:00Z\r\nrecent,R,2026-12-07T00:00:"
      "00Z\r\n";
  ComputerNames sources;
  for (int number = 1; number <= 11; ++number) {
    text += "pc-" + std::to_string(number) + ",old " + std::to_string(number) +
            ",2026-11-30T00:00:00Z\r\n";
    sources.Add(L"pc-" + std::to_wstring(number));
  }
  sources.Add(L"recent");
  sources.Add(L"new");
  Inventory inventory = Read(text);
  InventoryUpdate update(inventory, &sources, 7, AskedFacts{}, kStart);
  for (std::size_t index = 0; index < 11; ++index)
    update.Merge(index, {Ok(L"new"), Ok(L"two")}, kEnded);
  std::wstring lines;
  for (const std::wstring& line : update.Lines(L"D:\\inv\x1b.csv", kEnded)) lines += line;
  std::wstring changes;
  for (int number = 1; number <= 10; ++number) {
    changes += L"             pc-" + std::to_wstring(number) + L"  old " + std::to_wstring(number) +
               L" \u2192 new, two\r\n";
  }
  EXPECT_EQ(lines,
            L"the inventory \"D:\\inv\\u001b.csv\" holds 14 computers:\r\n      1  new to it\r\n"
            L"     11  with another serial number than before:\r\n" +
                changes +
                L"             and 1 more\r\n      1  left out by --max-age: seen within 7 days\r\n"
                L"      1  neither among this run's sources nor looked up\r\n"
                L"      1  not seen for 30 days or more\r\n");
}

}  // namespace
}  // namespace quillmark::companion
