// Starting quillmark.exe with its standard output and error captured, and waiting for it.
#include "companion_process.h"

#include <optional>
#include <utility>

namespace quillmark::companion_endtoend {

CompanionRun RunCompanion(const std::vector<std::wstring>& arguments, const RunOptions& options) {
  test_support::Launch launch;
  launch.program = CompanionPath();
  // The tests' names are made up: no test resolves them or sends anything beyond this machine
  // unless it asks for the reachability check itself (the last value given counts).
  launch.command_line = L"--reach-timeout 0";
  for (const std::wstring& argument : arguments)
    launch.command_line += L" " + QuotedArgument(argument);
  launch.creation_flags = options.own_process_group ? CREATE_NEW_PROCESS_GROUP : 0;
  // A file open for reading only, or a pipe whose reader has gone: every write fails.
  std::optional<test_support::CaptureFile> read_only;
  std::optional<test_support::ChildPipe> closed_pipe;
  test_support::CaptureOptions capture{options.limit, nullptr, options.while_running};
  if (options.output == OutputTarget::kReadOnlyFile) {
    capture.output = read_only.emplace(GENERIC_READ).handle();
  } else if (options.output == OutputTarget::kClosedPipe) {
    closed_pipe.emplace(test_support::ChildPipe::Direction::kFromChild).Finish();
    capture.output = closed_pipe->child_end();
  }
  return test_support::RunCaptured(std::move(launch), capture);
}

}  // namespace quillmark::companion_endtoend
