// The console control handler and the hidden window that hear the stops of a run, and the end of
// the process that the stops which end it wait for.
#include "stop_requests.h"

#include <windows.h>

#include <atomic>

#include "run_outcome.h"
#include "win32_owners.h"

namespace quillmark::companion {
namespace {

// What the stops share with the run's thread. Made once and never destroyed: a handler may run at
// any time until the process ends.
struct ProcessEnd {
  const std::shared_ptr<EndedLookups> fleet = std::make_shared<EndedLookups>();
  const UniqueEvent written{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // everything written
  std::atomic<std::uint32_t> exit_code{kExitInterrupted};                  // set before `written`
};

std::atomic<ProcessEnd*> listening{nullptr};

void AskToStop() noexcept {
  if (ProcessEnd* const end = listening.load()) end->fleet->Stop();
}

// For the stops after which the platform ends the process as soon as the handler returns: the run
// stops, writes what has ended, and the process ends here with the run's own exit code, so that
// the platform's ending cannot pick another.
void StopAndEndWithTheRun() noexcept {
  ProcessEnd* const end = listening.load();
  if (end == nullptr) return;
  end->fleet->Stop();
  if (!end->written) return;  // none could be made: nothing to wait for
  WaitForSingleObject(end->written.get(), INFINITE);
  TerminateProcess(GetCurrentProcess(), end->exit_code.load());
}

// Runs on a thread of its own. Ctrl+C and Ctrl+Break only ask for the stop: the run then writes
// what has ended and exits by itself. Closing the console, logging off and shutting down end the
// process as soon as the handler returns.
BOOL WINAPI OnConsoleControl(DWORD control) noexcept {
  switch (control) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      AskToStop();
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      StopAndEndWithTheRun();
      return TRUE;
    default:
      return FALSE;
  }
}

// The platform ends the process once WM_ENDSESSION returns, so the process ends within it instead,
// once the run has written everything. Nothing here throws.
LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM wparam,
                                  LPARAM lparam) noexcept {
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;  // the run never holds the session up: it stops when the session ends
    case WM_ENDSESSION:
      if (wparam) StopAndEndWithTheRun();
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

constexpr wchar_t kSessionWindowClass[] = L"QuillmarkSessionEnd";

// Runs with the desktop of the thread that started it: a process's later threads start on the
// process's own desktop on Windows, but under Wine on the desktop of the process that started it.
DWORD WINAPI SessionWindowThread(void* desktop) noexcept {
  SetThreadDesktop(static_cast<HDESK>(desktop));
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = OnSessionMessage;
  window_class.hInstance = instance;
  window_class.lpszClassName = kSessionWindowClass;
  if (RegisterClassW(&window_class) == 0) return 1;
  // Top-level, never shown: a message-only window hears no session end.
  if (CreateWindowExW(0, kSessionWindowClass, L"quillmark", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                      nullptr, instance, nullptr) == nullptr) {
    return 1;
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

}  // namespace

std::shared_ptr<EndedLookups> ListenForStops() {
  static ProcessEnd end;
  listening.store(&end);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  // Without its thread the run goes on all the same; only the session's end goes unheard.
  const UniqueThread window_thread(CreateThread(
      nullptr, 0, SessionWindowThread, GetThreadDesktop(GetCurrentThreadId()), 0, nullptr));
  return end.fleet;
}

void EndProcess(std::uint32_t exit_code) noexcept {
  if (ProcessEnd* const end = listening.load()) {
    end->exit_code.store(exit_code);
    if (end->written) SetEvent(end->written.get());
  }
  // Lookups left behind at their deadlines must not hold the process: end it here and now, without
  // the libraries' detach code, which would run while those lookups are stopped in mid-call and can
  // crash on what they hold.
  TerminateProcess(GetCurrentProcess(), exit_code);
  ExitProcess(exit_code);  // should the process not end itself
}

}  // namespace quillmark::companion
