// Shared pieces of the window tests.
#include "ui_test_support.h"

#include <algorithm>
#include <cwctype>
#include <set>
#include <vector>

namespace quillmark::ui_test {

using ui_driver::Program;

void PrintTo(const PixelRect& rect, std::ostream* out) {
  *out << "(" << rect.left << "," << rect.top << " " << rect.width << "x" << rect.height << ")";
}

PixelRect ToPixelRect(const RECT& rect) {
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

std::string Printable(const std::wstring& text) {
  std::string printable;
  for (const wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      printable += static_cast<char>(c);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      printable += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) {
        printable += kHex[(static_cast<unsigned>(c) >> shift) & 0xFu];
      }
    }
  }
  return printable;
}

void WitnessSerial(std::wstring* serial) {
  static const std::optional<std::wstring> witnessed =
      ui_driver::SerialNumberFromCommandLineClient();
  ASSERT_TRUE(witnessed.has_value()) << "the command-line management client gave no serial";
  *serial = *witnessed;
}

bool HasDescriptionBesidesCode(const std::wstring& text, const std::wstring& code) {
  std::wstring rest = text;
  for (auto at = rest.find(code); at != std::wstring::npos; at = rest.find(code)) {
    rest.erase(at, code.size());
  }
  static const std::set<std::wstring> labels{L"error",   L"number",  L"code",  L"description",
                                             L"hresult", L"failure", L"failed"};
  std::wstring word;
  bool described = false;
  const auto end_word = [&] {
    if (word.size() >= 2 && labels.count(word) == 0) described = true;
    word.clear();
  };
  for (const wchar_t c : rest) {
    if (std::iswalpha(c)) {
      word += static_cast<wchar_t>(std::towlower(c));
    } else {
      end_word();
    }
  }
  end_word();
  return described;
}

void ProgramTest::Start(const ui_driver::LaunchOptions& options) {
  program_.emplace(Program::Launch(options));
  form1_ = program_->WaitForMainWindow();
  ASSERT_NE(form1_, nullptr) << "Form1 never appeared";
  ASSERT_NE(text1(), nullptr) << "Form1 has no Text1";
  ASSERT_NE(command1(), nullptr) << "Form1 has no Command1";
}

void ProgramTest::ClickLookup(HWND* box) {
  ASSERT_TRUE(ui_driver::PostClick(command1()));
  *box = program_->WaitForMessageBox();
  ASSERT_NE(*box, nullptr) << "no message box owned by Form1 appeared";
}

void ProgramTest::LookUp(const std::wstring& name, HWND* box) {
  ASSERT_TRUE(ui_driver::SetTextOf(text1(), name));
  ASSERT_EQ(ui_driver::TextOf(text1()), name);
  ASSERT_NO_FATAL_FAILURE(ClickLookup(box));
}

void ProgramTest::ExpectOwnedOkBox(HWND box) {
  EXPECT_EQ(ui_driver::OwnerOf(box), form1_);
  std::vector<HWND> shown = program_->TopLevelWindows();
  std::vector<HWND> expected{form1_, box};
  std::sort(shown.begin(), shown.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(shown, expected) << "Form1 and exactly one box should be shown";
  const ui_driver::MessageBoxContent content = ui_driver::ReadMessageBox(box);
  EXPECT_EQ(content.title, kCaption) << Printable(content.title);
  EXPECT_EQ(content.buttons, std::vector<std::wstring>{L"OK"});
}

void ProgramTest::ExpectResultBox(HWND box, const std::wstring& serial) {
  ExpectOwnedOkBox(box);
  const std::wstring text = ui_driver::ReadMessageBox(box).text;
  EXPECT_EQ(text, kResultPrompt + serial) << Printable(text);
}

void ProgramTest::Dismiss(HWND box) {
  ASSERT_TRUE(ui_driver::PressOk(box)) << "the box did not go on OK";
  ASSERT_TRUE(program_->WaitForIdle()) << "Form1 did not return to idle";
}

void ProgramTest::ExpectEndsWithExitCodeZero() {
  const std::optional<DWORD> exit_code = program().WaitForExit();
  ASSERT_TRUE(exit_code.has_value()) << "the process lives on after its window closed";
  EXPECT_EQ(*exit_code, 0u);
}

}  // namespace quillmark::ui_test
