// Reading the companion's arguments, and its usage, from one table of options.
#include "command_line.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <set>
#include <utility>

#include "platform_failure.h"
#include "text_encoding.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

constexpr wchar_t kEndOfOptions[] = L"--";
constexpr wchar_t kStandardInput[] = L"-";

// The whole numbers an option takes, and what the usage says of them.
struct CountRange {
  int minimum;
  int maximum;
  std::optional<int> fallback;    // the default, where the usage names one
  const wchar_t* note = nullptr;  // a last word on the range ("0: no check")
  // Why a number below the minimum makes no sense, where that needs saying.
  const wchar_t* below_minimum = nullptr;
};

// One option: its name, whether and what value it takes, its line of help, and what it sets. A
// switch (no value name) is on once given; an option with a range takes a whole number in it.
struct OptionRow {
  const wchar_t* name;
  const wchar_t* value_name;  // the value as the usage calls it; null: the option takes none
  std::optional<CountRange> range;
  std::wstring help;  // the range, where there is one, follows it in the usage
  // Sets the option from its value: the text as given, and the number where the option has a
  // range. Throws UsageError for a value it does not take.
  std::function<void(CompanionOptions&, const std::wstring& value, int count)> set;
};

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

[[noreturn]] void Fail(std::wstring message) { throw UsageError{std::move(message)}; }

std::wstring RangeText(const CountRange& range) {
  std::wstring text =
      L"(" + std::to_wstring(range.minimum) + L" to " + std::to_wstring(range.maximum);
  if (range.fallback) text += L", default " + std::to_wstring(*range.fallback);
  if (range.note) text += std::wstring(L"; ") + range.note;
  return text + L")";
}

// A text option that names a file.
template <typename Member>
auto FileName(const wchar_t* name, Member member) {
  return [name, member](CompanionOptions& options, const std::wstring& value, int) {
    if (value.empty()) Fail(name + std::wstring(L" needs a file name"));
    options.*member = value;
  };
}

template <typename Member>
auto Number(Member member) {
  return [member](CompanionOptions& options, const std::wstring&, int count) {
    options.*member = count;
  };
}

template <typename Member>
auto On(Member member) {
  return [member](CompanionOptions& options, const std::wstring&, int) { options.*member = true; };
}

// "maker, model, ..., bios_maker": every fact's name, in the columns' order.
std::wstring FactNames() {
  std::wstring names;
  for (const Fact fact : kEveryFact)
    names += (names.empty() ? L"" : L", ") + std::wstring(FactName(fact));
  return names;
}

// The facts a --with list names: comma-separated, in any case, blanks around a name ignored; "all"
// alone names every one. A name unknown, empty or given twice is a mistake that names it.
AskedFacts FactsNamed(const std::wstring& list) {
  AskedFacts asked{};
  for (std::size_t start = 0;;) {
    const std::size_t comma = std::min(list.find(L',', start), list.size());
    const std::wstring given = TrimBlanks(list.substr(start, comma - start));
    const std::wstring name = AsciiLowerCase(given);
    const std::optional<Fact> fact = FactNamed(name);
    if (name == L"all" && start == 0 && comma == list.size()) {
      asked.fill(true);
    } else if (name == L"all") {
      Fail(L"--with all names every fact: give it alone, not in " + VisibleText(Quoted(list)));
    } else if (!fact) {
      Fail(L"--with takes " + FactNames() + L" or all, comma-separated, not " +
           VisibleText(Quoted(given)));
    } else if (asked[FactIndex(*fact)]) {
      Fail(L"--with names " + Quoted(name) + L" twice");
    } else {
      asked[FactIndex(*fact)] = true;
    }
    if (comma == list.size()) return asked;
    start = comma + 1;
  }
}

