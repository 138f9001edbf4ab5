// The one way the tests and the benchmark start other programs: a child process owned until it
// ends, its standard streams given as files, pipes or the null device, its output captured, and
// every wait bounded by a time limit.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "../../lookup/com/win32_owners.h"

namespace quillmark::test_support {

using std::chrono::milliseconds;

// Raised when the support code cannot do what it was asked at all (a program does not start, a
// file or pipe cannot be had, a child does not answer in time); its text says what and why.
class SupportError : public std::runtime_error {
 public:
  explicit SupportError(const std::string& what) : std::runtime_error(what) {}
};

// Throws SupportError(what) unless the condition holds.
void Require(bool condition, const std::string& what);

// The calling thread's last error as a failure's code and description, for messages (read first,
// so call it right after the call that failed); a call that set none is named.
std::string LastErrorText(const wchar_t* operation);

// One argument quoted so that the child's command-line parser gives it back exactly.
std::wstring QuotedArgument(const std::wstring& argument);

// What to start, and how.
struct Launch {
  // The program file; when given it is quoted in front of `command_line`, which then holds only
  // the arguments. When empty, `command_line` is the whole line and the system finds the program.
  std::wstring program;
  std::wstring command_line;
  // Variables set for the child on top of this process's environment; a name that exists already
  // (compared without case, as Windows does) takes the new value.
  std::vector<std::pair<std::wstring, std::wstring>> environment;
  // The child's standard streams, inherited; when all are absent none is redirected.
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  HANDLE error = nullptr;
  DWORD creation_flags = 0;  // CREATE_NO_WINDOW, CREATE_NEW_PROCESS_GROUP
  std::wstring desktop;      // the desktop its windows go to; empty: this process's own
};

// A started process. If it still runs when this goes, it is ended, so that a failed test or
// measurement leaves nothing behind. Move-only.
class ChildProcess {
 public:
  // Starts it; throws SupportError, with the system's reason, when it cannot.
  static ChildProcess Start(const Launch& launch);

  ChildProcess() noexcept = default;
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ~ChildProcess() { Terminate(); }

  HANDLE process() const noexcept { return process_.get(); }
  DWORD id() const noexcept { return id_; }
  bool running() const;
  // Waits for the end; its exit code, or nothing when it still runs after `timeout`.
  std::optional<DWORD> WaitForExit(milliseconds timeout) const;
  // Ends it at once (exit code 1) if it still runs, and waits for it to be gone.
  void Terminate() noexcept;

 private:
  ChildProcess(UniqueProcess process, DWORD id) noexcept : process_(std::move(process)), id_(id) {}

  UniqueProcess process_;
  DWORD id_ = 0;
};

// An inheritable handle of the null device, for a child's input.
UniqueFile NullInput();

// A new file in the temporary folder, open with `access` through a handle that a child inherits,
// and deleted when this goes.
class CaptureFile {
 public:
  explicit CaptureFile(DWORD access = GENERIC_WRITE);

  HANDLE handle() const noexcept { return handle_.get(); }
  // Everything written so far, as the bytes it is.
  std::string Contents() const;

 private:
  UniqueTempFile file_;  // deleted after its handle has closed
  UniqueFile handle_;
};

// A pipe whose one end a child inherits. For the child's input this side writes; for its output
// this side reads.
class ChildPipe {
 public:
  enum class Direction { kToChild, kFromChild };
  explicit ChildPipe(Direction direction);

  HANDLE child_end() const noexcept { return child_end_.get(); }
  // Closes the child's end here once the child holds its own copy, so that the pipe ends when the
  // child does.
  void ReleaseChildEnd() noexcept { child_end_.reset(); }
  // Closes this side's end: a child reading from the pipe sees its end, and one writing to it
  // fails.
  void Finish() noexcept { own_end_.reset(); }
  void WriteLine(const std::string& line) const;
  // The next line, without its end; nothing when the pipe has ended. Throws SupportError when no
  // line comes within `timeout`.
  std::optional<std::string> ReadLine(milliseconds timeout);

 private:
  UniqueHandle own_end_;
  UniqueHandle child_end_;
  std::string pending_;
};

// How a captured run goes.
struct CaptureOptions {
  // How long the run may take before the child is ended and the run counts as unfinished.
  milliseconds limit{std::chrono::minutes(3)};
  // Where standard output goes instead of a capture file (a read-only file, a closed pipe).
  HANDLE output = nullptr;
  // Called once the child runs, with its process id, before the wait for its end; false ends the
  // child at once, and the run counts as unfinished.
  std::function<bool(DWORD process_id)> while_running;
};

// What a captured run gave. Standard output and error are files, so the child sees them as
// redirected; standard input is the null device unless the launch names another.
struct CapturedRun {
  bool finished = false;  // it ended by itself within the limit
  DWORD exit_code = 0;
  std::string out;  // standard output's bytes (when it went to the capture file)
  std::string err;  // standard error's bytes
  milliseconds wall{0};
};

// Starts the program with its output captured and waits for it, up to the limit; throws
// SupportError when it cannot be started.
CapturedRun RunCaptured(Launch launch, const CaptureOptions& options = {});

// A property of the first instance of a class ("bios", or "path Win32_ComputerSystem") as the
// system's command-line management client reports it (its column padding removed), or nothing if
// the client gives no answer within the timeout.
std::optional<std::wstring> ValueFromCommandLineClient(const std::wstring& source,
                                                       const std::wstring& property,
                                                       milliseconds timeout = milliseconds{60000});

// The BIOS serial number as the system's command-line management client reports it (its column
// padding removed), or nothing if the client gives no answer within the timeout.
std::optional<std::wstring> SerialNumberFromCommandLineClient(milliseconds timeout = milliseconds{
                                                                  60000});

}  // namespace quillmark::test_support
