// quillmark.exe: looks up the BIOS serial numbers of many computers at once and writes a table,
// CSV, JSON or JSON Lines, each computer's rows as soon as every computer before it has ended.
#include <windows.h>

#include <chrono>
#include <memory>
#include <new>
#include <string>
#include <variant>
#include <vector>

#include "adsi_directory.h"
#include "com_failure.h"
#include "com_owners.h"
#include "command_line.h"
#include "computer_names.h"
#include "console_io.h"
#include "fleet_lookup.h"
#include "inventory_file.h"
#include "inventory_text.h"
#include "inventory_update.h"
#include "list_files.h"
#include "lookup_rows.h"
#include "name_gathering.h"
#include "platform_failure.h"
#include "reachability.h"
#include "run_outcome.h"
#include "run_summary.h"
#include "serial_summary.h"
#include "stop_requests.h"
#include "text_encoding.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

void ReportLine(const std::wstring& line) {
  WriteText(GetStdHandle(STD_ERROR_HANDLE), L"quillmark: " + line + kLineEnd);
}

std::wstring FailureText(const PlatformFailure& failure) {
  return L"error " + FormatFailureCode(failure.code()) + L": " + VisibleText(failure.description());
}

// The mistake in one line, and where the options are: the whole usage would scroll it away.
std::uint32_t ReportUsageError(const std::wstring& message) {
  ReportLine(message);
  WriteText(GetStdHandle(STD_ERROR_HANDLE),
            L"Run quillmark --help for the options." + std::wstring(kLineEnd));
  return kExitUsage;
}

OutputFormat FormatFor(const CompanionOptions& options, bool console) {
  return options.format.value_or(console ? OutputFormat::kTable : OutputFormat::kCsv);
}

OutputStyle StyleFor(const CompanionOptions& options, const ComputerNames& computers,
                     bool console) {
  OutputStyle style;
  style.format = FormatFor(options, console);
  style.csv_raw = options.csv_raw;
  style.with = options.with;
  if (style.format == OutputFormat::kTable) {
    const auto timeout_ms = static_cast<std::uint64_t>(options.timeout_seconds) * 1000;
    style.table_widths = TableWidthsUpFront(computers, timeout_ms, options.with);
  }
  return style;
}

// What the rows of a run said, kept as they are written.
struct RunTally {
  std::size_t written = 0;  // computers whose rows were written
  bool all_answered = true;
  std::vector<bool> retry;  // by computer: it belongs in the retry list
};

// The names that gave no serial number, where --retry-list says; the failure, if any.
std::optional<PlatformFailure> WriteRetryList(const CompanionOptions& options,
                                              const ComputerNames& computers,
                                              const RunTally& tally) {
  if (!options.retry_list) return std::nullopt;
  ComputerNames names;
  for (std::size_t index = 0; index < computers.size(); ++index) {
    if (tally.retry[index]) names.Add(computers[index]);
  }
  return WriteWholeFile(*options.retry_list, NameListText(names));
}

// One line on standard error for each thing that went wrong beside the rows.
void ReportTrouble(const FleetOutcome& outcome, const std::optional<PlatformFailure>& output,
                   const std::optional<PlatformFailure>& retry_list) {
  if (outcome.no_thread) {
    ReportLine(L"no thread could be made for a lookup, with none running (" +
               FailureText(*outcome.no_thread) + L"); the computers left were not looked up");
  }
  if (outcome.out_of_memory) {
    ReportLine(L"the program ran out of memory; the rows that ended are written");
  }
  if (output) ReportLine(L"the results could not be written: " + FailureText(*output));
  if (retry_list) ReportLine(L"the retry list could not be written: " + FailureText(*retry_list));
}

// Lines on standard error, never in the output, the first after the program's name.
void ReportLines(const std::vector<std::wstring>& lines) {
  std::wstring text = L"quillmark: ";
  for (const std::wstring& line : lines) text += line;
  WriteText(GetStdHandle(STD_ERROR_HANDLE), text);
}

// How the run went, by cause, then what its serials said.
void ReportSummary(const RunSummary& summary, const SerialSummary& serials) {
  std::vector<std::wstring> lines = summary.Lines();
  const std::vector<std::wstring> serial_lines = serials.Lines();
  lines.insert(lines.end(), serial_lines.begin(), serial_lines.end());
  ReportLines(lines);
}

