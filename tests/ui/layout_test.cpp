// Form1's layout as the running program shows it: caption, frame, position, and its controls.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <vector>

#include "driver.h"
#include "ui_test_support.h"

namespace quillmark::ui_test {
namespace {

using namespace ui_driver;

// Reading the layout changes nothing, so one program serves the whole suite.
class Form1Layout : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    program_.emplace(Program::Launch());
    program_->WaitForMainWindow();
  }
  static void TearDownTestSuite() {
    if (program_ && program_->PostCloseMessage()) program_->WaitForExit();
    program_.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(program_.has_value());
    ASSERT_NE(form1(), nullptr) << "Form1 never appeared";
    ASSERT_EQ(ScreenDpi(), 96) << "the pixel figures here hold at 96 dots per inch";
  }

  static HWND form1() { return program_->main_window(); }
  static HWND text1() { return program_->text_box(); }
  static HWND command1() { return program_->lookup_button(); }
  static HWND label1() { return program_->label(); }

  static std::optional<Program> program_;
};

std::optional<Program> Form1Layout::program_;

TEST_F(Form1Layout, CaptionIsTheProgramName) {
  EXPECT_EQ(TextOf(form1()), kCaption) << Printable(TextOf(form1()));
  EXPECT_EQ(ClassNameOf(form1()), L"QuillmarkLookupWindow");
}

TEST_F(Form1Layout, ClientAreaIs296By121Pixels) {
  EXPECT_EQ(ToPixelRect(ClientRectOf(form1())), (PixelRect{0, 0, 296, 121}));
}

TEST_F(Form1Layout, FrameHasCaptionAndCloseBoxButNoMinimizeMaximizeOrSizingBorder) {
  const LONG style = StyleOf(form1());
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & WS_SYSMENU, WS_SYSMENU);
  EXPECT_EQ(style & WS_MINIMIZEBOX, 0);
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
  EXPECT_EQ(style & WS_THICKFRAME, 0);
  EXPECT_EQ(style & WS_CHILD, 0);
  EXPECT_TRUE(IsWindowVisible(form1()));
  EXPECT_FALSE(IsZoomed(form1()));
  EXPECT_FALSE(IsIconic(form1()));
}

TEST_F(Form1Layout, EdgesOfTheFrameDoNotResize) {
  const RECT outer = WindowRectOf(form1());
  const int middle_x = (outer.left + outer.right) / 2;
  const int middle_y = (outer.top + outer.bottom) / 2;
  const POINT edges[] = {{outer.left, middle_y},
                         {outer.right - 1, middle_y},
                         {middle_x, outer.bottom - 1},
                         {outer.right - 1, outer.bottom - 1}};
  for (const POINT& edge : edges) {
    DWORD_PTR hit = 0;
    ASSERT_TRUE(SendMessageTimeoutW(form1(), WM_NCHITTEST, 0, MAKELPARAM(edge.x, edge.y),
                                    SMTO_ABORTIFHUNG, 10000, &hit));
    EXPECT_TRUE(hit < HTSIZEFIRST || hit > HTSIZELAST)
        << "the point " << edge.x << "," << edge.y << " hits sizing area " << hit;
  }
}

TEST_F(Form1Layout, WindowIsCentredOnTheScreen) {
  const PixelRect outer = ToPixelRect(WindowRectOf(form1()));
  const int screen_width = GetSystemMetrics(SM_CXSCREEN);
  const int screen_height = GetSystemMetrics(SM_CYSCREEN);
  // Halving an odd difference may put the window half a pixel either way.
  EXPECT_NEAR(outer.left, (screen_width - outer.width) / 2, 1);
  EXPECT_NEAR(outer.top, (screen_height - outer.height) / 2, 1);
}

TEST_F(Form1Layout, ControlsAreCreatedInTabOrderTextBoxButtonLabel) {
  const std::vector<HWND> children = ChildrenInOrder(form1());
  ASSERT_EQ(children.size(), 3u);
  EXPECT_EQ(ControlIdOf(children[0]), kTextBoxId);
  EXPECT_EQ(ClassNameOf(children[0]), L"Edit");
  EXPECT_EQ(ControlIdOf(children[1]), kLookupButtonId);
  EXPECT_EQ(ClassNameOf(children[1]), L"Button");
  EXPECT_EQ(ControlIdOf(children[2]), kLabelId);
  EXPECT_EQ(ClassNameOf(children[2]), L"Static");
}

