// The program's entry: one single-threaded apartment, the lookup window, and its event loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "com_failure.h"
#include "com_owners.h"
#include "failure_report.h"
#include "lookup_window.h"

namespace quillmark {
namespace {

// Dispatches events until the window is gone; returns the code it ended with.
int RunEventLoop(HWND form) {
  MSG message;
  for (;;) {
    const BOOL result = GetMessageW(&message, nullptr, 0, 0);
    if (result == 0) return static_cast<int>(message.wParam);
    if (result == -1) ThrowLastError(L"GetMessageW");
    // Dialog keyboard handling: Tab moves between the controls, Space and Enter press the button.
    if (IsWindow(form) && IsDialogMessageW(form, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

int ApplicationStart(HINSTANCE instance, int show_command) {
  const ComApartment apartment;
  // Visual styles for the controls; without them the classic look remains, which is no failure.
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  LookupWindow window(instance);
  window.Show(show_command);
  return RunEventLoop(window.handle());
}

}  // namespace
}  // namespace quillmark

// The command line is not used.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  int exit_code = 1;
  // A failure outside any event ends the program after it has been reported.
  quillmark::RunReportingFailures(
      nullptr, [&] { exit_code = quillmark::ApplicationStart(instance, show_command); });
  return exit_code;
}
