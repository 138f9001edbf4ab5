// Starting, feeding, reading and ending the child processes of the tests and the benchmark.
#include "launcher.h"

#include "com_failure.h"
#include "standin_file.h"
#include "text.h"

namespace quillmark::test_support {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kTerminationWaitMs = 10000;

DWORD ToMilliseconds(milliseconds duration) {
  return duration.count() <= 0 ? 0 : static_cast<DWORD>(duration.count());
}

SECURITY_ATTRIBUTES Inheritable() { return {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE}; }

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

// The environment block for CreateProcessW: this process's own, with the additions applied.
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

// Non-empty lines, each without its line end and the column padding after it.
std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == L'\r' || line.back() == L' ')) line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

void Require(bool condition, const std::string& what) {
  if (!condition) throw SupportError(what);
}

std::string LastErrorText(const wchar_t* operation) {
  const PlatformFailure failure = LastErrorFailure(operation);
  return Utf8(FormatFailureCode(failure.code()) + L" " + failure.description());
}

// The rules of CommandLineToArgvW and the C runtime: backslashes are literal except before a
// double quote, where each one must be doubled and the quote escaped.
std::wstring QuotedArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t unit : argument) {
    if (unit == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(unit == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += unit;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L'"';
}

ChildProcess ChildProcess::Start(const Launch& launch) {
  std::wstring command_line = launch.command_line;
  if (!launch.program.empty()) {
    command_line =
        QuotedArgument(launch.program) + (command_line.empty() ? L"" : L" " + command_line);
  }
  std::wstring environment;
  if (!launch.environment.empty()) environment = EnvironmentBlock(launch.environment);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring desktop = launch.desktop;
  if (!desktop.empty()) startup.lpDesktop = desktop.data();
  const bool redirected =
      launch.input != nullptr || launch.output != nullptr || launch.error != nullptr;
  if (redirected) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = launch.input;
    startup.hStdOutput = launch.output;
    startup.hStdError = launch.error;
  }
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(
          launch.program.empty() ? nullptr : launch.program.c_str(), command_line.data(), nullptr,
          nullptr, redirected ? TRUE : FALSE, launch.creation_flags | CREATE_UNICODE_ENVIRONMENT,
          environment.empty() ? nullptr : environment.data(), nullptr, &startup, &started)) {
    const std::string reason = LastErrorText(L"CreateProcessW");
    throw SupportError("cannot start " + Utf8(command_line) + ": " + reason);
  }
  const UniqueThread thread(started.hThread);
  return ChildProcess(UniqueProcess(started.hProcess), started.dwProcessId);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::move(other.process_)), id_(std::exchange(other.id_, 0)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Terminate();
    process_ = std::move(other.process_);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

bool ChildProcess::running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::WaitForExit(milliseconds timeout) const {
  if (!process_ || WaitForSingleObject(process_.get(), ToMilliseconds(timeout)) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD exit_code = 0;
  if (!GetExitCodeProcess(process_.get(), &exit_code)) return std::nullopt;
  return exit_code;
}

void ChildProcess::Terminate() noexcept {
  if (!running()) return;
  TerminateProcess(process_.get(), 1);
  WaitForSingleObject(process_.get(), kTerminationWaitMs);
}

UniqueFile NullInput() {
  SECURITY_ATTRIBUTES inherit = Inheritable();
  UniqueFile input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  Require(static_cast<bool>(input),
          "the null device cannot be opened: " + LastErrorText(L"CreateFileW"));
  return input;
}

CaptureFile::CaptureFile(DWORD access) : file_(NewTempFile(L"qlk")) {
  Require(static_cast<bool>(file_),
          "cannot name a temporary file: " + LastErrorText(L"GetTempFileNameW"));
  SECURITY_ATTRIBUTES inherit = Inheritable();
  // The system made the file empty when it named it.
  handle_ = UniqueFile(CreateFileW(file_.get().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (!handle_) {
    const std::string reason = LastErrorText(L"CreateFileW");
    throw SupportError("cannot open " + Utf8(file_.get()) + ": " + reason);
  }
}

std::string CaptureFile::Contents() const {
  std::optional<std::string> bytes = standin::ReadWholeFile(file_.get());
  Require(bytes.has_value(), "cannot read " + Utf8(file_.get()));
  return std::move(*bytes);
}

ChildPipe::ChildPipe(Direction direction) {
  SECURITY_ATTRIBUTES inherit = Inheritable();
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  Require(CreatePipe(&read_end, &write_end, &inherit, 0) != 0,
          "cannot create a pipe: " + LastErrorText(L"CreatePipe"));
  UniqueHandle reader(read_end);
  UniqueHandle writer(write_end);
  own_end_ = direction == Direction::kToChild ? std::move(writer) : std::move(reader);
  child_end_ = direction == Direction::kToChild ? std::move(reader) : std::move(writer);
  SetHandleInformation(own_end_.get(), HANDLE_FLAG_INHERIT, 0);
}

void ChildPipe::WriteLine(const std::string& line) const {
  const std::string text = line + "\n";
  DWORD written = 0;
  Require(WriteFile(own_end_.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                    nullptr) != 0,
          "cannot write to a child: " + LastErrorText(L"WriteFile"));
  Require(written == text.size(), "a child took part of a line");
}

std::optional<std::string> ChildPipe::ReadLine(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    // Looks before reading, so that a child that stops answering ends the wait at the deadline.
    DWORD available = 0;
    if (!PeekNamedPipe(own_end_.get(), nullptr, 0, nullptr, &available, nullptr)) {
      return std::nullopt;  // the child's end is closed
    }
    if (available == 0) {
      Require(Clock::now() < deadline, "a child did not answer");
      Sleep(1);
      continue;
    }
    std::string chunk(available, '\0');
    DWORD read = 0;
    if (!ReadFile(own_end_.get(), chunk.data(), available, &read, nullptr) || read == 0) {
      return std::nullopt;
    }
    pending_.append(chunk, 0, read);
  }
}

CapturedRun RunCaptured(Launch launch, const CaptureOptions& options) {
  const CaptureFile out_file;
  const CaptureFile err_file;
  CapturedRun run;
  {
    const UniqueFile null_input = launch.input == nullptr ? NullInput() : UniqueFile();
    if (launch.input == nullptr) launch.input = null_input.get();
    launch.output = options.output != nullptr ? options.output : out_file.handle();
    launch.error = err_file.handle();
    const Clock::time_point start = Clock::now();
    ChildProcess child = ChildProcess::Start(launch);
    const bool wait_for_it = !options.while_running || options.while_running(child.id());
    const auto left =
        std::chrono::duration_cast<milliseconds>(options.limit - (Clock::now() - start));
    run.finished = child.WaitForExit(wait_for_it ? left : milliseconds{0}).has_value();
    run.wall = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    if (!run.finished) child.Terminate();
    run.exit_code = child.WaitForExit(milliseconds{0}).value_or(0);
  }
  run.out = out_file.Contents();
  run.err = err_file.Contents();
  return run;
}

std::optional<std::wstring> ValueFromCommandLineClient(const std::wstring& source,
                                                       const std::wstring& property,
                                                       milliseconds timeout) {
  Launch launch;
  launch.command_line = L"wmic.exe " + source + L" get " + property;
  launch.creation_flags = CREATE_NO_WINDOW;
  CaptureOptions options;
  options.limit = timeout;
  const CapturedRun run = RunCaptured(std::move(launch), options);
  if (!run.finished) return std::nullopt;
  const std::vector<std::wstring> lines = Lines(TextFromConsoleBytes(run.out));
  // A header line with the property's name, then the value of the first instance.
  if (lines.size() < 2) return std::nullopt;
  if (CompareStringOrdinal(lines[0].c_str(), -1, property.c_str(), -1, TRUE) != CSTR_EQUAL) {
    return std::nullopt;
  }
  return lines[1];
}

std::optional<std::wstring> SerialNumberFromCommandLineClient(milliseconds timeout) {
  return ValueFromCommandLineClient(L"bios", L"SerialNumber", timeout);
}

}  // namespace quillmark::test_support
