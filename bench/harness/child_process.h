// The processes the harness starts: ownership, standard streams, waiting and their figures.
#pragma once

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "process_figures.h"
#include "unique_handle.h"
#include "utf8.h"

namespace quillmark::bench {

// How long any wait lasts before the benchmark gives up: far beyond a slow Wine start.
inline constexpr DWORD kWaitTimeoutMs = 30000;

// What the harness cannot do or did not see; ends the benchmark with its text.
class BenchError : public std::runtime_error {
 public:
  explicit BenchError(const std::string& what) : std::runtime_error(what) {}
};

// The test driver's owner and figures serve the benchmark too.
using quillmark::UniqueTempFile;
using quillmark::UniqueThread;
using ui_driver::FiguresOf;
using ui_driver::ProcessFigures;
using ui_driver::UniqueHandle;

// Throws BenchError(what) unless the condition holds.
void Require(bool condition, const std::string& what);

// The standard streams a console child is given; absent ones are not inherited.
struct ChildStreams {
  HANDLE input = nullptr;
  HANDLE output = nullptr;  // also its error stream
};

// A started process. If it still runs when this is destroyed, it is ended, so that a failed
// measurement leaves nothing behind. Move-only.
class ChildProcess {
 public:
  // Starts the command line ("program" arguments); throws BenchError when it cannot.
  static ChildProcess Start(const std::wstring& command_line, const ChildStreams& streams = {});

  ChildProcess(ChildProcess&&) noexcept = default;
  ChildProcess& operator=(ChildProcess&&) noexcept = default;
  ~ChildProcess();

  HANDLE process() const noexcept { return process_.get(); }
  DWORD id() const noexcept { return id_; }
  bool running() const;
  // Waits for the end and returns the exit code; throws BenchError after kWaitTimeoutMs.
  DWORD WaitForExit() const;
  ProcessFigures Figures() const { return FiguresOf(process_.get(), id_); }

 private:
  ChildProcess(UniqueHandle process, DWORD id) noexcept : process_(std::move(process)), id_(id) {}

  UniqueHandle process_;
  DWORD id_ = 0;
};

// A pipe whose one end a child inherits. For the child's input the harness writes; for its output
// the harness reads.
class ChildPipe {
 public:
  enum class Direction { kToChild, kFromChild };
  explicit ChildPipe(Direction direction);

  HANDLE child_end() const noexcept { return child_end_.get(); }
  // Closes the child's end in the harness once the child holds its own copy, so that the pipe
  // ends when the child does.
  void ReleaseChildEnd() noexcept { child_end_.reset(); }
  // Closes the harness's end: a child reading from the pipe sees its end.
  void Finish() noexcept { harness_end_.reset(); }
  void WriteLine(const std::string& line) const;
  // The next line, without its end; nothing when the pipe has ended. Throws BenchError when no
  // line comes within kWaitTimeoutMs.
  std::optional<std::string> ReadLine();

 private:
  UniqueHandle harness_end_;
  UniqueHandle child_end_;
  std::string pending_;
};

// A file in the temporary folder that a child writes its output to; deleted when this goes.
class OutputFile {
 public:
  OutputFile();

  HANDLE handle() const noexcept { return handle_.get(); }
  // Everything written so far, as the bytes it is.
  std::string Contents() const;

 private:
  UniqueTempFile file_;  // deleted after its handle has closed
  UniqueHandle handle_;
};

// The whole of a file's bytes; throws BenchError when it cannot be read.
std::string ReadWholeFile(const std::wstring& path);

// The text for a Windows error code, for messages: "error 2".
std::string ErrorText(DWORD code);

// The calling thread's last error as a failure's code and description, for messages (read
// first, so call it right after the call that failed); a call that set none is named.
std::string LastErrorText(const wchar_t* operation);

}  // namespace quillmark::bench
