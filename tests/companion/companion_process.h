// Runs quillmark.exe as a child process with its output captured, for the end-to-end tests.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "launcher.h"
#include "build_locations.h"
#include "text.h"

namespace quillmark::companion_endtoend {

// The companion as this build made it, as a Windows path.
inline std::wstring CompanionPath() {
  return test_support::WinePathFromUnix(test_support::build::kCompanionUnixPath);
}
using test_support::QuotedArgument;

// Where the companion's standard output goes.
enum class OutputTarget {
  kFile,          // a new file, read back when the run ends
  kReadOnlyFile,  // a file opened for reading only: every write fails
  kClosedPipe,    // a pipe whose reader has gone: every write fails
  kUnreadPipe,    // a pipe read only once `while_running` has returned, as lines with CRLF ends
  kAppendedFile,  // `append_to`, opened to append only
};

struct RunOptions {
  OutputTarget output = OutputTarget::kFile;
  std::wstring append_to;
  // How long the run may take before the child is ended and the run counts as unfinished.
  std::chrono::milliseconds limit{std::chrono::minutes(3)};
  // Starts the child in a process group of its own (CREATE_NEW_PROCESS_GROUP).
  bool own_process_group = false;
  std::wstring desktop;  // as test_support::Launch::desktop
  // Called once the child runs, with its process id, before the wait for its end; false ends the
  // child at once, and the run counts as unfinished.
  std::function<bool(DWORD process_id)> while_running;
};

// What a run of the companion gave. Standard output and error are files, so the companion sees
// them as redirected; standard input is the null device.
using CompanionRun = test_support::CapturedRun;

// Runs the companion with these arguments, after "--reach-timeout 0", inheriting this process's
// environment and console.
// Throws std::runtime_error when it cannot be started.
CompanionRun RunCompanion(const std::vector<std::wstring>& arguments,
                          const RunOptions& options = {});

}  // namespace quillmark::companion_endtoend
