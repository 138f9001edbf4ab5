// Ctrl+C and Ctrl+Break end a run at once, with the rows of the computers already finished.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "companion_support.h"
#include "standin_file.h"

namespace quillmark::companion_endtoend {
namespace {

using ::testing::ElementsAreArray;

constexpr DWORD kInterruptedExitCode = 0xC000013A;
constexpr unsigned kSlowDelayMs = 60000;

// The test shares its console with the companion, so an event for the whole console reaches the
// test too; it must survive it.
BOOL WINAPI SurviveControlEvents(DWORD control) noexcept {
  return control == CTRL_C_EVENT || control == CTRL_BREAK_EVENT;
}

// Console control events travel only through a console that this process and the companion share.
// The test makes one of its own, once: an event for the whole console then reaches no process but
// these two (not the test runner), and under Wine, where a program started without a terminal has
// a console handle but no console that events can be sent through, it is the only way. Ctrl+C is
// not ignored here, as the companion would inherit that; a handler lets the test survive it.
::testing::AssertionResult ShareAConsoleWithChildren() {
  static const std::string problem = []() -> std::string {
    FreeConsole();
    if (!AllocConsole()) return "no console of its own, error " + std::to_string(GetLastError());
    if (!SetConsoleCtrlHandler(SurviveControlEvents, TRUE)) {
      return "no control handler, error " + std::to_string(GetLastError());
    }
    return {};
  }();
  if (!problem.empty()) return ::testing::AssertionFailure() << problem;
  return ::testing::AssertionSuccess();
}

struct Interruption {
  const char* label;
  DWORD event;
  bool own_process_group;  // Ctrl+Break goes to the companion's own group, Ctrl+C to the console
};

class Interrupts : public CompanionEndToEnd, public ::testing::WithParamInterface<Interruption> {
 protected:
  // Waits until every fast computer's lookup is over and the slow one waits in its binding.
  bool WaitForOnlyTheSlowOneLeft(std::size_t fast) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const auto count = [](const std::vector<std::string>& record, const char* line) {
      return static_cast<std::size_t>(std::count(record.begin(), record.end(), line));
    };
    while (std::chrono::steady_clock::now() < deadline) {
      const std::vector<std::string> record = Record();
      if (count(record, "gone collection") == fast && count(record, "gone enumerator") == fast &&
          count(record, "gone member1") == fast &&
          count(record, ("delay " + std::to_string(kSlowDelayMs)).c_str()) == 1) {
        return true;
      }
      Sleep(50);
    }
    return false;
  }
};

TEST_P(Interrupts, EndTheRunWithTheInterruptCodeAndTheRowsOfTheComputersFinished) {
  const Interruption& interruption = GetParam();
  ASSERT_TRUE(ShareAConsoleWithChildren());
  Use({standin::ForPrefix(L"fast-").Member(standin::Serial::Text(L"F")),
       standin::For(L"slow").Delay(kSlowDelayMs).Member(standin::Serial::Text(L"S"))});
  const FileInScratch retry(scratch_, L"retry.txt", "");
  std::vector<std::wstring> arguments = {L"--parallel", L"2", L"--retry-list", retry.path()};
  std::vector<Row> expected;
  for (int number = 1; number <= 8; ++number) {
    const std::wstring name = L"fast-" + std::to_wstring(number);
    arguments.push_back(name);
    expected.push_back({name, L"F", L"ok", L"", L""});
    if (number == 3) arguments.push_back(L"slow");
  }

  RunOptions options;
  options.limit = std::chrono::seconds(45);
  options.own_process_group = interruption.own_process_group;
  bool ready = false;
  DWORD send_error = ERROR_SUCCESS;
  options.while_running = [&](DWORD process_id) {
    ready = WaitForOnlyTheSlowOneLeft(expected.size());
    // Lets the companion take in the last lookup's end, which follows its last release.
    Sleep(1000);
    const DWORD group = interruption.own_process_group ? process_id : 0;
    if (GenerateConsoleCtrlEvent(interruption.event, group)) return true;
    send_error = GetLastError();
    return false;  // nothing else will end it
  };
  const CompanionRun run = RunCompanion(arguments, options);
  if (send_error != ERROR_SUCCESS) {
    GTEST_SKIP() << "this system cannot deliver " << interruption.label
                 << ": GenerateConsoleCtrlEvent fails with error " << send_error;
  }
  ASSERT_TRUE(ready) << "the fast lookups did not end; record:\n"
                     << ::testing::PrintToString(Record());
  ASSERT_TRUE(run.finished) << "the companion did not end after " << interruption.label;
  EXPECT_EQ(run.exit_code, kInterruptedExitCode) << std::hex << run.exit_code;
  EXPECT_LT(run.wall, std::chrono::milliseconds(kSlowDelayMs / 2))
      << "the run waited for the slow computer";
  const CsvOutput output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.problem, "") << run.out;
  EXPECT_THAT(output.rows, ElementsAreArray(expected));
  // The computer the stop left unfinished is the one to look up again.
  EXPECT_EQ(standin::ReadWholeFile(retry.path()).value_or("?"), "slow\r\n");
}

INSTANTIATE_TEST_SUITE_P(Events, Interrupts,
                         ::testing::Values(Interruption{"CtrlC", CTRL_C_EVENT, false},
                                           Interruption{"CtrlBreak", CTRL_BREAK_EVENT, true}),
                         [](const ::testing::TestParamInfo<Interruption>& param_info) {
                           return std::string(param_info.param.label);
                         });

}  // namespace
}  // namespace quillmark::companion_endtoend
