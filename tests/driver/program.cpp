// Starting the program, owning its process, and watching its windows and its end.
#include <windows.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "driver.h"
#include "window_messages.h"

namespace quillmark::ui_driver {
namespace {

DWORD ToMilliseconds(milliseconds duration) {
  return duration.count() <= 0 ? 0 : static_cast<DWORD>(duration.count());
}

HWND FindMainWindowOf(DWORD process_id) {
  for (HWND window : detail::TopLevelWindowsOf(process_id)) {
    if (IsWindowVisible(window) && detail::HasClass(window, kMainWindowClass)) return window;
  }
  return nullptr;
}

}  // namespace

Program::Program(Program&& other) noexcept
    : child_(std::move(other.child_)), main_window_(std::exchange(other.main_window_, nullptr)) {}

Program& Program::operator=(Program&& other) noexcept {
  if (this != &other) {
    child_ = std::move(other.child_);
    main_window_ = std::exchange(other.main_window_, nullptr);
  }
  return *this;
}

Program Program::Launch(const LaunchOptions& options) {
  test_support::Launch launch;
  launch.program = options.program.empty() ? ProgramPath() : options.program;
  launch.command_line = options.arguments;
  launch.environment = options.environment;
  return Program(test_support::ChildProcess::Start(launch));
}

HWND Program::WaitForMainWindow(milliseconds timeout) {
  if (main_window_ != nullptr) return main_window_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // Wine's answer to this is only a first hint; the window itself is what counts.
  WaitForInputIdle(process(), ToMilliseconds(timeout));
  HWND found = nullptr;
  const auto remaining = [&] {
    return std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
  };
  if (!WaitUntil(
          [&] {
            found = FindMainWindowOf(process_id());
            return found != nullptr || !running();
          },
          remaining())) {
    return nullptr;
  }
  if (found == nullptr || !WaitUntil([&] { return detail::Answers(found); }, remaining())) {
    return nullptr;
  }
  main_window_ = found;
  return main_window_;
}

HWND Program::Control(int id) const {
  return main_window_ == nullptr ? nullptr : GetDlgItem(main_window_, id);
}

HWND Program::FocusedWindow() const {
  if (main_window_ == nullptr) return nullptr;
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(main_window_, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

std::vector<HWND> Program::TopLevelWindows() const {
  std::vector<HWND> visible;
  for (HWND window : detail::TopLevelWindowsOf(process_id())) {
    if (IsWindowVisible(window)) visible.push_back(window);
  }
  return visible;
}

std::vector<HWND> Program::MessageBoxes() const {
  std::vector<HWND> boxes;
  if (main_window_ == nullptr) return boxes;
  for (HWND window : TopLevelWindows()) {
    if (detail::HasClass(window, kMessageBoxClass) && OwnerOf(window) == main_window_) {
      boxes.push_back(window);
    }
  }
  return boxes;
}

HWND Program::WaitForMessageBox(milliseconds timeout) const {
  HWND box = nullptr;
  WaitUntil(
      [&] {
        const std::vector<HWND> boxes = MessageBoxes();
        if (!boxes.empty()) box = boxes.front();
        return box != nullptr || !running();
      },
      timeout);
  return box;
}

bool Program::WaitForIdle(milliseconds timeout, milliseconds settle) const {
  if (main_window_ == nullptr) return false;
  const auto idle = [&] {
    return running() && IsWindowEnabled(main_window_) &&
           TopLevelWindows() == std::vector<HWND>{main_window_} && detail::Answers(main_window_);
  };
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  auto idle_since = Clock::now();
  bool was_idle = false;
  for (;;) {
    const bool is_idle = idle();
    const auto now = Clock::now();
    if (is_idle && !was_idle) idle_since = now;
    was_idle = is_idle;
    if (is_idle && now - idle_since >= settle) return true;
    if (now >= deadline || !running()) return false;
    Sleep(20);
  }
}

bool Program::PostCloseCommand() const {
  return main_window_ != nullptr && PostMessageW(main_window_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool Program::PostCloseMessage() const {
  return main_window_ != nullptr && PostMessageW(main_window_, WM_CLOSE, 0, 0);
}

bool Program::SendCloseMessage(milliseconds timeout) const {
  DWORD_PTR ignored = 0;
  return main_window_ != nullptr && SendMessageTimeoutW(main_window_, WM_CLOSE, 0, 0, SMTO_NORMAL,
                                                        ToMilliseconds(timeout), &ignored) != 0;
}

bool Program::SendEndSession(milliseconds timeout) const {
  if (main_window_ == nullptr) return false;
  constexpr auto kLogOff = static_cast<LPARAM>(ENDSESSION_LOGOFF);
  DWORD_PTR agrees = 0;
  if (SendMessageTimeoutW(main_window_, WM_QUERYENDSESSION, 0, kLogOff, SMTO_NORMAL,
                          ToMilliseconds(timeout), &agrees) == 0) {
    return false;
  }
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutW(main_window_, WM_ENDSESSION, agrees != 0, kLogOff, SMTO_NORMAL,
                             ToMilliseconds(timeout), &ignored) != 0;
}

ProcessFigures Program::Figures() const {
  if (process() == nullptr) return {};
  return FiguresOf(process(), process_id());
}

}  // namespace quillmark::ui_driver
