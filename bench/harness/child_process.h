// The processes the harness starts: the test support's launcher, with the harness's waits and
// its way of failing.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "launcher.h"
#include "process_figures.h"
#include "utf8.h"

namespace quillmark::bench {

// How long any wait lasts before the benchmark gives up: far beyond a slow Wine start.
inline constexpr DWORD kWaitTimeoutMs = 30000;

// What the harness cannot do or did not see; ends the benchmark with its text.
using BenchError = test_support::SupportError;

// The test support's owners, figures and failure texts serve the benchmark too.
using quillmark::UniqueHandle;
using quillmark::UniqueTempFile;
using quillmark::UniqueThread;
using test_support::LastErrorText;
using test_support::Require;
using ui_driver::FiguresOf;
using ui_driver::ProcessFigures;

// The standard streams a console child is given; absent ones are not inherited.
struct ChildStreams {
  HANDLE input = nullptr;
  HANDLE output = nullptr;  // also its error stream
};

// A started process, ended if it still runs when this goes. Move-only.
class ChildProcess {
 public:
  // Starts the command line ("program" arguments); throws BenchError when it cannot.
  static ChildProcess Start(const std::wstring& command_line, const ChildStreams& streams = {}) {
    test_support::Launch launch;
    launch.command_line = command_line;
    launch.input = streams.input;
    launch.output = launch.error = streams.output;
    return ChildProcess(test_support::ChildProcess::Start(launch));
  }

  HANDLE process() const noexcept { return child_.process(); }
  DWORD id() const noexcept { return child_.id(); }
  bool running() const { return child_.running(); }
  // Waits for the end and returns the exit code; throws BenchError after kWaitTimeoutMs.
  DWORD WaitForExit() const {
    const std::optional<DWORD> code =
        child_.WaitForExit(test_support::milliseconds{kWaitTimeoutMs});
    Require(code.has_value(), "process " + std::to_string(id()) + " did not end");
    return *code;
  }
  ProcessFigures Figures() const { return FiguresOf(process(), id()); }

 private:
  explicit ChildProcess(test_support::ChildProcess child) noexcept : child_(std::move(child)) {}

  test_support::ChildProcess child_;
};

// A pipe whose one end a child inherits, whose lines come within kWaitTimeoutMs.
class ChildPipe : public test_support::ChildPipe {
 public:
  using test_support::ChildPipe::ChildPipe;
  std::optional<std::string> ReadLine() {
    return test_support::ChildPipe::ReadLine(test_support::milliseconds{kWaitTimeoutMs});
  }
};

// A file in the temporary folder that a child writes its output to; deleted when this goes.
using OutputFile = test_support::CaptureFile;

// The text for a Windows error code, for messages: "error 2".
std::string ErrorText(DWORD code);

}  // namespace quillmark::bench