UtcSeconds UtcNow() { return UtcSecondsOf(std::chrono::system_clock::now()); }

// The inventory a run brings up to date (--inventory): its file, as read and locked, its table,
// and what the run does to it.
struct RunInventory {
  InventoryFile& file;
  Inventory& table;
  InventoryUpdate& update;
};

// Takes the computers into the plan, so that a long list is not held twice.
std::uint32_t Run(const CompanionOptions& options, ComputerNames computers_given,
                  RunInventory* inventory) {
  const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  const bool show_progress = !options.quiet && IsConsole(errors);
  ProgressLine progress_line(errors);
  const ProgressReceiver progress = [&](const LookupProgress& state) {
    if (show_progress) progress_line.Show(ProgressText(state));
  };

  const std::shared_ptr<EndedLookups> fleet = ListenForStops();

  const FleetPlan plan{std::move(computers_given),
                       options.parallel,
                       std::chrono::seconds(options.timeout_seconds),
                       options.protocol,
                       std::chrono::milliseconds(options.reach_timeout_ms),
                       options.with};
  const ComputerNames& computers = plan.computers;
  const HANDLE output_handle = GetStdHandle(STD_OUTPUT_HANDLE);
  const bool console = IsConsole(output_handle);
  OutputStream output(output_handle, StartsWithByteOrderMark(FormatFor(options, console)));
  OutputStyle style = StyleFor(options, computers, console);
  style.csv_header = output.starts_file();  // appended to a file of rows, no second header
  RowFormatter formatter(style);
  RunTally tally;
  tally.retry.assign(computers.size(), true);
  RunSummary summary(
      computers.size(),
      [&](std::int32_t code) {
        const std::wstring hint = UnreachableHint(code, options.protocol);
        return hint.empty() ? FailureHint(code) : hint;
      },
      [](std::int32_t code) { return FailureFromHresult(code).description(); });
  SerialSummary serials(computers);
  const RowsReceiver receive = [&](std::size_t index, const ComputerRows& rows) {
    // Merged and formatted first: a memory failure then leaves the computer to be handed on again.
    if (inventory) inventory->update.Merge(index, rows, UtcNow());
    const std::wstring text = formatter.Rows(rows);
    const bool answered = ExitCodeFor({std::wstring(computers[index])}, rows) == kExitAllAnswered;
    summary.Add(rows);
    serials.Add(index, rows);
    ++tally.written;
    tally.retry[index] = NeedsRetry(rows);
    tally.all_answered = tally.all_answered && answered;
    progress_line.Clear();  // the rows may go to the same console
    return output.Write(text);
  };

  FleetOutcome outcome;
  try {
    // Output that cannot take even its first line is no reason to contact any computer.
    if (output.Write(formatter.Opening())) outcome = RunFleet(plan, fleet, receive, progress);
  } catch (...) {
    output.Write(formatter.Closing());
    output.Finish();
    throw;
  }
  progress_line.Clear();
  output.Write(formatter.Closing());
  output.Finish();

  const std::optional<PlatformFailure> retry_failure = WriteRetryList(options, computers, tally);
  // With every computer that ended, also after a stop.
  const std::optional<std::wstring> inventory_failure =
      inventory ? inventory->file.Replace(InventoryText(inventory->table)) : std::nullopt;

  ReportTrouble(outcome, output.failure(), retry_failure);
  if (inventory_failure) ReportLine(*inventory_failure);
  if (!options.quiet) ReportSummary(summary, serials);
  if (!options.quiet && inventory)
    ReportLines(inventory->update.Lines(*options.inventory, UtcNow()));
  if (output.failure() || retry_failure || inventory_failure) return kExitOutputFailed;
  if (outcome.interrupted) return kExitInterrupted;
  const bool complete = tally.written == computers.size() && !outcome.out_of_memory;
  return complete && tally.all_answered ? kExitAllAnswered : kExitSomeUnanswered;
}

// Lists from files and standard input, and directory sources read through the platform's
// directory interface in an apartment of their own, counted on the progress line as they come.
class CompanionLists : public FileListSource {
 public:
  explicit CompanionLists(HANDLE errors) : errors_(errors), progress_line_(errors) {}

