// A slow service: the lookup completes, and input given while it waits has no effect.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "endtoend_support.h"

namespace quillmark::endtoend {
namespace {

using standin::For;
using standin::Plan;
using standin::Raise;
using standin::Serial;
using standin::Step;

constexpr unsigned kDelayMs = 3000;

class SlowService : public EndToEnd {
 protected:
  // Starts a lookup of `name` and returns once the service has begun to wait.
  void StartSlowLookup(const std::wstring& name) {
    ASSERT_NO_FATAL_FAILURE(LookUp(name));
    const std::string delay_line = "delay " + std::to_string(kDelayMs);
    ASSERT_TRUE(ui_driver::WaitUntil([&] {
      const std::vector<std::string> record = Record();
      return std::find(record.begin(), record.end(), delay_line) != record.end();
    })) << "the service was not bound";
  }

  // Input that the program's queue receives for Command1: a click and a Space key press.
  void PostClickAndSpace() {
    const LPARAM inside = MAKELPARAM(4, 4);
    EXPECT_TRUE(PostMessageW(command1(), WM_LBUTTONDOWN, MK_LBUTTON, inside));
    EXPECT_TRUE(PostMessageW(command1(), WM_LBUTTONUP, 0, inside));
    EXPECT_TRUE(ui_driver::PostKey(command1(), VK_SPACE));
  }

  // The user's own impatient click on Command1, with the mouse.
  void MouseClickCommand1() { EXPECT_TRUE(ui_driver::MouseClick(command1())); }

