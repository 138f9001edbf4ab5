// Form1 in the test's own process, where the platform can be made to refuse its controls: the
// failure is reported, and the report stays until it is dismissed.
#include "lookup_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "driver.h"
#include "failure_report.h"
#include "win32_owners.h"

namespace quillmark {
namespace {

void Unhook(HHOOK hook) noexcept { UnhookWindowsHookEx(hook); }
using UniqueHook = UniqueAny<HHOOK, Unhook>;

// While it lives, this thread cannot create windows of one class, as on a system short of them.
class Refusal {
 public:
  explicit Refusal(const wchar_t* class_name)
      : hook_(SetWindowsHookExW(WH_CBT, Refuse, nullptr, GetCurrentThreadId())) {
    refused_ = class_name;
  }
  explicit operator bool() const noexcept { return static_cast<bool>(hook_); }

 private:
  static LRESULT CALLBACK Refuse(int code, WPARAM wparam, LPARAM lparam) noexcept {
    if (code == HCBT_CREATEWND) {
      const wchar_t* name = reinterpret_cast<CBT_CREATEWNDW*>(lparam)->lpcs->lpszClass;
      if (!IS_INTRESOURCE(name) && lstrcmpiW(name, refused_) == 0) return 1;
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }

  static inline const wchar_t* refused_ = nullptr;
  UniqueHook hook_;
};

BOOL CALLBACK FindVisibleBox(HWND window, LPARAM found) noexcept {
  try {
    if (IsWindowVisible(window) && ui_driver::ClassNameOf(window) == ui_driver::kMessageBoxClass) {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
  } catch (...) {
    // A name that cannot be read is no box's.
  }
  return TRUE;
}

// A visible message box of the thread, or nullptr.
HWND BoxOf(DWORD thread) {
  HWND box = nullptr;
  EnumThreadWindows(thread, FindVisibleBox, reinterpret_cast<LPARAM>(&box));
  return box;
}

TEST(LookupWindowStart, ControlsThatCannotBeMadeAreReportedUntilTheReportIsDismissed) {
  std::optional<PlatformFailure> failure;
  {
    const Refusal refusal(L"Button");
    ASSERT_TRUE(refusal) << "no hook to refuse the button with";
    failure = RunCapturingFailure([] { const LookupWindow form(GetModuleHandleW(nullptr)); });
  }
  ASSERT_TRUE(failure.has_value()) << "Form1 was built without its button";
  EXPECT_LT(failure->code(), 0);

  // Another thread reads the report once it shows and dismisses it; a report that vanished by
  // itself is neither read nor dismissed.
  const DWORD this_thread = GetCurrentThreadId();
  std::atomic<bool> returned{false};
  std::wstring shown;
  bool dismissed = false;
  std::thread user([&] {
    HWND box = nullptr;
    ui_driver::WaitUntil([&] { return (box = BoxOf(this_thread)) != nullptr || returned; });
    if (box == nullptr) return;
    shown = ui_driver::ReadMessageBox(box).text;
    dismissed = ui_driver::PressOk(box);
  });
  ReportFailure(nullptr, *failure);
  returned = true;
  user.join();
  EXPECT_TRUE(dismissed) << "the report went before it was dismissed";
  EXPECT_NE(shown.find(FormatFailureCode(failure->code())), std::wstring::npos);
}

}  // namespace
}  // namespace quillmark
