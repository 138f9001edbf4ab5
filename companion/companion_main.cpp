// quillmark.exe: looks up the BIOS serial numbers of many computers at once and writes a table,
// CSV or JSON.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <variant>
#include <vector>

#include "command_line.h"
#include "console_io.h"
#include "fleet_lookup.h"
#include "lookup_rows.h"
#include "platform_failure.h"
#include "run_outcome.h"
#include "text_encoding.h"

namespace quillmark::companion {
namespace {

// Set by Ctrl+C or Ctrl+Break; the handler runs on a thread of its own.
std::atomic<HANDLE> interrupt_event{nullptr};

BOOL WINAPI OnConsoleControl(DWORD control) noexcept {
  if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT) return FALSE;
  const HANDLE event = interrupt_event.load();
  if (event != nullptr) SetEvent(event);
  return TRUE;  // the run ends itself, after writing the rows it has
}

std::uint32_t ReportUsageError(const UsageError& error) {
  const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  WriteText(errors, L"quillmark: " + error.message + kLineEnd + UsageText());
  return kExitUsage;
}

std::vector<LookupRow> RowsInOrder(const FleetResult& result) {
  std::vector<LookupRow> rows;
  for (const std::optional<ComputerRows>& computer : result.computers) {
    if (computer) rows.insert(rows.end(), computer->begin(), computer->end());
  }
  return rows;
}

// Writes the rows; a file or pipe gets UTF-8, with a byte-order mark where the format wants one.
bool WriteRows(OutputFormat format, const std::vector<LookupRow>& rows) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  const std::wstring text = FormatRows(format, rows);
  if (IsConsole(output)) return WriteText(output, text);
  const std::string prefix = StartsWithByteOrderMark(format) ? kUtf8ByteOrderMark : "";
  return WriteBytes(output, prefix + Utf8FromWide(text));
}

std::uint32_t Run(const CompanionOptions& options) {
  const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  const bool show_progress = !options.quiet && IsConsole(errors);
  ProgressLine progress_line(errors);
  const ProgressReceiver progress = [&](const LookupProgress& state) {
    if (show_progress) progress_line.Show(ProgressText(state));
  };

  // Lives until the process ends: the handler may still run while the rows are written.
  static const UniqueEvent stop(true);
  interrupt_event.store(stop.get());
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  const FleetPlan plan{options.computers, options.parallel,
                       std::chrono::seconds(options.timeout_seconds), options.protocol,
                       std::chrono::milliseconds(options.reach_timeout_ms)};
  const FleetResult result = RunFleet(plan, stop.get(), progress);
  progress_line.Clear();

  const OutputFormat format = options.format.value_or(
      IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)) ? OutputFormat::kTable : OutputFormat::kCsv);
  const std::vector<LookupRow> rows = RowsInOrder(result);
  const bool written = WriteRows(format, rows);
  if (result.interrupted) return kExitInterrupted;
  if (!written) {
    WriteText(errors, L"quillmark: the results could not be written" + std::wstring(kLineEnd));
    return kExitSomeUnanswered;
  }
  return ExitCodeFor(options.computers, rows);
}

std::uint32_t Main(int argc, wchar_t** argv) {
  const std::vector<std::wstring> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  FileListSource lists;
  const CommandLine command_line = ParseCommandLine(arguments, lists);
  if (const auto* error = std::get_if<UsageError>(&command_line)) return ReportUsageError(*error);
  const CompanionOptions& options = std::get<CompanionOptions>(command_line);
  if (options.show_usage) {
    WriteText(GetStdHandle(STD_OUTPUT_HANDLE), UsageText());
    return 0;
  }
  return Run(options);
}

}  // namespace
}  // namespace quillmark::companion

int wmain(int argc, wchar_t** argv) {
  std::uint32_t exit_code = 1;
  try {
    exit_code = quillmark::companion::Main(argc, argv);
  } catch (const quillmark::PlatformFailure& failure) {
    quillmark::companion::WriteText(GetStdHandle(STD_ERROR_HANDLE),
                                    L"quillmark: error " +
                                        quillmark::FormatFailureCode(failure.code()) + L": " +
                                        failure.description() + L"\r\n");
  } catch (...) {
    quillmark::companion::WriteText(GetStdHandle(STD_ERROR_HANDLE),
                                    L"quillmark: the program ran out of memory\r\n");
  }
  // Lookups left behind at their deadlines must not hold the process: end it here and now, without
  // the libraries' detach code, which would run while those lookups are stopped in mid-call and can
  // crash on what they hold. Everything the run writes has been written by now.
  TerminateProcess(GetCurrentProcess(), exit_code);
  ExitProcess(exit_code);  // should the process not end itself
}
