// The companion's command line: which computers to look up, and how. Parsing only parses: the
// sources come out as given, and are read afterwards (name_gathering.h).
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "directory_source.h"
#include "inventory_update.h"
#include "lookup_rows.h"
#include "name_sources.h"
#include "protocol_choice.h"
#include "serial_facts.h"

namespace quillmark::companion {

inline constexpr int kDefaultParallel = 32;
inline constexpr int kMaxParallel = 256;
inline constexpr int kDefaultTimeoutSeconds = 30;
inline constexpr int kMaxTimeoutSeconds = 86400;
inline constexpr int kDefaultReachTimeoutMs = 1500;
inline constexpr int kMaxReachTimeoutMs = 60000;

struct CompanionOptions {
  // Where the computers come from, in the order given: names, lists and directory sources.
  std::vector<NameSource> sources;
  // Which computer accounts the directory sources give.
  DirectoryFilter directory_filter;
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
  // The facts read beside each serial (--with), each a column of its own.
  AskedFacts with{};
  // Write the names a run would look up, one a line, and look nothing up.
  bool names_only = false;
  // The inventory each run brings up to date; with it, the sources may be left out.
  std::optional<std::wstring> inventory;
  // Leave out the computers whose serial the inventory read within this many days.
  std::optional<int> max_age_days;
  // Asked for help: nothing else was checked, and `sources` is empty.
  bool show_usage = false;
};

// What is wrong with a command line, in one line that names the option or the argument concerned.
// The caller prints it, then UsageText(), and exits with kExitUsage.
struct UsageError {
  std::wstring message;
};

using CommandLine = std::variant<CompanionOptions, UsageError>;

// The options and sources of the program's arguments (its name excluded). Reads no file, no
// standard input and no directory. Names are taken exactly as given; "@FILE", "-" and
// "LDAP://..." become sources of their kinds, in place. An option may be given again: the last one
// counts. Any of --help, -h and /? before "--" wins over everything else. Never throws for a bad
// command line.
CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// A few lines on how to run the program, each ending in kLineEnd, from the same table of options
// that the parser reads.
std::wstring UsageText();

}  // namespace quillmark::companion
