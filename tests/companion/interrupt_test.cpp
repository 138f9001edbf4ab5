// Ctrl+C, Ctrl+Break and the session's end end a run at once, with the rows of the computers
// already finished.
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
using ::testing::EndsWith;
using ::testing::HasSubstr;

constexpr DWORD kInterruptedExitCode = 0xC000013A;
constexpr unsigned kSlowDelayMs = 60000;
constexpr DWORD kSessionEnd = 0xFFFFFFFF;     // no console event: the session ends
const std::wstring kBigSerial(200000, L'B');  // a row larger than a pipe's buffer

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
  OutputTarget output;     // an unread pipe holds the writer at the first row until the stop
  const wchar_t* format;
};

// Ends the session as logging off does: every top-level window of the desktop hears it, and every
// process with one ends. The companion runs on a desktop of its own for it, away from the console
// window that this test shares with it, which would end, and this test with it.
constexpr wchar_t kSessionDesktop[] = L"quillmark-session-end";
bool EndTheSession() {
  test_support::Launch launch;
  launch.command_line = L"wineboot.exe --end-session --shutdown";  // and no restart after it
  launch.desktop = kSessionDesktop;
  test_support::CaptureOptions capture;
  capture.limit = std::chrono::seconds(30);
  return test_support::RunCaptured(std::move(launch), capture).finished;
}

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
  Use({standin::ForPrefix(L"fast-").Delay(500).Member(standin::Serial::Text(L"F")),
       standin::For(L"slow").Delay(kSlowDelayMs).Member(standin::Serial::Text(L"S")),
       standin::For(L"big").Member(standin::Serial::Text(kBigSerial))});
  const FileInScratch retry(scratch_, L"retry.txt", "");
  const FileInScratch inventory(scratch_, L"inventory.csv", "");
  std::vector<std::wstring> arguments = {
      L"--parallel",       L"16",          L"--retry-list",  retry.path(), L"--format",
      interruption.format, L"--inventory", inventory.path(), L"big"};
  std::vector<Row> expected = {{L"big", kBigSerial, L"ok", L"", L""}};
  for (int number = 1; number <= 8; ++number) {
    const std::wstring name = L"fast-" + std::to_wstring(number);
    arguments.push_back(name);
    expected.push_back({name, L"F", L"ok", L"", L""});
    if (number == 3) arguments.push_back(L"slow");
  }

  RunOptions options;
  options.limit = std::chrono::seconds(45);
  options.own_process_group = interruption.own_process_group;
  options.output = interruption.output;
  if (interruption.event == kSessionEnd) options.desktop = kSessionDesktop;
  bool ready = false;
  DWORD send_error = ERROR_SUCCESS;
  options.while_running = [&](DWORD process_id) {
    ready = WaitForOnlyTheSlowOneLeft(expected.size());
    // Lets the companion take in the last lookup's end, which follows its last release.
    Sleep(1000);
    if (interruption.event == kSessionEnd) return EndTheSession();
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
  if (std::wstring(interruption.format) == L"json") {
    EXPECT_THAT(run.out, EndsWith("}\r\n]\r\n")) << "the array was left open";
    for (const Row& row : expected) {
      EXPECT_THAT(run.out, HasSubstr("{\"computer\": \"" + Utf8(row[0]) + "\", \"serial\": \"" +
                                     Utf8(row[1]) + "\", \"status\": \"ok\""));
    }
  } else {
    const CsvOutput output = ReadCompanionCsv(run.out);
    ASSERT_EQ(output.problem, "") << run.out.substr(0, 1000);
    EXPECT_THAT(output.rows, ElementsAreArray(expected));
  }
  // The computer the stop left unfinished is the one to look up again.
  EXPECT_EQ(standin::ReadWholeFile(retry.path()).value_or("?"), "slow\r\n");
  // The inventory is whole, with every computer that ended; the one left unfinished never tried.
  const InventoryRows kept = ReadInventoryFile(inventory.path());
  ASSERT_EQ(kept.size(), expected.size() + 1);
  for (const Row& row : expected) EXPECT_EQ(kept.at(Utf8(row[0])).at("serial"), Utf8(row[1]));
  EXPECT_EQ(kept.at("slow").at("last_tried"), "");
}

INSTANTIATE_TEST_SUITE_P(
    Events, Interrupts,
    ::testing::Values(
        Interruption{"CtrlC", CTRL_C_EVENT, false, OutputTarget::kFile, L"csv"},
        Interruption{"CtrlBreak", CTRL_BREAK_EVENT, true, OutputTarget::kFile, L"csv"},
        Interruption{"CtrlCWhileWriting", CTRL_C_EVENT, false, OutputTarget::kUnreadPipe, L"csv"},
        Interruption{"SessionEnd", kSessionEnd, false, OutputTarget::kFile, L"json"}),
    [](const ::testing::TestParamInfo<Interruption>& param_info) {
      return std::string(param_info.param.label);
    });

}  // namespace
}  // namespace quillmark::companion_endtoend
