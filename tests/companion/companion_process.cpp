// Starting quillmark.exe with its standard output and error in temporary files, and waiting for it.
#include "companion_process.h"

#include <atomic>
#include <stdexcept>
#include <utility>

#include "companion_location.h"
#include "standin_file.h"
#include "unique_handle.h"

namespace quillmark::companion_endtoend {
namespace {

using Clock = std::chrono::steady_clock;

using Handle = ui_driver::UniqueHandle;

std::wstring TemporaryFolder() {
  const DWORD size = GetTempPathW(0, nullptr);
  std::wstring folder(size, L'\0');
  const DWORD length = GetTempPathW(size, folder.data());
  if (size == 0 || length == 0 || length >= size) throw std::runtime_error("no temporary folder");
  folder.resize(length);
  return folder;
}

// A new empty file in the temporary folder that a child process inherits for writing; deleted when
// this goes.
class TemporaryFile {
 public:
  explicit TemporaryFile(DWORD access = GENERIC_WRITE) {
    static std::atomic<unsigned> made{0};
    const std::wstring base =
        TemporaryFolder() + L"quillmark-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    while (!handle_) {
      path_ = base + std::to_wstring(made++) + L".txt";
      handle_ = Handle(CreateFileW(path_.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!handle_ && GetLastError() != ERROR_FILE_EXISTS) {
        throw std::runtime_error("no temporary file");
      }
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    handle_ = Handle();
    DeleteFileW(path_.c_str());
  }

  HANDLE handle() const { return handle_.get(); }
  std::string Bytes() const { return standin::ReadWholeFile(path_).value_or(std::string()); }

 private:
  std::wstring path_;
  Handle handle_;
};

std::wstring WindowsPathFromUnix(const char* unix_path) {
  std::wstring path = L"Z:";
  for (const char* at = unix_path; *at != '\0'; ++at) {
    path += *at == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*at));
  }
  return path;
}

}  // namespace

std::wstring CompanionPath() { return WindowsPathFromUnix(build::kCompanionUnixPath); }

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

// A pipe's writing end for the child, whose reading end is closed already.
Handle ClosedPipe() {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) throw std::runtime_error("no pipe");
  CloseHandle(read);
  return Handle(write);
}

CompanionRun RunCompanion(const std::vector<std::wstring>& arguments, const RunOptions& options) {
  const TemporaryFile out_file(options.output == OutputTarget::kReadOnlyFile ? GENERIC_READ
                                                                             : GENERIC_WRITE);
  const TemporaryFile err_file;
  CompanionRun run;
  {
    const Handle closed_pipe =
        options.output == OutputTarget::kClosedPipe ? ClosedPipe() : Handle();
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const Handle in(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in) throw std::runtime_error("the null device cannot be opened");

    // The tests' names are made up: no test resolves them or sends anything beyond this machine
    // unless it asks for the reachability check itself (the last value given counts).
    std::wstring command_line = QuotedArgument(CompanionPath()) + L" --reach-timeout 0";
    for (const std::wstring& argument : arguments) command_line += L" " + QuotedArgument(argument);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = closed_pipe ? closed_pipe.get() : out_file.handle();
    startup.hStdError = err_file.handle();
    PROCESS_INFORMATION started{};
    const DWORD flags = options.own_process_group ? CREATE_NEW_PROCESS_GROUP : 0;
    const Clock::time_point start = Clock::now();
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &startup, &started)) {
      throw std::runtime_error("quillmark.exe cannot be started, error " +
                               std::to_string(GetLastError()));
    }
    const Handle process(started.hProcess);
    const Handle thread(started.hThread);
    const bool wait_for_it = !options.while_running || options.while_running(started.dwProcessId);
    const auto left = options.limit - (Clock::now() - start);
    const auto left_ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
    const DWORD wait = wait_for_it && left_ms > 0 ? static_cast<DWORD>(left_ms) : 0;
    run.finished = WaitForSingleObject(process.get(), wait) == WAIT_OBJECT_0;
    run.wall = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    if (!run.finished) {
      TerminateProcess(process.get(), 1);
      WaitForSingleObject(process.get(), 10000);
    }
    GetExitCodeProcess(process.get(), &run.exit_code);
  }
  run.out = out_file.Bytes();
  run.err = err_file.Bytes();
  return run;
}

}  // namespace quillmark::companion_endtoend
