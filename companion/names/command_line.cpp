// Reading the companion's arguments and the name lists they point to.
#include "command_line.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <utility>

#include "name_list.h"
#include "text_encoding.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

constexpr wchar_t kEndOfOptions[] = L"--";
constexpr wchar_t kStandardInput[] = L"-";

bool IsHelpOption(const std::wstring& argument) {
  return argument == L"--help" || argument == L"-h" || argument == L"/?";
}

bool AsksForHelp(const std::vector<std::wstring>& arguments) {
  const auto end = std::find(arguments.begin(), arguments.end(), kEndOfOptions);
  return std::any_of(arguments.begin(), end, IsHelpOption);
}

// A lone "-" is standard input, so an option has at least one more character.
bool IsOption(const std::wstring& argument) { return argument.size() > 1 && argument[0] == L'-'; }

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The platform's reason may end in a line break, and the message must stay one line.
std::wstring OneLine(std::wstring text) {
  std::replace_if(
      text.begin(), text.end(), [](wchar_t unit) { return unit == L'\r' || unit == L'\n'; }, L' ');
  text.erase(text.find_last_not_of(L' ') + 1);
  return text;
}

[[noreturn]] void Fail(std::wstring message) { throw UsageError{std::move(message)}; }

// The source as given, and the failure as the program reports any: the directory's text is
// untrusted, so it is shown by the visible convention, on one line.
std::wstring SourceFailureText(const std::wstring& argument, const PlatformFailure& failure) {
  std::wstring text = L"cannot read " + VisibleText(Quoted(argument)) + L": error " +
                      FormatFailureCode(failure.code()) + L": " +
                      VisibleText(OneLine(failure.description()));
  const std::wstring hint = FailureHint(failure.code());
  return hint.empty() ? text : text + L" " + hint;
}

// A whole number from `minimum` to `maximum` in decimal digits alone: no sign, no blanks.
std::optional<int> CountFrom(const std::wstring& text, int maximum, int minimum = 1) {
  int count = 0;
  for (const wchar_t unit : text) {
    if (unit < L'0' || unit > L'9') return std::nullopt;
    count = count * 10 + static_cast<int>(unit - L'0');
    if (count > maximum) return std::nullopt;
  }
  if (text.empty() || count < minimum) return std::nullopt;
  return count;
}

// Walks the arguments in order. Throws UsageError, which ParseCommandLine turns into its result.
class ArgumentWalk {
 public:
  ArgumentWalk(const std::vector<std::wstring>& arguments, ListSource& lists)
      : arguments_(arguments), lists_(lists) {}

  CompanionOptions Options() {
    while (next_ < arguments_.size()) TakeArgument(arguments_[next_++]);
    if (names_.empty() && sources_.empty()) Fail(L"no computer names given");
    options_.computers = WithoutRepeatedNames(sources_.empty() ? names_ : WithSourcesRead());
    return std::move(options_);
  }

 private:
  // A directory source and how many names were given before it.
  struct PlacedSource {
    std::size_t place;
    std::wstring argument;
    DirectorySource source;
  };

  void TakeArgument(const std::wstring& argument) {
    if (only_names_) {
      names_.Add(argument);
    } else if (argument == kEndOfOptions) {
      only_names_ = true;
    } else if (argument == kStandardInput) {
      TakeStandardInput();
    } else if (argument.rfind(L'@', 0) == 0) {
      TakeFile(argument.substr(1));
    } else if (IsDirectorySource(argument)) {
      TakeDirectorySource(argument);
    } else if (IsOption(argument)) {
      TakeOption(argument);
    } else {
      names_.Add(argument);
    }
  }

