// The companion against the platform's real management service, run after run in one prefix: many
// first lookups side by side in a new process must each give the answer they give alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "companion_support.h"
#include "driver.h"
#include "platform_failure.h"

namespace quillmark::companion_endtoend {
namespace {

using ::testing::ElementsAre;

TEST(RealService, RunAfterRunEveryRowIsRightAndTheRunEndsCleanly) {
  const std::optional<std::wstring> witness = ui_driver::SerialNumberFromCommandLineClient();
  ASSERT_TRUE(witness.has_value()) << "the command-line client gave no serial number";
  constexpr int kRuns = 30;
  for (int run_number = 1; run_number <= kRuns; ++run_number) {
    SCOPED_TRACE("run " + std::to_string(run_number));
    // The default parallelism, and a deadline far beyond what each of these names takes alone.
    const CompanionRun run = RunCompanion(
        {L"--format", L"csv", L"--timeout", L"20", L".", L"localhost", L"nosuch.invalid"});
    ASSERT_TRUE(run.finished) << "still running after " << run.wall.count() << " ms";
    const CsvOutput output = ReadCompanionCsv(run.out);
    ASSERT_EQ(output.problem, "") << run.out.substr(0, 2000);
    ASSERT_EQ(output.rows.size(), 3u) << run.out.substr(0, 2000);
    EXPECT_THAT(output.rows[0], ElementsAre(L".", *witness, L"ok", L"", L""));
    EXPECT_THAT(output.rows[1], ElementsAre(L"localhost", *witness, L"ok", L"", L""));
    EXPECT_EQ(output.rows[2][2], L"failed");
    EXPECT_EQ(output.rows[2][3], L"0x80041015");
    EXPECT_EQ(run.exit_code, 1u) << std::hex << run.exit_code;
    // On standard error the summary alone: not a word of Wine's crash handler's.
    const std::wstring transport = L"      1  0x80041015  " +
                                   DescribeFailureCode(static_cast<std::int32_t>(0x80041015)) +
                                   L" " + FailureHint(static_cast<std::int32_t>(0x80041015));
    // Wine's serial, "0", is a filler.
    EXPECT_EQ(run.err, "quillmark: 2 of 3 computers answered fully.\r\n" + Utf8(transport) +
                           "\r\n      2  gave a placeholder for a serial number (serial_note "
                           "\"placeholder\"), which tells no computer from another.\r\n");
    if (HasFailure()) return;
  }
}

TEST(RealService, GivesTheComputersFactsAsTheCommandLineClientReadsThem) {
  const std::pair<const wchar_t*, const wchar_t*> sources[] = {
      {L"path Win32_ComputerSystem", L"Manufacturer"},
      {L"path Win32_ComputerSystem", L"Model"},
      {L"path Win32_ComputerSystemProduct", L"UUID"}};
  std::vector<std::wstring> witnessed;
  for (const auto& [source, property] : sources) {
    const std::optional<std::wstring> value =
        test_support::ValueFromCommandLineClient(source, property);
    ASSERT_TRUE(value.has_value()) << Printable(property);
    witnessed.push_back(*value);
  }
  const CompanionRun run =
      RunCompanion({L"--format", L"csv", L"--with", L"model,maker,uuid", L".", L"localhost"});
  ASSERT_TRUE(run.finished) << "still running after " << run.wall.count() << " ms";
  EXPECT_EQ(run.exit_code, 0u) << run.err;
  const CsvOutput output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.problem, "") << run.out.substr(0, 2000);
  EXPECT_THAT(output.facts, ElementsAre(witnessed, witnessed));
  EXPECT_THAT(run.err, ::testing::Not(::testing::HasSubstr("not read"))) << run.err;
}

}  // namespace
}  // namespace quillmark::companion_endtoend