  void ExpectOneLookupOnly() {
    EXPECT_EQ(standin::LookupCount(Record()), 1u) << ::testing::PrintToString(Record());
  }
};

TEST_F(SlowService, LookupCompletesAndInputQueuedMeanwhileStartsNoSecondLookup) {
  const Plan plan = For(L"slow").Delay(kDelayMs).Member(Serial::Text(L"SLOW-1"));
  Use({plan});
  ASSERT_NO_FATAL_FAILURE(StartSlowLookup(L"slow"));
  PostClickAndSpace();
  ASSERT_NO_FATAL_FAILURE(ExpectResult(L"SLOW-1"));
  ExpectLookupOver(L"slow", ExpectedCalls(L"slow", plan));
  ExpectOneLookupOnly();
  ExpectFreshSecondLookup(L"slow");
}

TEST_F(SlowService, MouseClickWhileAnEmptyLookupWaitsStartsNoSecondLookup) {
  const Plan plan = For(L"slow-empty").Delay(kDelayMs);
  Use({plan});
  ASSERT_NO_FATAL_FAILURE(StartSlowLookup(L"slow-empty"));
  MouseClickCommand1();
  PostClickAndSpace();
  ExpectLookupOver(L"slow-empty", ExpectedCalls(L"slow-empty", plan));
  ExpectOneLookupOnly();
  EXPECT_TRUE(program().MessageBoxes().empty());
  ExpectFreshSecondLookup(L"slow-empty");
}

TEST_F(SlowService, MouseClickWhileItWaitsDoesNotAnswerTheResultBox) {
  const Plan plan = For(L"slow").Delay(kDelayMs).Member(Serial::Text(L"SLOW-1"));
  Use({plan});
  ASSERT_NO_FATAL_FAILURE(StartSlowLookup(L"slow"));
  MouseClickCommand1();
  ASSERT_NO_FATAL_FAILURE(ExpectResult(L"SLOW-1"));
  ExpectLookupOver(L"slow", ExpectedCalls(L"slow", plan));
  ExpectOneLookupOnly();
}

TEST_F(SlowService, MouseClickWhileItWaitsDoesNotAnswerTheFailureReport) {
  const HRESULT code = static_cast<HRESULT>(0x80041015);
  const Plan plan = For(L"slow-fail")
                        .Delay(kDelayMs)
                        .Fail(Step::kInstancesOf, 1, code, Raise::kExcepInfo, L"Slow and lost.");
  Use({plan});
  ASSERT_NO_FATAL_FAILURE(StartSlowLookup(L"slow-fail"));
  MouseClickCommand1();
  ASSERT_NO_FATAL_FAILURE(ExpectReport(code, L"Slow and lost."));
  ExpectLookupOver(L"slow-fail", ExpectedCalls(L"slow-fail", plan));
  ExpectOneLookupOnly();
}

// Closing Form1 while the lookup waits: the lookup stops, no box is left, and the process ends.
TEST_F(SlowService, CloseMessagePostedWhileItWaitsEndsTheProcessWithExitCodeZero) {
  Use({For(L"slow").Delay(kDelayMs).Member(Serial::Text(L"SLOW-1")).Member(Serial::Text(L"2"))});
  ASSERT_NO_FATAL_FAILURE(StartSlowLookup(L"slow"));
  ASSERT_TRUE(program().PostCloseMessage());
  const std::optional<DWORD> exit_code = program().WaitForExit();
  ASSERT_TRUE(exit_code.has_value()) << "the process lives on after its window closed";
  EXPECT_EQ(*exit_code, 0u);
  EXPECT_TRUE(standin::NothingAlive(standin::LastLookup(Record())))
      << ::testing::PrintToString(Record());
}

TEST_F(SlowService, CloseMessageSentWhileItWaitsEndsTheProcessWithExitCodeZero) {
  Use({For(L"slow-fail")
           .Delay(kDelayMs)
           .Fail(Step::kInstancesOf, 1, static_cast<HRESULT>(0x80041015), Raise::kExcepInfo,
                 L"Slow and lost.")});
  ASSERT_NO_FATAL_FAILURE(StartSlowLookup(L"slow-fail"));
  ASSERT_TRUE(program().SendCloseMessage());
  const std::optional<DWORD> exit_code = program().WaitForExit();
  ASSERT_TRUE(exit_code.has_value()) << "the process lives on after its window closed";
  EXPECT_EQ(*exit_code, 0u);
}

// A call of the service that never returns but dispatches the messages sent meanwhile, as COM's
// modal loop does while it waits on a remote computer: once Form1 is closed there, the process
// ends at once, without waiting for the call.
enum class SentEnd { kClose, kEndSession };

class HungService : public EndToEnd, public ::testing::WithParamInterface<SentEnd> {};

TEST_P(HungService, ClosingForm1DuringTheCallEndsTheProcessWithExitCodeZero) {
  Use({For(L"hung").HangPumping()});
  ASSERT_NO_FATAL_FAILURE(LookUp(L"hung"));
  ASSERT_TRUE(ui_driver::WaitUntil([&] {
    const std::vector<std::string> record = Record();
    return std::find(record.begin(), record.end(), "hang pumping") != record.end();
  })) << ::testing::PrintToString(Record());
  EXPECT_TRUE(GetParam() == SentEnd::kClose ? program().SendCloseMessage()
                                            : program().SendEndSession())
      << "the close was not answered";
  const std::optional<DWORD> exit_code = program().WaitForExit();
  ASSERT_TRUE(exit_code.has_value()) << "the process waits on a call that never returns";
  EXPECT_EQ(*exit_code, 0u);
}

INSTANTIATE_TEST_SUITE_P(SentClosings, HungService,
                         ::testing::Values(SentEnd::kClose, SentEnd::kEndSession),
                         [](const ::testing::TestParamInfo<SentEnd>& param_info) {
                           return param_info.param == SentEnd::kClose ? "Close" : "EndSession";
                         });

// Keys pressed while the program is busy are dropped, Alt+F4 among them: kept, it would dismiss
// the result box unread.
TEST_F(SlowService, AltF4WhileItWaitsNeitherClosesNorAnswersTheResultBox) {
  const Plan plan = For(L"slow").Delay(kDelayMs).Member(Serial::Text(L"SLOW-1"));
  Use({plan});
  ASSERT_NO_FATAL_FAILURE(StartSlowLookup(L"slow"));
  EXPECT_TRUE(ui_driver::SendKey(form1(), VK_F4, {VK_MENU}));
  ASSERT_NO_FATAL_FAILURE(ExpectResult(L"SLOW-1"));
  ExpectLookupOver(L"slow", ExpectedCalls(L"slow", plan));
}

}  // namespace
}  // namespace quillmark::endtoend
