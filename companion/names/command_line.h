// The companion's command line: which computers to look up, and how.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "directory_source.h"
#include "lookup_rows.h"
#include "name_list.h"
#include "platform_failure.h"
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
  // Write the names a run would look up, one a line, and look nothing up.
  bool names_only = false;
  // Asked for help: nothing else was read or checked, and `computers` is empty.
  bool show_usage = false;
};

// What is wrong with a command line, in one line that names the option or the file concerned. The
// caller prints it, then UsageText(), and exits with kExitUsage.
struct UsageError {
  std::wstring message;
};

// A directory source that could not be read, in one line that names it, the code and the
// description, and the guide's hint where there is one. The caller prints it and exits with
// kExitUsage, without the usage: the command line itself is sound.
struct UnreadableSource {
  std::wstring message;
};

// The raw bytes of a list of names, or why they could not be read.
struct ListBytes {
  std::optional<std::string> bytes;
  std::wstring failure_reason;  // when `bytes` is empty: the platform's own words
};

// What a directory source is read with.
struct DirectoryQuery {
  DirectorySource source;
  std::wstring filter;  // the LDAP search filter (ComputerSearchFilter)
  bool quiet = false;   // no progress while it is read
};

// The names of the computers a directory source gave, in any order, or why it could not be read.
struct DirectoryNames {
  std::vector<std::wstring> names;
  std::optional<PlatformFailure> failure;
};

// Where "@FILE" and "-" lists and directory sources come from: the file system, standard input and
// the directory, or a test's fake.
class ListSource {
 public:
  virtual ~ListSource() = default;
  virtual ListBytes ReadFile(const std::wstring& path) = 0;
  virtual ListBytes ReadStandardInput() = 0;
  virtual DirectoryNames ReadDirectory(const DirectoryQuery& query) = 0;
};

using CommandLine = std::variant<CompanionOptions, UsageError, UnreadableSource>;

// The options of the program's arguments (its name excluded). Names given as arguments are taken
// exactly as given; "@FILE" and "-" lists are read through `lists` when met, standard input once
// at most. An option may be given again: the last one counts. Directory sources ("LDAP://...") are
// read through `lists` once every argument has been walked, with the filter options as they stand
// then; each one's names, sorted (SortComputerNames), take the source's place among the others.
// Any of --help, -h and /? before "--" wins over everything else. Never throws for a bad command
// line.
CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments, ListSource& lists);

// A few lines on how to run the program, each ending in kLineEnd.
std::wstring UsageText();

}  // namespace quillmark::companion