TEST_F(Form1Layout, OnlyTheTextBoxAndTheButtonAreTabStops) {
  EXPECT_EQ(StyleOf(text1()) & WS_TABSTOP, WS_TABSTOP);
  EXPECT_EQ(StyleOf(command1()) & WS_TABSTOP, WS_TABSTOP);
  EXPECT_EQ(StyleOf(label1()) & WS_TABSTOP, 0);
}

TEST_F(Form1Layout, ControlsAreVisibleAndEnabled) {
  for (HWND control : {text1(), command1(), label1()}) {
    EXPECT_TRUE(IsWindowVisible(control)) << ControlIdOf(control);
    EXPECT_TRUE(IsWindowEnabled(control)) << ControlIdOf(control);
  }
}

TEST_F(Form1Layout, TextBoxIsEmptySingleLineAt64x32Sized169x25) {
  EXPECT_EQ(TextOf(text1()), L"");
  EXPECT_EQ(ToPixelRect(RectInParent(text1())), (PixelRect{64, 32, 169, 25}));
  EXPECT_EQ(StyleOf(text1()) & ES_MULTILINE, 0);
  EXPECT_EQ(StyleOf(text1()) & ES_AUTOHSCROLL, ES_AUTOHSCROLL)
      << "without it, typing stops at the field's width";
}

TEST_F(Form1Layout, TextBoxHasNoLengthLimit) {
  const std::optional<std::size_t> limit = EditLimitOf(text1());
  ASSERT_TRUE(limit.has_value());
  // The largest limit a single-line edit has; its default is 30,000 characters.
  EXPECT_GE(*limit, 0x7FFFFFFEu);
}

TEST_F(Form1Layout, ButtonReadsLookupQuillmarkAt72x64Sized153x41) {
  EXPECT_EQ(TextOf(command1()), L"Lookup Quillmark");
  EXPECT_EQ(ToPixelRect(RectInParent(command1())), (PixelRect{72, 64, 153, 41}));
}

TEST_F(Form1Layout, ButtonIsAPlainPushButtonNotTheDefault) {
  EXPECT_EQ(StyleOf(command1()) & BS_TYPEMASK, BS_PUSHBUTTON);
  EXPECT_NE(ControlIdOf(command1()), IDOK);
  EXPECT_NE(ControlIdOf(command1()), IDCANCEL);
}

// The label keeps its place and height; it is 81 pixels wide unless its caption is wider in the
// system's font, when it widens rightwards so that the caption is never cut.
TEST_F(Form1Layout, LabelReadsComputerNameAt112x8AtLeast81x17) {
  EXPECT_EQ(TextOf(label1()), L"Computer Name");
  const PixelRect label = ToPixelRect(RectInParent(label1()));
  EXPECT_EQ(label.left, 112);
  EXPECT_EQ(label.top, 8);
  EXPECT_EQ(label.height, 17);
  EXPECT_GE(label.width, 81);
  EXPECT_LE(label.left + label.width, ClientRectOf(form1()).right);
  EXPECT_LE(label.top + label.height, ToPixelRect(RectInParent(text1())).top);
}

TEST_F(Form1Layout, LabelShowsNoMnemonic) {
  EXPECT_EQ(StyleOf(label1()) & SS_NOPREFIX, SS_NOPREFIX);
  EXPECT_EQ(TextOf(label1()).find(L'&'), std::wstring::npos);
}

TEST_F(Form1Layout, TextBoxAndButtonShareOneVerticalCentreLine) {
  const PixelRect field = ToPixelRect(RectInParent(text1()));
  const PixelRect button = ToPixelRect(RectInParent(command1()));
  EXPECT_EQ(2 * field.left + field.width, 2 * button.left + button.width);
  const PixelRect label = ToPixelRect(RectInParent(label1()));
  EXPECT_LT(label.top + label.height, field.top) << "the label stands above the field";
  EXPECT_LT(field.top + field.height, button.top) << "the button stands below the field";
}

}  // namespace
}  // namespace quillmark::ui_test
