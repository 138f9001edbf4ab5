// The end-to-end fixture: the program against a script of the test's own, its boxes, its calls.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "driver.h"
#include "standin_harness.h"
#include "standin_script.h"

namespace quillmark::endtoend {

inline constexpr wchar_t kTitle[] = L"Ambrel Quillmark Lookup Tool";
inline constexpr wchar_t kPrompt[] = L"The serial number for the specified computer is: ";

// The failure report's text for a failure with this code and description, with the code's hint.
std::wstring ReportText(HRESULT code, const std::wstring& description);

// A text in a form that a test failure message can show.
std::string Printable(const std::wstring& text);

// The calls that the program must make of the service, in order, for a lookup of `computer`
// served by `plan`: everything up to the end of the walk, or up to the scripted failure and not
// one call after it.
std::vector<std::string> ExpectedCalls(const std::wstring& computer, const standin::Plan& plan);

// Each test starts its own program, pointed at its own script and record.
class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override;

  void Use(std::vector<standin::Plan> plans) const;
  HWND form1() const { return form1_; }
  HWND text1() const { return program_->text_box(); }
  HWND command1() const { return program_->lookup_button(); }
  ui_driver::Program& program() { return *program_; }
  std::vector<std::string> Record() const { return scratch_.RecordLines(); }

  // Puts the name into Text1 and clicks Command1.
  void LookUp(const std::wstring& name);
  // Clicks Command1 again, with whatever name Text1 holds.
  void ClickAgain();

  // Waits for the next box and checks it: the only window besides Form1, owned by it, the
  // program's title, the OK button alone, and exactly this text.
  void WaitForBox(const std::wstring& text, HWND* box);
  // The same checks but for the text, which is returned.
  void WaitForAnyBox(HWND* box, std::wstring* text);
  void Dismiss(HWND box);
  // WaitForBox and Dismiss, for a result box and for the failure report.
  void ExpectResult(const std::wstring& shown_serial);
  void ExpectReport(HRESULT code, const std::wstring& description);

  // Checks the end of one lookup: Form1 idle with no box, the program still running, the name
  // still in Text1, one more binding in the record, exactly these calls in it, and no object of
  // the service left alive.
  void ExpectLookupOver(const std::wstring& name, const std::vector<std::string>& calls);

  // Looks up the name in Text1 once more against a plain one-member plan: the service must be
  // bound again, and the lookup must run from its start to its end.
  void ExpectFreshSecondLookup(const std::wstring& name);

  standin::Scratch scratch_{L"endtoend"};
  std::optional<ui_driver::Program> program_;
  HWND form1_ = nullptr;
  size_t lookups_ = 0;  // bindings the record must show so far
};

}  // namespace quillmark::endtoend
