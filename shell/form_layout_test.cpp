// The window layout: its pixel figures at common DPIs and the relations the design relies on.
#include "form_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace quillmark {
namespace {

PixelRect PixelsOf(const wchar_t* name, int dpi) {
  for (const auto& control : kForm1.controls) {
    if (std::wstring(control.name) == name) return ToPixels(control.bounds, dpi);
  }
  ADD_FAILURE() << "no control named " << std::string(name, name + std::wcslen(name));
  return {};
}

void ExpectRect(const PixelRect& actual, int left, int top, int width, int height) {
  EXPECT_EQ(actual.left, left);
  EXPECT_EQ(actual.top, top);
  EXPECT_EQ(actual.width, width);
  EXPECT_EQ(actual.height, height);
}

TEST(FormLayout, GivesTheDesignedPixelsAtNinetySixDpi) {
  EXPECT_EQ(TwipsToPixels(kForm1.client_width, 96), 296);
  EXPECT_EQ(TwipsToPixels(kForm1.client_height, 96), 121);
  ExpectRect(PixelsOf(L"Text1", 96), 64, 32, 169, 25);
  ExpectRect(PixelsOf(L"Command1", 96), 72, 64, 153, 41);
  ExpectRect(PixelsOf(L"Label1", 96), 112, 8, 81, 17);
}

TEST(FormLayout, ScalesWithTheScreenDpiRoundingToTheNearestPixel) {
  ExpectRect(PixelsOf(L"Text1", 144), 96, 48, 254, 38);  // 253.5 and 37.5 round up
  ExpectRect(PixelsOf(L"Command1", 120), 90, 80, 191, 51);
  EXPECT_EQ(TwipsToPixels(1815, 192), 242);
  EXPECT_EQ(TwipsToPixels(-15, 96), -1);
}

TEST(FormLayout, KeepsTabOrderTextsAndIdsThatEnterAndEscCannotReach) {
  ASSERT_EQ(kForm1.controls.size(), 3u);
  EXPECT_EQ(std::wstring(kForm1.caption), L"Ambrel Quillmark Lookup Tool");
  EXPECT_EQ(std::wstring(kForm1.controls[0].name), L"Text1");
  EXPECT_EQ(std::wstring(kForm1.controls[0].text), L"");
  EXPECT_EQ(std::wstring(kForm1.controls[1].name), L"Command1");
  EXPECT_EQ(std::wstring(kForm1.controls[1].text), L"Lookup Quillmark");
  EXPECT_EQ(std::wstring(kForm1.controls[2].name), L"Label1");
  EXPECT_EQ(std::wstring(kForm1.controls[2].text), L"Computer Name");  // no '&': no mnemonic
  for (const auto& control : kForm1.controls) EXPECT_GE(control.id, 100);
}

TEST(FormLayout, TextBoxAndButtonShareOneVerticalCentreLine) {
  const TwipsRect text = kForm1.controls[0].bounds;
  const TwipsRect button = kForm1.controls[1].bounds;
  EXPECT_EQ(2 * text.left + text.width, 2 * button.left + button.width);
  EXPECT_LT(kForm1.controls[2].bounds.top + kForm1.controls[2].bounds.height, text.top);
  EXPECT_LT(text.top + text.height, button.top);
}

}  // namespace
}  // namespace quillmark
