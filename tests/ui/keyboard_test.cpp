// Form1 from the keyboard: where the focus starts, Tab between the two controls, and the keys that
// must not start a lookup.
#include <gtest/gtest.h>
#include <windows.h>

#include "driver.h"
#include "ui_test_support.h"

namespace quillmark::ui_test {
namespace {

using namespace ui_driver;

class Form1Keyboard : public ProgramTest {
 protected:
  // Waits for the focus to reach the window, then reports where it is.
  HWND FocusAfterReaching(HWND expected) {
    WaitUntil([&] { return program().FocusedWindow() == expected; });
    return program().FocusedWindow();
  }

  // After the keys under test, types a marker: once it shows in Text1, every key before it has
  // been handled, so any box they opened would be there.
  void ExpectNoLookupAfterTheKeys() {
    ASSERT_TRUE(SendText(text1(), L"x"));
    ASSERT_TRUE(WaitUntil([&] { return TextOf(text1()) == L"x"; }))
        << "the marker never reached Text1 (" << Printable(TextOf(text1())) << "); "
        << program().MessageBoxes().size() << " box(es) shown";
    EXPECT_TRUE(program().WaitForIdle()) << "Form1 should stay idle, with no box";
    EXPECT_TRUE(program().MessageBoxes().empty());
  }
};

TEST_F(Form1Keyboard, FocusStartsInTheTextBox) { EXPECT_EQ(FocusAfterReaching(text1()), text1()); }

TEST_F(Form1Keyboard, TabMovesFocusFromTheTextBoxToTheButtonAndBack) {
  ASSERT_EQ(FocusAfterReaching(text1()), text1());
  ASSERT_TRUE(SendKey(form1(), VK_TAB));
  EXPECT_EQ(FocusAfterReaching(command1()), command1());
  ASSERT_TRUE(SendKey(form1(), VK_TAB));
  EXPECT_EQ(FocusAfterReaching(text1()), text1()) << "the label takes no focus";
}

TEST_F(Form1Keyboard, ShiftTabMovesFocusBetweenTheSameTwoControls) {
  ASSERT_EQ(FocusAfterReaching(text1()), text1());
  ASSERT_TRUE(SendKey(form1(), VK_TAB, {VK_SHIFT}));
  EXPECT_EQ(FocusAfterReaching(command1()), command1());
  ASSERT_TRUE(SendKey(form1(), VK_TAB, {VK_SHIFT}));
  EXPECT_EQ(FocusAfterReaching(text1()), text1());
}

TEST_F(Form1Keyboard, PostedTabMovesFocusToTheButton) {
  ASSERT_EQ(FocusAfterReaching(text1()), text1());
  ASSERT_TRUE(PostKey(text1(), VK_TAB));
  EXPECT_EQ(FocusAfterReaching(command1()), command1());
}

TEST_F(Form1Keyboard, EnterInTheTextBoxStartsNoLookup) {
  ASSERT_EQ(FocusAfterReaching(text1()), text1());
  ASSERT_TRUE(SendKey(text1(), VK_RETURN));
  ExpectNoLookupAfterTheKeys();
}

TEST_F(Form1Keyboard, EscInTheTextBoxStartsNoLookupAndKeepsTheWindow) {
  ASSERT_EQ(FocusAfterReaching(text1()), text1());
  ASSERT_TRUE(SendKey(text1(), VK_ESCAPE));
  ExpectNoLookupAfterTheKeys();
  EXPECT_TRUE(program().running());
  EXPECT_TRUE(IsWindowVisible(form1()));
}

TEST_F(Form1Keyboard, PostedEnterAndEscStartNoLookup) {
  ASSERT_EQ(FocusAfterReaching(text1()), text1());
  ASSERT_TRUE(PostKey(text1(), VK_RETURN));
  ASSERT_TRUE(PostKey(text1(), VK_ESCAPE));
  ExpectNoLookupAfterTheKeys();
}

TEST_F(Form1Keyboard, SpaceOnTheFocusedButtonRunsALookup) {
  ASSERT_TRUE(SetTextOf(text1(), L"."));
  ASSERT_TRUE(SendKey(form1(), VK_TAB));
  ASSERT_EQ(FocusAfterReaching(command1()), command1());
  ASSERT_TRUE(SendKey(command1(), VK_SPACE));
  HWND box = program().WaitForMessageBox();
  ASSERT_NE(box, nullptr) << "Space on the focused button should click it";
  std::wstring serial;
  ASSERT_NO_FATAL_FAILURE(WitnessSerial(&serial));
  ExpectResultBox(box, serial);
  Dismiss(box);
}

TEST_F(Form1Keyboard, EnterOnTheFocusedButtonRunsALookup) {
  ASSERT_TRUE(SetTextOf(text1(), L"."));
  ASSERT_TRUE(SendKey(form1(), VK_TAB));
  ASSERT_EQ(FocusAfterReaching(command1()), command1());
  ASSERT_TRUE(SendKey(command1(), VK_RETURN));
  HWND box = program().WaitForMessageBox();
  ASSERT_NE(box, nullptr) << "Enter on the focused button should click it";
  std::wstring serial;
  ASSERT_NO_FATAL_FAILURE(WitnessSerial(&serial));
  ExpectResultBox(box, serial);
  Dismiss(box);
}

}  // namespace
}  // namespace quillmark::ui_test