// The option table: the parser and the usage both read it, in this order.
const std::vector<OptionRow>& OptionTable() {
  static const std::vector<OptionRow> table = {
      {L"--include-disabled", nullptr, std::nullopt, L"disabled computer accounts too",
       [](CompanionOptions& chosen, const std::wstring&, int) {
         chosen.directory_filter.include_disabled = true;
       }},
      {L"--active-days", L"N",
       CountRange{kMinActiveDays, kMaxActiveDays, std::nullopt, nullptr,
                  L"the directory records a computer's logon only once in 9 to 14 days"},
       L"only computers whose last logon the directory recorded within N days",
       [](CompanionOptions& chosen, const std::wstring&, int count) {
         chosen.directory_filter.active_days = count;
       }},
      {L"--names-only", nullptr, std::nullopt,
       L"write the names that would be looked up, one a line, as @FILE reads them, and look "
       L"nothing up",
       On(&CompanionOptions::names_only)},
      {L"--parallel", L"N", CountRange{1, kMaxParallel, kDefaultParallel},
       L"look up at most N computers at once", Number(&CompanionOptions::parallel)},
      {L"--timeout", L"S", CountRange{1, kMaxTimeoutSeconds, kDefaultTimeoutSeconds},
       L"give up on a computer after S seconds", Number(&CompanionOptions::timeout_seconds)},
      {L"--format", L"F", std::nullopt,
       L"table, csv, json or jsonl (JSON Lines); default: table on a console, csv otherwise",
       [](CompanionOptions& chosen, const std::wstring& value, int) {
         chosen.format = FormatNamed(value);
         if (!chosen.format)
           Fail(L"--format needs table, csv, json or jsonl, not " + Quoted(value));
       }},
      {L"--csv-raw", nullptr, std::nullopt,
       L"no apostrophe before CSV fields that start with = + - @ tab or CR",
       On(&CompanionOptions::csv_raw)},
      {L"--retry-list", L"F", std::nullopt,
       L"write the names that gave no serial number to F, for @F",
       FileName(L"--retry-list", &CompanionOptions::retry_list)},
      {L"--quiet", nullptr, std::nullopt, L"no progress line and no summary at the end",
       On(&CompanionOptions::quiet)},
      {L"--reach-timeout", L"MS",
       CountRange{0, kMaxReachTimeoutMs, kDefaultReachTimeoutMs, L"0: no check"},
       L"before each lookup, wait at most MS milliseconds for TCP 135 or 5985 to accept, and "
       L"report a computer where neither does as unreachable",
       Number(&CompanionOptions::reach_timeout_ms)},
      {L"--protocol", L"P", std::nullopt,
       L"auto, dcom or wsman (default auto: DCOM where TCP 135 answers, WS-Management where only "
       L"5985 does)",
       [](CompanionOptions& chosen, const std::wstring& value, int) {
         const auto protocol = ProtocolChoiceNamed(value);
         if (!protocol) Fail(L"--protocol needs auto, dcom or wsman, not " + Quoted(value));
         chosen.protocol = *protocol;
       }},
      {L"--inventory", L"FILE", std::nullopt,
       L"bring the inventory in FILE (CSV) up to date with this run; with no names, look up the "
       L"computers it holds",
       FileName(L"--inventory", &CompanionOptions::inventory)},
      {L"--max-age", L"DAYS", CountRange{1, kMaxAgeDaysLimit, std::nullopt},
       L"with --inventory, leave out the computers whose serial number it read within DAYS days",
       Number(&CompanionOptions::max_age_days)},
      {L"--with", L"LIST", std::nullopt,
       L"also read these facts beside each serial, each a column of its own: " + FactNames() +
           L", or all",
       [](CompanionOptions& chosen, const std::wstring& value, int) {
         chosen.with = FactsNamed(value);
       }},
  };
  return table;
}

bool IsHelpOption(const std::wstring& argument) {
  return argument == L"--help" || argument == L"-h" || argument == L"-?" || argument == L"/?";
}

constexpr wchar_t kDirectoryForms[] = L"LDAP://DN, LDAP://SERVER/DN, LDAP://SERVER or LDAP://";

// Whether an argument looks like a path of some scheme ("GC://...", "LDAPS://...", "LDAP:/..."),
// which no computer's name does.
bool LooksLikeAPath(const std::wstring& argument) {
  return argument.find(L"://") != std::wstring::npos ||
         AsciiLowerCase(argument.substr(0, 5)) == L"ldap:";
}

bool AsksForHelp(const std::vector<std::wstring>& arguments) {
  const auto end = std::find(arguments.begin(), arguments.end(), kEndOfOptions);
  return std::any_of(arguments.begin(), end, IsHelpOption);
}

// A lone "-" is standard input, so an option has at least one more character.
bool IsOption(const std::wstring& argument) { return argument.size() > 1 && argument[0] == L'-'; }

// A whole number from `minimum` to `maximum` in decimal digits alone: no sign, no blanks.
std::optional<int> CountFrom(const std::wstring& text, int maximum, int minimum) {
  int count = 0;
  for (const wchar_t unit : text) {
    if (unit < L'0' || unit > L'9') return std::nullopt;
    count = count * 10 + static_cast<int>(unit - L'0');
    if (count > maximum) return std::nullopt;
  }
  if (text.empty() || count < minimum) return std::nullopt;
  return count;
}