  void TakeOption(const std::wstring& argument) {
    const bool long_option = argument.rfind(kEndOfOptions, 0) == 0;
    const std::size_t equals = long_option ? argument.find(L'=') : std::wstring::npos;
    const std::wstring name = argument.substr(0, equals);
    std::optional<std::wstring> attached_value;
    if (equals != std::wstring::npos) attached_value = argument.substr(equals + 1);
    if (name == L"--quiet") {
      options_.quiet = SwitchedOn(name, attached_value);
    } else if (name == L"--csv-raw") {
      options_.csv_raw = SwitchedOn(name, attached_value);
    } else if (name == L"--names-only") {
      options_.names_only = SwitchedOn(name, attached_value);
    } else if (name == L"--include-disabled") {
      filter_.include_disabled = SwitchedOn(name, attached_value);
    } else if (name == L"--active-days") {
      filter_.active_days = ActiveDaysValue(name, attached_value);
    } else if (name == L"--retry-list") {
      const std::wstring path = ValueOf(name, attached_value);
      if (path.empty()) Fail(L"--retry-list needs a file name");
      options_.retry_list = path;
    } else if (name == L"--parallel") {
      options_.parallel = CountValue(name, attached_value, kMaxParallel);
    } else if (name == L"--timeout") {
      options_.timeout_seconds = CountValue(name, attached_value, kMaxTimeoutSeconds);
    } else if (name == L"--format") {
      options_.format = FormatValue(name, attached_value);
    } else if (name == L"--reach-timeout") {
      options_.reach_timeout_ms = CountValue(name, attached_value, kMaxReachTimeoutMs, 0);
    } else if (name == L"--protocol") {
      const std::wstring value = ValueOf(name, attached_value);
      const auto protocol = ProtocolChoiceNamed(value);
      if (!protocol) Fail(name + L" needs auto, dcom or wsman, not " + Quoted(value));
      options_.protocol = *protocol;
    } else {
      Fail(L"unknown option " + Quoted(name));
    }
  }

  // An option that takes no value is on once given.
  static bool SwitchedOn(const std::wstring& name, const std::optional<std::wstring>& attached) {
    if (attached) Fail(name + L" takes no value");
    return true;
  }

  std::wstring ValueOf(const std::wstring& name, const std::optional<std::wstring>& attached) {
    if (attached) return *attached;
    if (next_ == arguments_.size()) Fail(name + L" needs a value");
    return arguments_[next_++];
  }

  int CountValue(const std::wstring& name, const std::optional<std::wstring>& attached, int maximum,
                 int minimum = 1) {
    return CountIn(name, ValueOf(name, attached), maximum, minimum);
  }

  int CountIn(const std::wstring& name, const std::wstring& value, int maximum, int minimum) {
    const auto count = CountFrom(value, maximum, minimum);
    if (!count) {
      Fail(name + L" needs a whole number from " + std::to_wstring(minimum) + L" to " +
           std::to_wstring(maximum) + L", not " + Quoted(value));
    }
    return *count;
  }

  int ActiveDaysValue(const std::wstring& name, const std::optional<std::wstring>& attached) {
    const std::wstring value = ValueOf(name, attached);
    if (CountFrom(value, kMinActiveDays - 1, 0)) {
      Fail(name + L" needs at least " + std::to_wstring(kMinActiveDays) + L" days, not " +
           Quoted(value) + L": the directory records a computer's logon only once in 9 to 14 days");
    }
    return CountIn(name, value, kMaxActiveDays, kMinActiveDays);
  }

  OutputFormat FormatValue(const std::wstring& name, const std::optional<std::wstring>& attached) {
    const std::wstring value = ValueOf(name, attached);
    const auto format = FormatNamed(value);
    if (!format) Fail(name + L" needs table, csv, json or jsonl, not " + Quoted(value));
    return *format;
  }

  void TakeFile(const std::wstring& path) {
    if (path.empty()) Fail(L"\"@\" needs a file name after it");
    TakeList(lists_.ReadFile(path), Quoted(path));
  }

  // Standard input has one content; a second "-" would only find it used up.
  void TakeStandardInput() {
    if (standard_input_read_) return;
    standard_input_read_ = true;
    TakeList(lists_.ReadStandardInput(), L"standard input");
  }

  void TakeList(const ListBytes& read, const std::wstring& source) {
    if (!read.bytes) {
      const std::wstring reason = OneLine(read.failure_reason);
      Fail(L"cannot read " + source + (reason.empty() ? L"" : L": " + reason));
    }
    if (const auto invalid = AddNamesFromListBytes(*read.bytes, names_)) {
      Fail(source + L" is not valid text: " + invalid->problem);
    }
  }

  void TakeDirectorySource(const std::wstring& argument) {
    std::optional<DirectorySource> source = ParseDirectorySource(argument);
    if (!source) {
      Fail(VisibleText(Quoted(argument)) +
           L" is not a directory path: LDAP://DN, LDAP://SERVER/DN, LDAP://SERVER or LDAP://");
    }
    sources_.push_back({names_.size(), argument, std::move(*source)});
  }