  DirectoryNames ReadDirectory(const DirectoryQuery& query) override {
    const bool show_progress = !query.quiet && IsConsole(errors_);
    const DirectoryProgress progress = [&](std::size_t given) {
      // A console write a row would slow a large directory down.
      if (show_progress && given % 100 == 0) {
        progress_line_.Show(L"reading the directory: " + std::to_wstring(given) + L" computers");
      }
    };
    DirectoryNames read;
    try {
      const ComApartment apartment;
      read.names = ReadDirectoryNames(query, progress);
    } catch (const PlatformFailure& failure) {
      read.failure = failure;
    }
    progress_line_.Clear();
    return read;
  }

 private:
  HANDLE errors_;
  ProgressLine progress_line_;
};

// --names-only: the names a run would look up, one a line, for @FILE.
std::uint32_t WriteNames(const ComputerNames& names) {
  OutputStream output(GetStdHandle(STD_OUTPUT_HANDLE), false);
  output.Write(NameListText(names));
  output.Finish();
  if (!output.failure()) return kExitAllAnswered;
  ReportLine(L"the names could not be written: " + FailureText(*output.failure()));
  return kExitOutputFailed;
}

std::uint32_t Main(int argc, wchar_t** argv) {
  const std::vector<std::wstring> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  CommandLine command_line = ParseCommandLine(arguments);
  if (const auto* error = std::get_if<UsageError>(&command_line)) {
    return ReportUsageError(error->message);
  }
  const CompanionOptions& options = std::get<CompanionOptions>(command_line);
  if (options.show_usage) {
    WriteText(GetStdHandle(STD_OUTPUT_HANDLE), UsageText());
    return 0;
  }
  if (options.retry_list && !options.names_only) {
    // Found before any lookup, so that a long run never ends with its retry list lost.
    if (const auto failure = CannotWriteFile(*options.retry_list)) {
      ReportLine(L"the retry list " + VisibleText(L"\"" + *options.retry_list + L"\"") +
                 L" cannot be written: " + FailureText(*failure));
      return kExitUsage;
    }
  }
  // The inventory is read and checked before any source is.
  std::optional<InventoryFile> inventory_file;
  Inventory inventory;
  if (options.inventory) {
    inventory_file.emplace(*options.inventory);
    const InventoryBytes read =
        options.names_only ? inventory_file->Read() : inventory_file->OpenForRun();
    if (!read.bytes) {
      ReportLine(read.problem);
      return kExitUsage;
    }
    auto table = ReadInventory(*read.bytes);
    if (const auto* problem = std::get_if<InventoryProblem>(&table)) {
      ReportLine(InventoryProblemText(*options.inventory, *problem));
      return kExitUsage;
    }
    inventory = std::move(std::get<Inventory>(table));
  }
  ComputerNames computers;
  if (!options.sources.empty()) {
    CompanionLists lists(GetStdHandle(STD_ERROR_HANDLE));
    auto gathered = GatherNames(options.sources, {options.directory_filter, options.quiet}, lists);
    if (const auto* problem = std::get_if<SourceProblem>(&gathered)) {
      if (problem->usage) return ReportUsageError(problem->message);
      ReportLine(problem->message);
      return kExitUsage;
    }
    GatheredNames& read = std::get<GatheredNames>(gathered);
    for (const std::wstring& notice : read.notices) ReportLine(notice);
    computers = std::move(read.names);
    // Directory sources that gave nothing, with nothing else given: said above, and no clean run.
    if (computers.empty() && !inventory_file) return kExitSomeUnanswered;
  }
  if (!inventory_file) {
    if (options.names_only) return WriteNames(computers);
    return Run(options, std::move(computers), nullptr);
  }
  InventoryUpdate update(inventory, options.sources.empty() ? nullptr : &computers,
                         options.max_age_days, options.with, UtcNow());
  computers = ComputerNames();  // the update holds the run's own list
  if (options.names_only) return WriteNames(update.computers());
  RunInventory run_inventory{*inventory_file, inventory, update};
  return Run(options, update.TakeComputers(), &run_inventory);
}

}  // namespace
}  // namespace quillmark::companion

int wmain(int argc, wchar_t** argv) {
  using namespace quillmark::companion;
  std::uint32_t exit_code = 1;
  try {
    exit_code = Main(argc, argv);
  } catch (const quillmark::PlatformFailure& failure) {
    ReportLine(FailureText(failure));
  } catch (const std::bad_alloc&) {
    ReportLine(L"the program ran out of memory");
  } catch (...) {
    ReportLine(L"the program failed unexpectedly");
  }
  // Everything the run writes has been written by now.
  EndProcess(exit_code);
}