int CountIn(const std::wstring& name, const std::wstring& value, const CountRange& range) {
  if (range.below_minimum && CountFrom(value, range.minimum - 1, 0)) {
    Fail(name + L" needs at least " + std::to_wstring(range.minimum) + L" days, not " +
         Quoted(value) + L": " + range.below_minimum);
  }
  const auto count = CountFrom(value, range.maximum, range.minimum);
  if (!count) {
    Fail(name + L" needs a whole number from " + std::to_wstring(range.minimum) + L" to " +
         std::to_wstring(range.maximum) + L", not " + Quoted(value));
  }
  return *count;
}

// Walks the arguments in order. Throws UsageError, which ParseCommandLine turns into its result.
class ArgumentWalk {
 public:
  explicit ArgumentWalk(const std::vector<std::wstring>& arguments) : arguments_(arguments) {}

  CompanionOptions Options() {
    while (next_ < arguments_.size()) TakeArgument(arguments_[next_++]);
    if (options_.sources.empty() && !options_.inventory) Fail(L"no computer names given");
    if (options_.max_age_days && !options_.inventory) Fail(L"--max-age needs --inventory FILE");
    RefuseWhatCannotApply();
    return std::move(options_);
  }

 private:
  void TakeArgument(const std::wstring& argument) {
    if (only_names_) {
      options_.sources.push_back({NameSource::Kind::kName, argument, {}, true});
    } else if (argument == kEndOfOptions) {
      only_names_ = true;
    } else if (argument == kStandardInput) {
      AddSource(NameSource::Kind::kStandardInput, argument);
    } else if (argument.rfind(L'@', 0) == 0) {
      if (argument.size() == 1) Fail(L"\"@\" needs a file name after it");
      AddSource(NameSource::Kind::kFile, argument.substr(1));
    } else if (IsDirectorySource(argument)) {
      TakeDirectorySource(argument);
    } else if (IsOption(argument)) {
      TakeOption(argument);
    } else if (argument.rfind(L'/', 0) == 0) {
      RefuseSlashOption(argument);
    } else if (LooksLikeAPath(argument)) {
      Fail(VisibleText(Quoted(argument)) + L" is not a source this program reads: it reads " +
           kDirectoryForms);
    } else {
      AddSource(NameSource::Kind::kName, argument);
    }
  }

  // An option that would change nothing is a mistake, rather than ignored without a word.
  void RefuseWhatCannotApply() const {
    const bool any_directory = std::any_of(
        options_.sources.begin(), options_.sources.end(),
        [](const NameSource& source) { return source.kind == NameSource::Kind::kDirectory; });
    for (const wchar_t* filter : {L"--include-disabled", L"--active-days"}) {
      if (!any_directory && given_.count(filter) != 0) {
        Fail(filter +
             std::wstring(L" applies to directory sources (LDAP://...), and none is given"));
      }
    }
    for (const wchar_t* output : {L"--retry-list", L"--format"}) {
      if (options_.names_only && given_.count(output) != 0) {
        Fail(output + std::wstring(L" cannot apply with --names-only, which looks nothing up"));
      }
    }
  }

  void AddSource(NameSource::Kind kind, std::wstring text) {
    options_.sources.push_back({kind, std::move(text), {}});
  }

  void TakeDirectorySource(const std::wstring& argument) {
    std::optional<DirectorySource> source = ParseDirectorySource(argument);
    if (!source) {
      Fail(VisibleText(Quoted(argument)) + L" is not a directory path: " + kDirectoryForms);
    }
    options_.sources.push_back({NameSource::Kind::kDirectory, argument, std::move(*source)});
  }

  // Other console tools' options begin with "/": say what this program takes instead.
  [[noreturn]] static void RefuseSlashOption(const std::wstring& argument) {
    const std::size_t end = argument.find_first_of(L":=");
    const std::wstring name = AsciiLowerCase(argument.substr(1, end - 1));
    const std::wstring value = end == std::wstring::npos ? L"" : argument.substr(end + 1);
    std::wstring message = L"unknown option " + VisibleText(Quoted(argument));
    const auto& table = OptionTable();
    const auto option = std::find_if(table.begin(), table.end(), [&](const OptionRow& row) {
      return std::wstring(row.name) == L"--" + name;
    });
    if (name == L"node") {
      message += L": give the computers' names themselves (quillmark PC01 PC02), or @FILE";
    } else if (option != table.end()) {
      message += L": did you mean " + std::wstring(option->name) +
                 (option->value_name && !value.empty() ? L" " + VisibleText(value) : L"") + L"?";
    } else {
      message += L": this program's options begin with --";
    }
    Fail(message);
  }

