// The stand-in's line format: escaping is reversible and a script reads back as written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "standin_harness.h"
#include "standin_script.h"
#include "standin_text.h"

namespace standin {
namespace {

using ::testing::ElementsAre;

TEST(StandinEscaping, KeepsPrintableAsciiAndMarksEverythingElse) {
  EXPECT_EQ(Escape(L" pc 1 "), " pc 1 ");
  EXPECT_EQ(Escape(L"\\\\pc"), "\\\\\\\\pc");
  EXPECT_EQ(Escape(L"a\tb\"c"), "a\\u{9}b\\u{22}c");
  EXPECT_EQ(Escape(L"caf\u00e9"), "caf\\u{E9}");
  EXPECT_EQ(Escape(L"\U0001F600"), "\\u{1F600}");
}

TEST(StandinEscaping, ReadsBackWhatItWrote) {
  const std::wstring texts[] = {L"",
                                L"  blanks  ",
                                L"\\//\\",
                                L"caf\u00e9 \u65e5\u672c",
                                L"\U0001F600",
                                L"tab\there",
                                std::wstring(1, L'\xD800')};
  for (const std::wstring& text : texts) {
    EXPECT_EQ(Unescape(Escape(text)), text) << Escape(text);
  }
}

TEST(StandinEscaping, RefusesMalformedText) {
  EXPECT_FALSE(Unescape("trailing\\"));
  EXPECT_FALSE(Unescape("\\q"));
  EXPECT_FALSE(Unescape("\\u{}"));
  EXPECT_FALSE(Unescape("\\u{110000}"));
  EXPECT_FALSE(Unescape("\\u{12"));
}

TEST(StandinLines, SplitsFieldsAtEveryTabAndLinesAtEveryNewline) {
  EXPECT_THAT(SplitFields("a\t\tb"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitLines("one\r\ntwo\n\nthree"), ElementsAre("one", "two", "", "three"));
}

TEST(StandinScript, ReadsBackWhatItWrote) {
  Script script;
  Plan plan;
  plan.computer = L" pc\u00e9 ";
  plan.delay_ms = 250;
  plan.members = {Serial::Text(L" A1 "), Serial::Null(), Serial::Empty(), Serial::Integer(-42),
                  Serial::Real(1.5)};
  plan.failures = {{Step::kSerialNumber, 2, static_cast<HRESULT>(0x80041001), Raise::kErrorInfo,
                    L"Generic failure \u00e9"}};
  script.plans.push_back(plan);
  Plan star;
  star.computer = L"*";
  script.plans.push_back(star);
  Plan any;
  any.any_computer = true;
  script.plans.push_back(any);

  const Script read = ParseScript(FormatScript(script));
  ASSERT_EQ(read.plans.size(), 3u);
  EXPECT_EQ(read.plans[0].computer, plan.computer);
  EXPECT_EQ(read.plans[0].delay_ms, 250u);
  ASSERT_EQ(read.plans[0].members.size(), 5u);
  EXPECT_EQ(read.plans[0].members[0].text, L" A1 ");
  EXPECT_EQ(read.plans[0].members[1].kind, Serial::Kind::kNull);
  EXPECT_EQ(read.plans[0].members[2].kind, Serial::Kind::kEmpty);
  EXPECT_EQ(read.plans[0].members[3].integer, -42);
  EXPECT_EQ(read.plans[0].members[4].real, 1.5);
  ASSERT_EQ(read.plans[0].failures.size(), 1u);
  EXPECT_EQ(read.plans[0].failures[0].code, static_cast<HRESULT>(0x80041001));
  EXPECT_EQ(read.plans[0].failures[0].description, L"Generic failure \u00e9");
  EXPECT_EQ(read.Find(L"*"), &read.plans[1]);
  EXPECT_EQ(read.Find(L"other"), &read.plans[2]);
}

TEST(StandinScript, ReadsBackPrefixesHangsAndNamesEndingInAStar) {
  Script script;
  script.plans = {For(L"bench-").Hang(), ForPrefix(L"bench-").Delay(5),
                  ForPrefix(L"\\caf\u00e9").Member(Serial::Text(L"P")), For(L"ends*"),
                  PlanBuilder::AnyComputer()};
  const std::string text = FormatScript(script);
  EXPECT_THAT(SplitLines(text),
              ElementsAre("computer\tbench-", "hang", "computer\tbench-*", "delay\t5",
                          "computer\t\\\\caf\\u{E9}*", "member\ttext\tP", "computer\tends\\u{2A}",
                          "computer\t*"));
  const Script read = ParseScript(text);
  ASSERT_EQ(read.plans.size(), 5u);
  EXPECT_TRUE(read.plans[0].hang);
  EXPECT_FALSE(read.plans[0].computer_prefix);
  EXPECT_FALSE(read.plans[1].hang);
  EXPECT_TRUE(read.plans[1].computer_prefix);
  EXPECT_EQ(read.plans[1].computer, L"bench-");
  EXPECT_EQ(read.plans[2].computer, L"\\caf\u00e9");
  EXPECT_TRUE(read.plans[2].computer_prefix);
  EXPECT_EQ(read.plans[3].computer, L"ends*");
  EXPECT_FALSE(read.plans[3].computer_prefix);
  EXPECT_TRUE(read.plans[4].any_computer);
  EXPECT_THROW(ParseScript("computer\tpc\nhang\tforever\n"), ScriptError);
}

TEST(StandinScript, ReadsBackAHangThatPumpsApartFromOneThatDoesNot) {
  Script script;
  script.plans = {For(L"pumps").HangPumping(), For(L"still").Hang()};
  const std::string text = FormatScript(script);
  EXPECT_THAT(SplitLines(text),
              ElementsAre("computer\tpumps", "hang\tpumping", "computer\tstill", "hang"));
  const Script read = ParseScript(text);
  ASSERT_EQ(read.plans.size(), 2u);
  EXPECT_TRUE(read.plans[0].hang && read.plans[0].pump);
  EXPECT_TRUE(read.plans[1].hang && !read.plans[1].pump);
}

TEST(StandinScript, FindsTheExactNameFirstThenTheLongestPrefixThenAnyName) {
  Script script;
  script.plans = {ForPrefix(L"pc-"),  PlanBuilder::AnyComputer(), For(L"pc-1"),
                  ForPrefix(L"pc-1"), ForPrefix(L"pc-1"),         For(L"star*"),
                  ForPrefix(L"PC-")};
  const auto found = [&](const std::wstring& name) {
    const Plan* plan = script.Find(name);
    return plan == nullptr ? -1 : static_cast<int>(plan - script.plans.data());
  };
  EXPECT_EQ(found(L"pc-1"), 2);   // its own plan, though two prefixes match too
  EXPECT_EQ(found(L"pc-10"), 3);  // the longer prefix; of two equal ones, the first
  EXPECT_EQ(found(L"pc-2"), 0);
  EXPECT_EQ(found(L"PC-2"), 6);  // names are compared exactly, case included
  EXPECT_EQ(found(L"pc"), 1);
  EXPECT_EQ(found(L"star*"), 5);
  EXPECT_EQ(found(L"starry"), 1);
  EXPECT_EQ(found(L""), 1);
  script.plans.erase(script.plans.begin() + 1);
  EXPECT_EQ(found(L"pc"), -1);
}

TEST(StandinScript, NamesTheLineOfAMistake) {
  EXPECT_THROW(ParseScript("delay\t5\n"), ScriptError);
  EXPECT_THROW(ParseScript("computer\tpc\nmember\tcolour\tred\n"), ScriptError);
  EXPECT_THROW(ParseScript("computer\tpc\nfail\tNext\t1\t80004005\texcepinfo\tx\n"), ScriptError);
  try {
    ParseScript("computer\tpc\n\nbogus\n");
    FAIL() << "a bad directive was accepted";
  } catch (const ScriptError& error) {
    EXPECT_THAT(error.what(), ::testing::HasSubstr("line 3"));
  }
}

}  // namespace
}  // namespace standin
