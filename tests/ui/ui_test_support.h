// Shared pieces of the window tests: a started program per test, and the result and report
// boxes as the user should see them.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <ostream>
#include <string>

#include "driver.h"

namespace quillmark::ui_test {

inline constexpr wchar_t kCaption[] = L"Ambrel Quillmark Lookup Tool";
inline constexpr wchar_t kResultPrompt[] = L"The serial number for the specified computer is: ";
// The management service's transport failure: what an unknown computer name gives.
inline constexpr wchar_t kTransportFailureCode[] = L"0x80041015";
inline constexpr wchar_t kUnknownComputer[] = L"nosuchhost.invalid";

// A rectangle as the layout states it: position and size in pixels.
struct PixelRect {
  int left;
  int top;
  int width;
  int height;
  bool operator==(const PixelRect& other) const {
    return left == other.left && top == other.top && width == other.width && height == other.height;
  }
};
void PrintTo(const PixelRect& rect, std::ostream* out);
PixelRect ToPixelRect(const RECT& rect);

// Wide texts for failure messages.
std::string Printable(const std::wstring& text);

// The BIOS serial number according to the system's command-line management client, asked once.
// Fails the current test when the client gives no answer.
void WitnessSerial(std::wstring* serial);

// Whether a report's text says more than its code: after taking away the code and the words a
// report might label it with ("error", "number", "code", ...), some word must be left.
bool HasDescriptionBesidesCode(const std::wstring& text, const std::wstring& code);

// Each test starts its own program and waits for its window; the program is terminated after
// the test if it is still running.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start({})); }
  void Start(const ui_driver::LaunchOptions& options);

  ui_driver::Program& program() { return *program_; }
  HWND form1() const { return form1_; }
  HWND text1() const { return program_->text_box(); }
  HWND command1() const { return program_->lookup_button(); }

  // Clicks Command1 and waits for the box that follows.
  void ClickLookup(HWND* box);
  // Puts the name into Text1 (replacing what is there), then as ClickLookup.
  void LookUp(const std::wstring& name, HWND* box);
  // Checks a box: owned by Form1, the only window besides it, the program's title, OK alone.
  void ExpectOwnedOkBox(HWND box);
  // Checks a result box for the serial number.
  void ExpectResultBox(HWND box, const std::wstring& serial);
  // Presses OK and waits for Form1 to be idle again.
  void Dismiss(HWND box);
  // Waits for the program to end and checks that it ended with exit code 0.
  void ExpectEndsWithExitCodeZero();

 private:
  std::optional<ui_driver::Program> program_;
  HWND form1_ = nullptr;
};

}  // namespace quillmark::ui_test