  void TakeOption(const std::wstring& argument) {
    const bool long_option = argument.rfind(kEndOfOptions, 0) == 0;
    const std::size_t equals = long_option ? argument.find(L'=') : std::wstring::npos;
    const std::wstring name = argument.substr(0, equals);
    const auto& table = OptionTable();
    const auto option = std::find_if(table.begin(), table.end(),
                                     [&](const OptionRow& row) { return name == row.name; });
    if (option == table.end()) Fail(L"unknown option " + Quoted(name));
    given_.insert(option->name);
    std::optional<std::wstring> attached;
    if (equals != std::wstring::npos) attached = argument.substr(equals + 1);
    if (option->value_name == nullptr) {
      if (attached) Fail(name + L" takes no value");
      option->set(options_, L"", 0);
      return;
    }
    const std::wstring value = attached ? *attached : NextValue(name);
    const int count = option->range ? CountIn(name, value, *option->range) : 0;
    option->set(options_, value, count);
  }

  std::wstring NextValue(const std::wstring& name) {
    if (next_ == arguments_.size()) Fail(name + L" needs a value");
    return arguments_[next_++];
  }

  const std::vector<std::wstring>& arguments_;
  std::size_t next_ = 0;
  bool only_names_ = false;
  std::set<std::wstring> given_;  // the options given, by name
  CompanionOptions options_;
};

// The usage's layout: each form or option at the indent, its help in a column of its own, wrapped
// to the width of a console that leaves room for a little more.
constexpr std::size_t kHelpColumn = 18;
constexpr std::size_t kUsageWidth = 87;

std::wstring UsageEntry(const std::wstring& form, const std::wstring& help) {
  std::wstring line = L"  " + form;
  line += line.size() < kHelpColumn ? std::wstring(kHelpColumn - line.size(), L' ') : L"  ";
  std::wstring text;
  bool words_on_line = false;
  for (std::size_t start = 0; start < help.size();) {
    const std::size_t end = std::min(help.find(L' ', start), help.size());
    const std::wstring word = help.substr(start, end - start);
    start = end + 1;
    if (words_on_line && line.size() + 1 + word.size() > kUsageWidth) {
      text += line + kLineEnd;
      line = std::wstring(kHelpColumn, L' ');
      words_on_line = false;
    }
    line += (words_on_line ? L" " : L"") + word;
    words_on_line = true;
  }
  return text + line + kLineEnd;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments) {
  if (AsksForHelp(arguments)) {
    CompanionOptions help;
    help.show_usage = true;
    return help;
  }
  try {
    return ArgumentWalk(arguments).Options();
  } catch (UsageError& error) {
    return std::move(error);
  }
}

std::wstring UsageText() {
  const std::pair<const wchar_t*, const wchar_t*> sources[] = {
      {L"NAME", L"a computer name, taken exactly as given; NAME,NAME... several"},
      {L"@FILE",
       L"names from FILE: one a line or several, separated by commas, semicolons or blanks, # "
       L"starting a comment; a CSV export by its name column (DNSHostName, computer, Name, "
       L"ComputerName, HostName or cn); a captured table; UTF-8, UTF-16 with a byte-order mark, "
       L"or this computer's ANSI code page"},
      {L"-", L"names from standard input, read as a file"},
      {L"LDAP://DN",
       L"the enabled computers under DN in the directory, by DNS host name (cn where it has "
       L"none), sorted; also LDAP://SERVER/DN, LDAP://SERVER (its whole domain) and LDAP:// (this "
       L"computer's domain)"},
  };
  std::wstring text =
      std::wstring(L"Usage: quillmark [options] NAME... | @FILE | - | LDAP://...") + kLineEnd +
      L"Looks up the BIOS serial number of each computer named, several at a time." + kLineEnd +
      kLineEnd;
  for (const auto& [form, help] : sources) text += UsageEntry(form, help);
  for (const OptionRow& option : OptionTable()) {
    std::wstring form = option.name;
    if (option.value_name) form += std::wstring(L" ") + option.value_name;
    text += UsageEntry(form,
                       option.range ? option.help + L" " + RangeText(*option.range) : option.help);
  }
  text += UsageEntry(L"--help, -h, -?, /?", L"this text");
  text += UsageEntry(L"--", L"every argument after it is a name");
  return text + kLineEnd +
         L"Exit code: 0 when every computer gave its serial number, 1 when any did not, 2 for a" +
         kLineEnd +
         L"mistake in the command line, or a list, directory or inventory that cannot be read;" +
         kLineEnd + L"3 when the output, the retry list or the inventory could not be written." +
         kLineEnd;
}

}  // namespace quillmark::companion
