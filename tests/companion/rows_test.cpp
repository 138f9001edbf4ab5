// Many computers of every behaviour: the right rows for each, in input order, however many at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "companion_support.h"
#include "computer_names.h"
#include "standin_file.h"

namespace quillmark::companion_endtoend {
namespace {

using ::testing::ElementsAreArray;

using Rows = CompanionEndToEnd;

std::vector<std::wstring> NamesOf(const std::vector<standin::Plan>& plans) {
  std::vector<std::wstring> names;
  for (const standin::Plan& plan : plans) names.push_back(plan.computer);
  return names;
}

std::vector<standin::Plan> MixedPlans(int count) {
  std::vector<standin::Plan> plans;
  for (int number = 0; number < count; ++number) plans.push_back(MixedPlan(number));
  return plans;
}

// Every named computer bound exactly once, and nothing of the stand-in left alive. (Bindings of
// names not given are not counted: the companion may load the scheme's handler with one.)
void ExpectEachBoundOnceAndNothingAlive(const std::vector<std::string>& record,
                                        const std::vector<std::wstring>& names) {
  std::multiset<std::string> expected;
  for (const std::wstring& name : names) expected.insert(standin::BindLine(name));
  std::multiset<std::string> binds;
  for (const std::string& line : record) {
    if (expected.count(line) != 0) binds.insert(line);
  }
  EXPECT_TRUE(binds == expected) << "bindings of the computers: " << binds.size()
                                 << ", computers: " << names.size();
  EXPECT_TRUE(standin::NothingAlive(record))
      << "objects of the stand-in are still alive; last: " << (record.empty() ? "" : record.back());
}

TEST_F(Rows, TwoHundredComputersOfEveryBehaviourGiveTheirRowsInInputOrder) {
  const std::vector<standin::Plan> plans = MixedPlans(200);
  Use(plans);
  std::vector<Row> expected;
  for (const standin::Plan& plan : plans) {
    for (Row& row : ExpectedRows(plan.computer, plan)) expected.push_back(std::move(row));
  }

  const CompanionRun run = RunCompanion(NamesOf(plans));
  ASSERT_TRUE(run.finished) << "still running after " << run.wall.count() << " ms";
  EXPECT_EQ(run.exit_code, 1u);
  // No progress on a redirected standard error; the summary alone, never in the output.
  std::size_t answered = 0;
  std::size_t partly = 0;
  for (const standin::Plan& plan : plans) {
    const std::vector<Row> rows = ExpectedRows(plan.computer, plan);
    const auto ok =
        std::count_if(rows.begin(), rows.end(), [](const Row& row) { return row[2] == L"ok"; });
    answered += static_cast<std::size_t>(ok) == rows.size() ? 1u : 0u;
    partly += ok != 0 && static_cast<std::size_t>(ok) < rows.size() ? 1u : 0u;
  }
  ASSERT_NE(partly, 0u);
  EXPECT_THAT(run.err,
              ::testing::StartsWith("quillmark: " + std::to_string(answered) +
                                    " of 200 computers answered fully; " + std::to_string(partly) +
                                    " more gave some serial numbers before failing.\r\n"));
  EXPECT_THAT(run.err, ::testing::Not(::testing::HasSubstr("\r\r")));
  const CsvOutput output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.problem, "") << run.out.substr(0, 2000);
  EXPECT_THAT(output.rows, ElementsAreArray(expected));

  // A delayed computer's row counts the delay.
  for (std::size_t index = 0; index < output.rows.size(); ++index) {
    if (output.rows[index][1].rfind(L"LATE-", 0) == 0) {
      EXPECT_GE(output.milliseconds[index], kMixedDelayMs) << Printable(output.rows[index][0]);
    }
  }
  ExpectEachBoundOnceAndNothingAlive(Record(), NamesOf(plans));
}

// The output without its milliseconds column, as the bytes of each field.
std::vector<std::vector<std::string>> WithoutMilliseconds(const CsvOutput& output) {
  std::vector<std::vector<std::string>> records = output.raw;
  for (std::vector<std::string>& record : records) record.erase(record.begin() + 5);
  return records;
}

TEST_F(Rows, OneAtATimeAndSixtyFourAtOnceGiveTheSameOutputButForTheMilliseconds) {
  std::vector<standin::Plan> plans = MixedPlans(90);
  // Uneven delays finish the computers out of input order when many run at once.
  for (std::size_t index = 0; index < plans.size(); ++index) {
    if (plans[index].delay_ms == 0) plans[index].delay_ms = static_cast<unsigned>(index * 37 % 150);
  }
  Use(plans);
  // Written as the companion writes a list, so that names with blanks read back whole.
  quillmark::companion::ComputerNames given;
  for (const std::wstring& name : NamesOf(plans)) given.Add(name);
  const FileInScratch names(scratch_, L"names.txt",
                            Utf8(quillmark::companion::NameListText(given)));

  std::vector<std::vector<std::vector<std::string>>> outputs;
  for (const std::wstring parallel : {L"1", L"64"}) {
    ASSERT_TRUE(standin::WriteWholeFile(scratch_.record_path(), ""));
    const CompanionRun run = RunCompanion({L"--parallel", parallel, L"@" + names.path()});
    ASSERT_TRUE(run.finished) << "--parallel " << Printable(parallel);
    EXPECT_EQ(run.exit_code, 1u) << "--parallel " << Printable(parallel);
    const CsvOutput output = ReadCompanionCsv(run.out);
    ASSERT_EQ(output.problem, "") << "--parallel " << Printable(parallel);
    EXPECT_GT(output.rows.size(), plans.size());
    outputs.push_back(WithoutMilliseconds(output));
    ExpectEachBoundOnceAndNothingAlive(Record(), NamesOf(plans));
  }
  EXPECT_TRUE(outputs[0] == outputs[1]) << "the outputs differ beyond the milliseconds";
}

}  // namespace
}  // namespace quillmark::companion_endtoend
