// The program lives exactly as long as Form1: closing it ends the process cleanly, and what the
// program is started with does not change it.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <ostream>
#include <string>

#include "driver.h"
#include "ui_test_support.h"

namespace quillmark::ui_test {
namespace {

using namespace ui_driver;

class Lifetime : public ProgramTest {};

TEST_F(Lifetime, CloseMessageEndsTheProcessWithExitCodeZero) {
  ASSERT_TRUE(program().PostCloseMessage());
  ExpectEndsWithExitCodeZero();
}

TEST_F(Lifetime, CloseBoxEndsTheProcessWithExitCodeZero) {
  ASSERT_TRUE(program().PostCloseCommand());
  ExpectEndsWithExitCodeZero();
}

TEST_F(Lifetime, AltF4EndsTheProcessWithExitCodeZero) {
  ASSERT_TRUE(SendKey(form1(), VK_F4, {VK_MENU}));
  ExpectEndsWithExitCodeZero();
}

TEST_F(Lifetime, ClosingAfterLookupsAndAFailureStillEndsWithExitCodeZero) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(L".", &box));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  ASSERT_NO_FATAL_FAILURE(LookUp(kUnknownComputer, &box));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  ASSERT_TRUE(program().PostCloseCommand());
  ExpectEndsWithExitCodeZero();
}

TEST_F(Lifetime, SentCloseMessageEndsTheProcessWithExitCodeZero) {
  ASSERT_TRUE(program().SendCloseMessage());
  ExpectEndsWithExitCodeZero();
}

TEST_F(Lifetime, EndOfTheSessionEndsTheProcessWithExitCodeZero) {
  ASSERT_TRUE(program().SendEndSession());
  ExpectEndsWithExitCodeZero();
}

// Closing Form1 while one of its boxes shows: the box goes with it and the process ends.
enum class CloseWay { kPostedClose, kSentClose, kCloseCommand, kEndSession };
struct CloseUnderBox {
  const char* name;
  const wchar_t* computer;  // "." gives a result box, an unknown name the failure report
  CloseWay way;
};

void PrintTo(const CloseUnderBox& param, std::ostream* out) { *out << param.name; }

class ClosingUnderABox : public ProgramTest, public ::testing::WithParamInterface<CloseUnderBox> {
 protected:
  bool Close() {
    switch (GetParam().way) {
      case CloseWay::kPostedClose:
        return program().PostCloseMessage();
      case CloseWay::kSentClose:
        return program().SendCloseMessage();
      case CloseWay::kCloseCommand:
        return program().PostCloseCommand();
      case CloseWay::kEndSession:
        return program().SendEndSession();
    }
    return false;
  }
};

TEST_P(ClosingUnderABox, EndsTheProcessWithExitCodeZeroAndNoBoxLeft) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(GetParam().computer, &box));
  ASSERT_TRUE(Close());
  ExpectEndsWithExitCodeZero();
  EXPECT_FALSE(IsWindow(box)) << "a box outlived the program";
}

INSTANTIATE_TEST_SUITE_P(
    WaysAndBoxes, ClosingUnderABox,
    ::testing::Values(
        CloseUnderBox{"PostedCloseUnderResult", L".", CloseWay::kPostedClose},
        CloseUnderBox{"SentCloseUnderResult", L".", CloseWay::kSentClose},
        CloseUnderBox{"CloseBoxUnderResult", L".", CloseWay::kCloseCommand},
        CloseUnderBox{"SessionEndUnderResult", L".", CloseWay::kEndSession},
        CloseUnderBox{"PostedCloseUnderReport", kUnknownComputer, CloseWay::kPostedClose},
        CloseUnderBox{"SentCloseUnderReport", kUnknownComputer, CloseWay::kSentClose},
        CloseUnderBox{"CloseBoxUnderReport", kUnknownComputer, CloseWay::kCloseCommand},
        CloseUnderBox{"SessionEndUnderReport", kUnknownComputer, CloseWay::kEndSession}),
    [](const ::testing::TestParamInfo<CloseUnderBox>& param_info) {
      return param_info.param.name;
    });

class StartedWithArguments : public ProgramTest {
 protected:
  void SetUp() override {
    LaunchOptions options;
    options.arguments =
        std::wstring(L"nosuchhost.invalid /computer:. -x \"two words\" ") + L"\u00C5ngstr\u00F6m";
    ASSERT_NO_FATAL_FAILURE(Start(options));
  }
};

TEST_F(StartedWithArguments, WindowStartsAsUsual) {
  EXPECT_EQ(TextOf(form1()), kCaption);
  EXPECT_EQ(TextOf(text1()), L"") << "an argument must not fill in the name";
  EXPECT_TRUE(WaitUntil([&] { return program().FocusedWindow() == text1(); }));
  EXPECT_TRUE(program().WaitForIdle()) << "an argument must not start a lookup";
}

TEST_F(StartedWithArguments, LookupAndCloseWorkAsUsual) {
  std::wstring serial;
  ASSERT_NO_FATAL_FAILURE(WitnessSerial(&serial));
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(L".", &box));
  ExpectResultBox(box, serial);
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  ASSERT_TRUE(program().PostCloseCommand());
  ExpectEndsWithExitCodeZero();
}

}  // namespace
}  // namespace quillmark::ui_test
