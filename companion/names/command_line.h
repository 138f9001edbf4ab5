// The companion's command line: which computers to look up, and how.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "lookup_rows.h"
#include "name_list.h"
#include "protocol_choice.h"

namespace quillmark::companion {

inline constexpr int kDefaultParallel = 32;
inline constexpr int kMaxParallel = 256;
inline constexpr int kDefaultTimeoutSeconds = 30;
inline constexpr int kMaxTimeoutSeconds = 86400;
inline constexpr int kDefaultReachTimeoutMs = 1500;
inline constexpr int kMaxReachTimeoutMs = 60000;

struct CompanionOptions {
  // Each computer once, as and where first given (see WithoutRepeatedNames).
  ComputerNames computers;
  int parallel = kDefaultParallel;
  int timeout_seconds = kDefaultTimeoutSeconds;
  // Not given: the caller picks a table for a console and CSV otherwise.
  std::optional<OutputFormat> format;
  bool quiet = false;
  bool csv_raw = false;  // CSV fields that look like formulas are written without an apostrophe
  // Where the names that gave no serial number go, one a line, to be read back as @FILE.
  std::optional<std::wstring> retry_list;
  // How long the reachability check waits for TCP 135 or 5985 to accept; 0: no check.
  int reach_timeout_ms = kDefaultReachTimeoutMs;
  ProtocolChoice protocol = ProtocolChoice::kAuto;
  // Asked for help: nothing else was read or checked, and `computers` is empty.
  bool show_usage = false;
};

// What is wrong with a command line, in one line that names the option or the file concerned. The
// caller prints it, then UsageText(), and exits with kExitUsage.
struct UsageError {
  std::wstring message;
};

// The raw bytes of a list of names, or why they could not be read.
struct ListBytes {
  std::optional<std::string> bytes;
  std::wstring failure_reason;  // when `bytes` is empty: the platform's own words
};

// Where "@FILE" and "-" lists come from: the file system and standard input, or a test's fake.
class ListSource {
 public:
  virtual ~ListSource() = default;
  virtual ListBytes ReadFile(const std::wstring& path) = 0;
  virtual ListBytes ReadStandardInput() = 0;
};

using CommandLine = std::variant<CompanionOptions, UsageError>;

// The options of the program's arguments (its name excluded). Names given as arguments are taken
// exactly as given; "@FILE" and "-" lists are read through `lists` when met, standard input once
// at most. An option may be given again: the last one counts. Any of --help, -h and /? before "--"
// wins over everything else. Never throws for a bad command line.
CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments, ListSource& lists);

// A few lines on how to run the program, each ending in kLineEnd.
std::wstring UsageText();

}  // namespace quillmark::companion
