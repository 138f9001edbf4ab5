// A click on Command1 looks up the named computer's serial number and shows it in one box owned by
// Form1; afterwards Form1 is ready again with the name kept.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "driver.h"
#include "ui_test_support.h"

namespace quillmark::ui_test {
namespace {

using namespace ui_driver;

class Lookup : public ProgramTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp());
    ASSERT_NO_FATAL_FAILURE(WitnessSerial(&serial_));
  }
  std::wstring serial_;
};

TEST_F(Lookup, ThisComputerShowsOneBoxOwnedByForm1WithPromptAndSerial) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(L".", &box));
  ExpectResultBox(box, serial_);
  Dismiss(box);
}

TEST_F(Lookup, Form1TakesNoInputWhileTheBoxShows) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(L".", &box));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(form1()); }))
      << "Form1 stays enabled under its box";
  Dismiss(box);
}

TEST_F(Lookup, AfterOkForm1IsIdleAndEnabledWithTheNameKept) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(L".", &box));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  EXPECT_TRUE(IsWindowEnabled(form1()));
  EXPECT_TRUE(program().MessageBoxes().empty()) << "one box per lookup of this computer";
  EXPECT_EQ(TextOf(text1()), L".");
}

TEST_F(Lookup, TwoLookupsInARowEachShowOneBox) {
  for (int lookup = 1; lookup <= 2; ++lookup) {
    SCOPED_TRACE(lookup);
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(LookUp(L".", &box));
    ExpectResultBox(box, serial_);
    ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  }
  EXPECT_EQ(TextOf(text1()), L".");
}

TEST_F(Lookup, SameNameTwiceWithoutRetypingIt) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(L".", &box));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  ASSERT_NO_FATAL_FAILURE(ClickLookup(&box));
  ExpectResultBox(box, serial_);
  Dismiss(box);
}

TEST_F(Lookup, EmptyNameAtStartRunsALookupOfThisComputer) {
  ASSERT_EQ(TextOf(text1()), L"");
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(ClickLookup(&box));
  ExpectResultBox(box, serial_);
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  EXPECT_EQ(TextOf(text1()), L"");
}

TEST_F(Lookup, LocalhostNamesThisComputer) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(L"localhost", &box));
  ExpectResultBox(box, serial_);
  Dismiss(box);
}

TEST_F(Lookup, MouseClickOnTheButtonRunsALookup) {
  ASSERT_TRUE(SetTextOf(text1(), L"."));
  ASSERT_TRUE(MouseClick(command1()));
  HWND box = program().WaitForMessageBox();
  ASSERT_NE(box, nullptr) << "the click started no lookup";
  ExpectResultBox(box, serial_);
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  EXPECT_EQ(TextOf(text1()), L".");
}

TEST_F(Lookup, FocusReturnsToForm1AfterTheBox) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(L".", &box));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  // The click left the focus on the button; the box must not take it away from Form1.
  EXPECT_TRUE(WaitUntil([&] { return program().FocusedWindow() == command1(); }))
      << "focus is on " << program().FocusedWindow();
}

}  // namespace
}  // namespace quillmark::ui_test
