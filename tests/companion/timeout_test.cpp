// Computers whose service never answers are reported as timed out, and do not hold up the run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "companion_support.h"

namespace quillmark::companion_endtoend {
namespace {

using ::testing::ElementsAreArray;

using Timeouts = CompanionEndToEnd;

TEST_F(Timeouts, HungComputersTimeOutWithTheTimeoutCodeAndTheRunEndsInTime) {
  constexpr int kNames = 16;
  constexpr int kParallel = 4;
  constexpr int kTimeoutSeconds = 2;
  Use({standin::ForPrefix(L"hung-").Hang(),
       standin::ForPrefix(L"fine-").Member(standin::Serial::Text(L"FINE"))});
  std::vector<std::wstring> arguments = {L"--parallel", std::to_wstring(kParallel), L"--timeout",
                                         std::to_wstring(kTimeoutSeconds)};
  std::vector<Row> expected;
  int hung = 0;
  for (int number = 0; number < kNames; ++number) {
    // Hung computers come in runs, so that at times every lookup in flight is a hung one.
    const bool hangs = number % 4 < 2;
    const std::wstring name = (hangs ? L"hung-" : L"fine-") + std::to_wstring(number);
    arguments.push_back(name);
    hung += hangs ? 1 : 0;
    expected.push_back(hangs ? Row{name, L"", L"timed out", L"0x800705B4", L""}
                             : Row{name, L"FINE", L"ok", L"", L""});
  }

  const CompanionRun run = RunCompanion(arguments);
  ASSERT_TRUE(run.finished) << "still running after " << run.wall.count() << " ms";
  EXPECT_EQ(run.exit_code, 1u) << std::hex << run.exit_code;
  // No hung computer may be given up before its timeout, nor the run wait much beyond one
  // timeout for each round of lookups.
  const auto bound = std::chrono::seconds((kNames + kParallel - 1) / kParallel * kTimeoutSeconds);
  EXPECT_GE(run.wall, std::chrono::seconds(kTimeoutSeconds));
  EXPECT_LT(run.wall, bound + std::chrono::seconds(10))
      << "the run took " << run.wall.count() << " ms";
  CsvOutput output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.problem, "") << run.out.substr(0, 2000) << run.err.substr(0, 2000);
  // The contract names no description for a timeout: it is left out of the comparison.
  for (Row& row : output.rows) {
    if (row[2] == L"timed out") row[4].clear();
  }
  EXPECT_THAT(output.rows, ElementsAreArray(expected));

  // The stand-in really hung each of them.
  const std::vector<std::string> record = Record();
  EXPECT_EQ(std::count(record.begin(), record.end(), "hang"), hung);
}

// A service that hangs for every name, whichever computer it is asked about.
TEST_F(Timeouts, EveryWaitHasADeadlineEvenWhenTheServiceHangsForAnyName) {
  constexpr int kParallel = 2;
  constexpr int kTimeoutSeconds = 2;
  Use({standin::PlanBuilder::AnyComputer().Hang()});
  const std::vector<std::wstring> names = {L"pc-1", L"pc-2", L"pc-3", L"pc-4"};
  std::vector<std::wstring> arguments = {L"--parallel", std::to_wstring(kParallel), L"--timeout",
                                         std::to_wstring(kTimeoutSeconds)};
  arguments.insert(arguments.end(), names.begin(), names.end());
  const auto bound = std::chrono::seconds((static_cast<int>(names.size()) + kParallel - 1) /
                                          kParallel * kTimeoutSeconds);
  RunOptions options;
  options.limit = bound + std::chrono::seconds(10);

  const CompanionRun run = RunCompanion(arguments, options);
  ASSERT_TRUE(run.finished) << "still running after " << run.wall.count()
                            << " ms; the service's record:\n"
                            << ::testing::PrintToString(Record());
  EXPECT_EQ(run.exit_code, 1u) << std::hex << run.exit_code;
  CsvOutput output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.problem, "") << run.out.substr(0, 2000);
  std::vector<Row> expected;
  for (const std::wstring& name : names) {
    expected.push_back({name, L"", L"timed out", L"0x800705B4", L""});
  }
  for (Row& row : output.rows) row[4].clear();
  EXPECT_THAT(output.rows, ElementsAreArray(expected));
}

}  // namespace
}  // namespace quillmark::companion_endtoend
