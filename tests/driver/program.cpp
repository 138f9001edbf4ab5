// Starting the program, owning its process, and watching its windows and its end.
#include <windows.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "com_failure.h"
#include "driver.h"
#include "program_location.h"
#include "window_messages.h"

namespace quillmark::ui_driver {
namespace {

constexpr DWORD kTerminatedExitCode = 1;
constexpr DWORD kTerminationWaitMs = 10000;

DWORD ToMilliseconds(milliseconds duration) {
  return duration.count() <= 0 ? 0 : static_cast<DWORD>(duration.count());
}

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// "NAME=value" entries of this process's environment. Entries whose name starts with '=' (the
// per-drive current directories) are kept as they are.
std::vector<std::wstring> CurrentEnvironment() {
  std::vector<std::wstring> entries;
  wchar_t* block = GetEnvironmentStringsW();
  if (block == nullptr) return entries;
  for (const wchar_t* entry = block; *entry != L'\0'; entry += entries.back().size() + 1) {
    entries.emplace_back(entry);
  }
  FreeEnvironmentStringsW(block);
  return entries;
}

bool NameMatches(const std::wstring& entry, const std::wstring& name) {
  const std::size_t equals = entry.find(L'=', 1);
  if (equals == std::wstring::npos || equals != name.size()) return false;
  return CompareStringOrdinal(entry.c_str(), static_cast<int>(equals), name.c_str(),
                              static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// The environment block for CreateProcessW: the driver's own, with the additions applied.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& additions) {
  std::vector<std::wstring> entries = CurrentEnvironment();
  for (const auto& [name, value] : additions) {
    std::wstring entry = name + L"=" + value;
    bool replaced = false;
    for (std::wstring& existing : entries) {
      if (NameMatches(existing, name)) {
        existing = entry;
        replaced = true;
      }
    }
    if (!replaced) entries.push_back(std::move(entry));
  }
  std::wstring block;
  for (const std::wstring& entry : entries) block += entry + L'\0';
  block += L'\0';
  return block;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (const wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

HWND FindMainWindowOf(DWORD process_id) {
  for (HWND window : detail::TopLevelWindowsOf(process_id)) {
    if (IsWindowVisible(window) && detail::HasClass(window, kMainWindowClass)) return window;
  }
  return nullptr;
}

}  // namespace

std::wstring WinePathFromUnix(const std::string& unix_path) {
  std::wstring path = WideFromUtf8(unix_path);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return L"Z:" + path;
}

std::wstring ProgramPath() { return WinePathFromUnix(build::kProgramUnixPath); }

Program::Program(UniqueHandle process, DWORD process_id) noexcept
    : process_(std::move(process)), process_id_(process_id) {}

Program::Program(Program&& other) noexcept
    : process_(std::move(other.process_)),
      process_id_(std::exchange(other.process_id_, 0)),
      main_window_(std::exchange(other.main_window_, nullptr)) {}

Program& Program::operator=(Program&& other) noexcept {
  if (this != &other) {
    Terminate();
    process_ = std::move(other.process_);
    process_id_ = std::exchange(other.process_id_, 0);
    main_window_ = std::exchange(other.main_window_, nullptr);
  }
  return *this;
}

Program::~Program() { Terminate(); }

Program Program::Launch(const LaunchOptions& options) {
  const std::wstring program = options.program.empty() ? ProgramPath() : options.program;
  std::wstring command_line = L"\"" + program + L"\"";
  if (!options.arguments.empty()) command_line += L" " + options.arguments;
  std::wstring environment;
  if (!options.environment.empty()) environment = EnvironmentBlock(options.environment);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(
          program.c_str(), command_line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
          environment.empty() ? nullptr : environment.data(), nullptr, &startup, &started)) {
    const PlatformFailure failure = LastErrorFailure(L"CreateProcessW");
    throw DriverError("cannot start " + Narrow(program) + ": " +
                      Narrow(FailureReportText(failure)));
  }
  const UniqueThread thread(started.hThread);
  return Program(UniqueHandle(started.hProcess), started.dwProcessId);
}

bool Program::running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

HWND Program::WaitForMainWindow(milliseconds timeout) {
  if (main_window_ != nullptr) return main_window_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // Wine's answer to this is only a first hint; the window itself is what counts.
  WaitForInputIdle(process_.get(), ToMilliseconds(timeout));
  HWND found = nullptr;
  const auto remaining = [&] {
    return std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
  };
  if (!WaitUntil(
          [&] {
            found = FindMainWindowOf(process_id_);
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
  for (HWND window : detail::TopLevelWindowsOf(process_id_)) {
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

std::optional<DWORD> Program::WaitForExit(milliseconds timeout) const {
  if (!process_) return std::nullopt;
  if (WaitForSingleObject(process_.get(), ToMilliseconds(timeout)) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD exit_code = 0;
  if (!GetExitCodeProcess(process_.get(), &exit_code)) return std::nullopt;
  return exit_code;
}

void Program::Terminate() noexcept {
  if (!running()) return;
  TerminateProcess(process_.get(), kTerminatedExitCode);
  WaitForSingleObject(process_.get(), kTerminationWaitMs);
}

ProcessFigures Program::Figures() const {
  if (!process_) return {};
  return FiguresOf(process_.get(), process_id_);
}

}  // namespace quillmark::ui_driver
