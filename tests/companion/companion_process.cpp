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
  launch.desktop = options.desktop;
  // A file open for reading only, or a pipe whose reader has gone: every write fails.
  std::optional<test_support::CaptureFile> read_only;
  std::optional<test_support::ChildPipe> pipe;
  UniqueFile appended;
  std::string piped;
  test_support::CaptureOptions capture{options.limit, nullptr, options.while_running};
  if (options.output == OutputTarget::kReadOnlyFile) {
    capture.output = read_only.emplace(GENERIC_READ).handle();
  } else if (options.output == OutputTarget::kClosedPipe) {
    pipe.emplace(test_support::ChildPipe::Direction::kFromChild).Finish();
    capture.output = pipe->child_end();
  } else if (options.output == OutputTarget::kUnreadPipe) {
    capture.output = pipe.emplace(test_support::ChildPipe::Direction::kFromChild).child_end();
    capture.while_running = [&](DWORD process_id) {
      const bool wait = !options.while_running || options.while_running(process_id);
      pipe->ReleaseChildEnd();
      while (const auto line = wait ? pipe->ReadLine(options.limit) : std::nullopt) {
        piped += *line + "\r\n";
      }
      return wait;
    };
  } else if (options.output == OutputTarget::kAppendedFile) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    appended.reset(CreateFileW(options.append_to.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    capture.output = appended.get();
  }
  CompanionRun run = test_support::RunCaptured(std::move(launch), capture);
  if (options.output == OutputTarget::kUnreadPipe) run.out = std::move(piped);
  return run;
}

}  // namespace quillmark::companion_endtoend