  // The names given, with each source's read and put in its place, one source at a time.
  ComputerNames WithSourcesRead() {
    const std::wstring filter = ComputerSearchFilter(filter_, std::chrono::system_clock::now());
    ComputerNames all;
    auto source = sources_.begin();
    for (std::size_t index = 0; index <= names_.size(); ++index) {
      for (; source != sources_.end() && source->place == index; ++source) {
        for (const std::wstring& name : ReadSource(*source, filter)) {
          if (!name.empty()) all.Add(name);
        }
      }
      if (index < names_.size()) all.Add(names_[index]);
    }
    return all;
  }

  std::vector<std::wstring> ReadSource(const PlacedSource& placed, const std::wstring& filter) {
    DirectoryNames read = lists_.ReadDirectory({placed.source, filter, options_.quiet});
    if (read.failure) throw UnreadableSource{SourceFailureText(placed.argument, *read.failure)};
    SortComputerNames(read.names);
    return std::move(read.names);
  }

  const std::vector<std::wstring>& arguments_;
  ListSource& lists_;
  std::size_t next_ = 0;
  bool only_names_ = false;
  bool standard_input_read_ = false;
  ComputerNames names_;  // as given, repeats and all
  std::vector<PlacedSource> sources_;
  DirectoryFilter filter_;
  CompanionOptions options_;
};

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments, ListSource& lists) {
  if (AsksForHelp(arguments)) {
    CompanionOptions help;
    help.show_usage = true;
    return help;
  }
  try {
    return ArgumentWalk(arguments, lists).Options();
  } catch (UsageError& error) {
    return std::move(error);
  } catch (UnreadableSource& unreadable) {
    return std::move(unreadable);
  }
}

std::wstring UsageText() {
  const std::wstring lines[] = {
      L"Usage: quillmark [options] NAME... | @FILE | - | LDAP://...",
      L"Looks up the BIOS serial number of each computer named, several at a time.",
      L"",
      L"  NAME            a computer name, taken exactly as given",
      L"  @FILE           names from FILE, one a line; blank lines and lines starting with #",
      L"                  are skipped; UTF-8, or UTF-16 with a byte-order mark",
      L"  -               names from standard input, read as a file",
      L"  LDAP://DN       the enabled computers under DN in the directory, by DNS host name (cn",
      L"                  where it has none), sorted; also LDAP://SERVER/DN, LDAP://SERVER (its",
      L"                  whole domain) and LDAP:// (this computer's domain)",
      L"  --include-disabled  disabled computer accounts too",
      L"  --active-days N only computers whose last logon the directory recorded within N days",
      L"                  (" + std::to_wstring(kMinActiveDays) + L" to " +
          std::to_wstring(kMaxActiveDays) + L")",
      L"  --names-only    write the names that would be looked up, one a line, as @FILE reads",
      L"                  them, and look nothing up",
      L"  --parallel N    look up at most N computers at once (1 to " +
          std::to_wstring(kMaxParallel) + L", default " + std::to_wstring(kDefaultParallel) + L")",
      L"  --timeout S     give up on a computer after S seconds (1 to " +
          std::to_wstring(kMaxTimeoutSeconds) + L", default " +
          std::to_wstring(kDefaultTimeoutSeconds) + L")",
      L"  --format F      table, csv, json or jsonl (JSON Lines); default: table on a console,",
      L"                  csv otherwise",
      L"  --csv-raw       no apostrophe before CSV fields that start with = + - @ tab or CR",
      L"  --retry-list F  write the names that gave no serial number to F, for @F",
      L"  --quiet         no progress line and no summary at the end",
      L"  --reach-timeout MS  before each lookup, wait at most MS milliseconds for TCP 135 or",
      L"                  5985 to accept, and report a computer where neither does as",
      L"                  unreachable (0 to " + std::to_wstring(kMaxReachTimeoutMs) +
          L", default " + std::to_wstring(kDefaultReachTimeoutMs) + L"; 0: no check)",
      L"  --protocol P    auto, dcom or wsman (default auto: DCOM where TCP 135 answers,",
      L"                  WS-Management where only 5985 does)",
      L"  --help, -h, /?  this text",
      L"  --              every argument after it is a name",
      L"",
      L"Exit code: 0 when every computer gave its serial number, 1 when any did not, 2 for a",
      L"mistake in the command line or a list or directory that cannot be read, 3 when the",
      L"output could not be written.",
  };
  std::wstring text;
  for (const std::wstring& line : lines) text += line + kLineEnd;
  return text;
}

}  // namespace quillmark::companion
