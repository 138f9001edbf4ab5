// The command line's promises, and the names its sources give, with list files, standard input and
// the directory served by a fake.
#include "command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "name_gathering.h"
#include "test_name_sources.h"

namespace quillmark::companion {
namespace {

using ::testing::ElementsAre;

std::string Printable(const std::wstring& text) { return testing::PrintToString(text); }

std::wstring WithoutDigits(std::wstring text) {
  text.erase(std::remove_if(text.begin(), text.end(),
                            [](wchar_t unit) { return unit >= L'0' && unit <= L'9'; }),
             text.end());
  return text;
}

// The options, and what their sources gave when read: the computers, or the one line of a usage
// mistake or of a source that cannot be read.
struct Gathered : CompanionOptions {
  ComputerNames computers;
  std::vector<std::wstring> notices;
  std::optional<std::wstring> usage_mistake;
  std::optional<std::wstring> unreadable;
};

Gathered Gather(const std::vector<std::wstring>& arguments, FakeLists& lists) {
  Gathered gathered;
  auto parsed = ParseCommandLine(arguments);
  if (const auto* error = std::get_if<UsageError>(&parsed)) {
    gathered.usage_mistake = error->message;
    return gathered;
  }
  static_cast<CompanionOptions&>(gathered) = std::get<CompanionOptions>(parsed);
  if (gathered.show_usage) return gathered;  // as the program does: help reads nothing
  auto names = GatherNames(gathered.sources, {gathered.directory_filter, gathered.quiet}, lists);
  if (auto* problem = std::get_if<SourceProblem>(&names)) {
    (problem->usage ? gathered.usage_mistake : gathered.unreadable) = problem->message;
  } else {
    gathered.computers = std::move(std::get<GatheredNames>(names).names);
    gathered.notices = std::move(std::get<GatheredNames>(names).notices);
  }
  return gathered;
}

Gathered OptionsOf(const std::vector<std::wstring>& arguments, FakeLists& lists) {
  Gathered gathered = Gather(arguments, lists);
  EXPECT_FALSE(gathered.usage_mistake || gathered.unreadable)
      << testing::PrintToString(gathered.usage_mistake.value_or(gathered.unreadable.value_or(L"")));
  return gathered;
}

TEST(CommandLine, TakesNamesInOrderFromArgumentsAsGivenAndFromTrimmedListLinesOnceEach) {
  FakeLists lists;
  lists.files[L"list \u00E9.txt"] = "\xEF\xBB\xBF PC1 \r\n# old\r\npc3\r\n";
  lists.standard_input = "pc4\n";
  const auto options = OptionsOf({L"pc1", L" spaced ", L"@list \u00E9.txt", L"-", L"PC4"}, lists);
  EXPECT_THAT(options.computers, ElementsAre(L"pc1", L" spaced ", L"pc3", L"pc4"));
}

TEST(CommandLine, ParsesEachKindOfSourceInPlaceAndReadsItOnlyWhenTheNamesAreGathered) {
  using Kind = NameSource::Kind;
  const struct {
    std::wstring argument;
    Kind kind;
    std::wstring text;
    int reads;  // of files and standard input, once gathered
    std::size_t queries;
  } cases[] = {
      {L"pc1", Kind::kName, L"pc1", 0, 0},
      {L"@list.txt", Kind::kFile, L"list.txt", 1, 0},
      {L"@missing.txt", Kind::kFile, L"missing.txt", 1, 0},  // no mistake until it is read
      {L"-", Kind::kStandardInput, L"-", 1, 0},
      {L"LDAP://dc1/OU=Lab,DC=x", Kind::kDirectory, L"LDAP://dc1/OU=Lab,DC=x", 0, 1},
  };
  for (const auto& test : cases) {
    FakeLists lists;
    lists.files[L"list.txt"] = "pc2\r\n";
    lists.standard_input = "pc3";
    lists.directory[L"dc1/OU=Lab,DC=x"] = {{L"pc4"}, std::nullopt};
    const CommandLine parsed = ParseCommandLine({L"first", test.argument});
    ASSERT_TRUE(std::holds_alternative<CompanionOptions>(parsed)) << Printable(test.argument);
    const CompanionOptions& options = std::get<CompanionOptions>(parsed);
    ASSERT_EQ(options.sources.size(), 2u);
    EXPECT_EQ(options.sources[1].kind, test.kind);
    EXPECT_EQ(options.sources[1].text, test.text);
    EXPECT_TRUE(lists.reads == 0 && lists.queries.empty())
        << "the parse read " << Printable(test.text);
    GatherNames(options.sources, {}, lists);
    EXPECT_EQ(lists.reads, test.reads) << Printable(test.argument);
    EXPECT_EQ(lists.queries.size(), test.queries) << Printable(test.argument);
  }
}

TEST(CommandLine, AppliesDefaultsAndReadsValuesGivenEitherWay) {
  FakeLists lists;
  const auto defaults = OptionsOf({L"pc"}, lists);
  EXPECT_EQ(defaults.parallel, kDefaultParallel);
  EXPECT_EQ(defaults.timeout_seconds, kDefaultTimeoutSeconds);
  EXPECT_FALSE(defaults.format || defaults.quiet || defaults.show_usage || defaults.csv_raw ||
               defaults.retry_list || defaults.names_only);
  EXPECT_EQ(defaults.reach_timeout_ms, 1500);
  EXPECT_EQ(defaults.protocol, ProtocolChoice::kAuto);

  const auto given =
      OptionsOf({L"--parallel", L"8", L"--timeout=86400", L"--format=JSON", L"--quiet",
                 L"--parallel=256", L"--reach-timeout", L"0", L"--protocol=WSMan", L"pc"},
                lists);
  EXPECT_EQ(given.parallel, 256);
  EXPECT_EQ(given.timeout_seconds, 86400);
  EXPECT_EQ(given.format, OutputFormat::kJson);
  EXPECT_TRUE(given.quiet);
  EXPECT_EQ(given.reach_timeout_ms, 0);
  EXPECT_EQ(given.protocol, ProtocolChoice::kWsMan);

  const auto more = OptionsOf({L"--format", L"jsonl", L"--csv-raw", L"--retry-list", L"a.txt",
                               L"--retry-list=again.txt", L"pc"},
                              lists);
  EXPECT_TRUE(OptionsOf({L"--names-only", L"pc"}, lists).names_only);
  EXPECT_EQ(defaults.with, AskedFacts{});
  EXPECT_EQ(OptionsOf({L"--with", L" BIOS_date , model", L"pc"}, lists).with,
            (AskedFacts{false, true, false, false, false, true, false}));
  EXPECT_EQ(OptionsOf({L"--with=uuid", L"--with=all", L"pc"}, lists).with,
            (AskedFacts{true, true, true, true, true, true, true}));
  EXPECT_EQ(more.format, OutputFormat::kJsonLines);
  EXPECT_TRUE(more.csv_raw);
  EXPECT_EQ(more.retry_list, L"again.txt");

  // An inventory is a run's computers where no source is given.
  const auto kept =
      std::get<CompanionOptions>(ParseCommandLine({L"--inventory", L"inv.csv", L"--max-age=3650"}));
  EXPECT_EQ(kept.inventory, L"inv.csv");
  EXPECT_EQ(kept.max_age_days, 3650);
}

TEST(CommandLine, PutsEachDirectorySourcesNamesSortedInItsPlaceWithTheLastFilterOptions) {
  FakeLists lists;
  lists.directory[L"dc1/OU=Lab,DC=x"] = {{L"pc2", L"", L"PC1", L"b"}, std::nullopt};
  lists.directory[L"dc1:3389/"] = {{L"z", L"a"}, std::nullopt};
  const auto options =
      OptionsOf({L"b", L"ldap://dc1/OU=Lab,DC=x", L"a", L"--include-disabled", L"LDAP://dc1:3389",
                 L"--active-days=14", L"--quiet", L"--active-days", L"3650"},
                lists);
  EXPECT_THAT(options.computers, ElementsAre(L"b", L"PC1", L"pc2", L"a", L"z"));
  ASSERT_EQ(lists.queries.size(), 2u);
  // The search is the directory's own filter for the options as they stood last (its meaning is
  // the directory's tests'), counted back from the moment of the search.
  const auto now = std::chrono::system_clock::now();
  for (const DirectoryQuery& query : lists.queries) {
    EXPECT_TRUE(query.quiet);
    EXPECT_EQ(WithoutDigits(query.filter), WithoutDigits(ComputerSearchFilter({true, 3650}, now)));
    const std::wstring since = std::to_wstring(DirectoryTime(now - std::chrono::hours(24 * 3650)));
    EXPECT_EQ(query.filter.substr(query.filter.find(L">=") + 2, 6), since.substr(0, 6));
  }
  FakeLists empty;
  empty.directory[L"/OU=None,DC=x"] = {};
  const auto none = OptionsOf({L"LDAP://OU=None,DC=x"}, empty);
  EXPECT_TRUE(none.computers.empty());
  EXPECT_THAT(none.notices, ElementsAre(L"\"LDAP://OU=None,DC=x\" gave no computers"));
  EXPECT_EQ(empty.queries.at(0).filter, ComputerSearchFilter({}, now));
}

constexpr auto kNoSuchObject = static_cast<std::int32_t>(0x80072030);

TEST(CommandLine, ADirectorySourceThatCannotBeReadEndsTheParseWithItsCodeAndHint) {
  FakeLists lists;
  lists.directory[L"dc1/OU=Gone,DC=x\x1b"] = {
      {}, PlatformFailure(kNoSuchObject, L"No such\r\nobject.")};
  const Gathered gathered = Gather({L"pc", L"LDAP://dc1/OU=Gone,DC=x\x1b"}, lists);
  EXPECT_EQ(gathered.unreadable,
            L"cannot read \"LDAP://dc1/OU=Gone,DC=x\\u001b\": error 0x80072030: No such  object. " +
                FailureHint(kNoSuchObject));
  EXPECT_FALSE(FailureHint(kNoSuchObject).empty());
}

TEST(CommandLine, TakesEveryArgumentAfterDoubleDashAsAName) {
  FakeLists lists;
  lists.existing_files = {L"pcs.txt"};
  const auto options =
      OptionsOf({L"--", L"-h", L"@x", L"-", L"--quiet", L"/x", L"a,b", L"pcs.txt"}, lists);
  EXPECT_THAT(options.computers,
              ElementsAre(L"-h", L"@x", L"-", L"--quiet", L"/x", L"a,b", L"pcs.txt"));
  EXPECT_FALSE(options.quiet);
  EXPECT_EQ(lists.reads, 0);
}

TEST(CommandLine, HelpWinsWithoutReadingAnyListAndStandardInputIsReadOnce) {
  for (const wchar_t* help : {L"--help", L"-h", L"-?", L"/?"}) {
    FakeLists lists;
    EXPECT_TRUE(OptionsOf({L"@missing", L"--bogus", help}, lists).show_usage);
    EXPECT_EQ(lists.reads, 0);
  }
  FakeLists lists;
  lists.standard_input = "pc";
  EXPECT_THAT(OptionsOf({L"-", L"-"}, lists).computers, ElementsAre(L"pc"));
  EXPECT_EQ(lists.reads, 1);
}

const std::wstring kFacts =
    L"maker, model, uuid, asset_tag, bios_version, bios_date, bios_maker or all, comma-separated, "
    L"not ";

TEST(UsageErrors, EachSaysInOneLineWhatIsWrongAndWithWhichOptionOrFile) {
  const std::pair<std::vector<std::wstring>, std::wstring> cases[] = {
      {{}, L"no computer names given"},
      {{L"@empty.txt"}, L"no computer names given"},
      {{L"--bogus=1", L"pc"}, L"unknown option \"--bogus\""},
      {{L"-x", L"pc"}, L"unknown option \"-x\""},
      {{L"--quiet=yes", L"pc"}, L"--quiet takes no value"},
      {{L"pc", L"--timeout"}, L"--timeout needs a value"},
      {{L"--parallel", L"0", L"pc"}, L"--parallel needs a whole number from 1 to 256, not \"0\""},
      {{L"--timeout", L"-5", L"pc"}, L"--timeout needs a whole number from 1 to 86400, not \"-5\""},
      {{L"--format", L"xml", L"pc"}, L"--format needs table, csv, json or jsonl, not \"xml\""},
      {{L"--csv-raw=no", L"pc"}, L"--csv-raw takes no value"},
      {{L"pc", L"--retry-list"}, L"--retry-list needs a value"},
      {{L"--retry-list=", L"pc"}, L"--retry-list needs a file name"},
      {{L"--reach-timeout=", L"pc"},
       L"--reach-timeout needs a whole number from 0 to 60000, not \"\""},
      {{L"--reach-timeout", L"60001", L"pc"},
       L"--reach-timeout needs a whole number from 0 to 60000, not \"60001\""},
      {{L"--protocol", L"wmi", L"pc"}, L"--protocol needs auto, dcom or wsman, not \"wmi\""},
      {{L"@"}, L"\"@\" needs a file name after it"},
      {{L"@gone.txt"}, L"cannot read \"gone.txt\": The system cannot find the file specified."},
      {{L"-"}, L"cannot read standard input: The handle is invalid."},
      {{L"pc", L"@bad.txt"}, L"\"bad.txt\" is not valid text: invalid UTF-8 at byte offset 6"},
      {{L"--names-only=1", L"pc"}, L"--names-only takes no value"},
      {{L"--include-disabled=", L"pc"}, L"--include-disabled takes no value"},
      {{L"LDAP://dc1/OU=Lab,DC=x", L"--active-days", L"13"},
       L"--active-days needs at least 14 days, not \"13\": the directory records a computer's "
       L"logon only once in 9 to 14 days"},
      {{L"pc", L"--include-disabled"},
       L"--include-disabled applies to directory sources (LDAP://...), and none is given"},
      {{L"--active-days", L"30", L"@empty.txt"},
       L"--active-days applies to directory sources (LDAP://...), and none is given"},
      {{L"--names-only", L"--retry-list", L"r.txt", L"pc"},
       L"--retry-list cannot apply with --names-only, which looks nothing up"},
      {{L"--format=csv", L"pc", L"--names-only"},
       L"--format cannot apply with --names-only, which looks nothing up"},
      {{L"--active-days=3651", L"pc"},
       L"--active-days needs a whole number from 14 to 3650, not \"3651\""},
      {{L"--max-age", L"7", L"pc"}, L"--max-age needs --inventory FILE"},
      {{L"--inventory=inv.csv", L"--max-age=0"},
       L"--max-age needs a whole number from 1 to 3650, not \"0\""},
      {{L"--inventory="}, L"--inventory needs a file name"},
      {{L"LDAP://dc1/RootDSE"},
       L"\"LDAP://dc1/RootDSE\" is not a directory path: LDAP://DN, LDAP://SERVER/DN, "
       L"LDAP://SERVER or LDAP://"},
      {{L"pcs.txt"},
       L"\"pcs.txt\" is a file: did you mean \"@pcs.txt\"? (A name after -- is taken "
       L"as a name.)"},
      {{L"/node:PC01", L"/format:csv"},
       L"unknown option \"/node:PC01\": give the computers' names themselves (quillmark PC01 "
       L"PC02), "
       L"or @FILE"},
      {{L"pc", L"/format:csv"}, L"unknown option \"/format:csv\": did you mean --format csv?"},
      {{L"pc", L"/Quiet"}, L"unknown option \"/Quiet\": did you mean --quiet?"},
      {{L"pc", L"/x"}, L"unknown option \"/x\": this program's options begin with --"},
      {{L"LDAPS://dc/DC=x"},
       L"\"LDAPS://dc/DC=x\" is not a source this program reads: it reads "
       L"LDAP://DN, LDAP://SERVER/DN, LDAP://SERVER or LDAP://"},
      {{L"GC://dc"},
       L"\"GC://dc\" is not a source this program reads: it reads LDAP://DN, "
       L"LDAP://SERVER/DN, LDAP://SERVER or LDAP://"},
      {{L"ldap:/x"},
       L"\"ldap:/x\" is not a source this program reads: it reads LDAP://DN, "
       L"LDAP://SERVER/DN, LDAP://SERVER or LDAP://"},
      {{L"@cols.csv"},
       L"\"cols.csv\" is CSV with the columns \"Owner\", none of which holds names: "
       L"they are read from a column DNSHostName, computer, Name, ComputerName, "
       L"HostName or cn"},
      {{L"--with", L"maker,serial", L"pc"}, L"--with takes " + kFacts + L"\"serial\""},
      {{L"--with=", L"pc"}, L"--with takes " + kFacts + L"\"\""},
      {{L"--with", L"uuid,,model", L"pc"}, L"--with takes " + kFacts + L"\"\""},
      {{L"--with", L"model, Model", L"pc"}, L"--with names \"model\" twice"},
      {{L"--with", L"all,uuid", L"pc"},
       L"--with all names every fact: give it alone, not in \"all,uuid\""},
  };
  for (const auto& [arguments, message] : cases) {
    FakeLists lists;
    lists.files = {{L"empty.txt", "# none yet\r\n"},
                   {L"bad.txt", "\xEF\xBB\xBFpc\n\xC0\xAF"},
                   {L"cols.csv", "\"Owner\"\r\nann"}};
    lists.existing_files = {L"pcs.txt"};
    EXPECT_EQ(Gather(arguments, lists).usage_mistake, message);
    EXPECT_TRUE(lists.queries.empty()) << "no source is read when the command line is wrong";
  }
}

TEST(Usage, NamesTheProgramEveryOptionAndTheDefaults) {
  for (const wchar_t* phrase : {L"quillmark",
                                L"@FILE",
                                L"--parallel N",
                                L"default 32",
                                L"--timeout S",
                                L"default 30",
                                L"--format F",
                                L"jsonl",
                                L"--csv-raw",
                                L"--retry-list F",
                                L"--quiet",
                                L"/?",
                                L"3 when",
                                L"LDAP://SERVER/DN",
                                L"--include-disabled",
                                L"--active-days N",
                                L"--names-only",
                                L"--inventory FILE",
                                L"--max-age DAYS",
                                L"--with LIST",
                                L"bios_maker"}) {
    EXPECT_NE(UsageText().find(phrase), std::wstring::npos) << testing::PrintToString(phrase);
  }
}

}  // namespace
}  // namespace quillmark::companion
