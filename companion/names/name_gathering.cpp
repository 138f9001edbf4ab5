// Reading each source of names and splicing its names in place.
#include "name_gathering.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <optional>
#include <utility>

#include "list_text.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The platform's reason may end in a line break, and the message must stay one line.
std::wstring OneLine(std::wstring text) {
  std::replace_if(
      text.begin(), text.end(), [](wchar_t unit) { return unit == L'\r' || unit == L'\n'; }, L' ');
  text.erase(text.find_last_not_of(L' ') + 1);
  return text;
}

// The source as given, and the failure as the program reports any: the directory's text is
// untrusted, so it is shown by the visible convention, on one line.
std::wstring SourceFailureText(const std::wstring& argument, const PlatformFailure& failure) {
  std::wstring text = L"cannot read " + VisibleText(Quoted(argument)) + L": error " +
                      FormatFailureCode(failure.code()) + L": " +
                      VisibleText(OneLine(failure.description()));
  const std::wstring hint = DirectoryFailureHint(failure.code());
  return hint.empty() ? text : text + L" " + hint;
}

// Walks the sources in order. Throws SourceProblem, which GatherNames turns into its result.
class Gathering {
 public:
  Gathering(const GatherSettings& settings, ListSource& lists)
      : settings_(settings), lists_(lists) {}

  GatheredNames Names(const std::vector<NameSource>& sources) {
    for (const NameSource& source : sources) Take(source);
    if (names_.empty() && placed_.empty()) throw SourceProblem{L"no computer names given"};
    return {WithoutRepeatedNames(placed_.empty() ? names_ : WithDirectoriesRead()),
            std::move(notices_)};
  }

 private:
  // A directory source and how many names were given before it.
  struct PlacedSource {
    std::size_t place;
    const NameSource* source;
  };

  void Take(const NameSource& source) {
    switch (source.kind) {
      case NameSource::Kind::kName:
        TakeArgument(source);
        break;
      case NameSource::Kind::kFile:
        TakeList(lists_.ReadFile(source.text), Quoted(source.text));
        break;
      case NameSource::Kind::kStandardInput:
        // Standard input has one content; a second "-" would only find it used up.
        if (standard_input_read_) break;
        standard_input_read_ = true;
        TakeList(lists_.ReadStandardInput(), L"standard input");
        break;
      case NameSource::Kind::kDirectory:
        placed_.push_back({names_.size(), &source});
        break;
    }
  }

  void TakeArgument(const NameSource& source) {
    if (source.exact) {
      names_.Add(source.text);
      return;
    }
    if (lists_.IsFile(source.text)) {
      throw SourceProblem{VisibleText(Quoted(source.text)) + L" is a file: did you mean " +
                          VisibleText(Quoted(L"@" + source.text)) +
                          L"? (A name after -- is taken as a name.)"};
    }
    AddNamesFromArgument(source.text, names_);
  }

  void TakeList(const ListBytes& read, const std::wstring& source) {
    if (!read.bytes) {
      const std::wstring reason = OneLine(read.failure_reason);
      throw SourceProblem{L"cannot read " + source + (reason.empty() ? L"" : L": " + reason)};
    }
    const ListRead list = AddNamesFromListBytes(
        *read.bytes, [&](const std::string& bytes) { return lists_.FromAnsiCodePage(bytes); },
        names_);
    if (list.problem) throw SourceProblem{VisibleText(source + L" " + list.problem->what)};
    if (list.ansi_code_page) {
      notices_.push_back(VisibleText(source) +
                         L" is not UTF-8: read in this computer's ANSI code " + L"page (" +
                         std::to_wstring(*list.ansi_code_page) + L")");
    }
  }

  // The names given, with each directory source's read and put in its place, one at a time.
  ComputerNames WithDirectoriesRead() {
    const std::wstring filter =
        ComputerSearchFilter(settings_.filter, std::chrono::system_clock::now());
    ComputerNames all;
    auto placed = placed_.begin();
    for (std::size_t index = 0; index <= names_.size(); ++index) {
      for (; placed != placed_.end() && placed->place == index; ++placed) {
        const std::size_t before = all.size();
        for (const std::wstring& name : ReadDirectory(*placed->source, filter)) {
          if (!name.empty()) all.Add(name);
        }
        if (all.size() == before) NoteEmpty(*placed->source);
      }
      if (index < names_.size()) all.Add(names_[index]);
    }
    return all;
  }

  // A source that gave nothing is said so: an empty or mistyped OU is no clean run.
  void NoteEmpty(const NameSource& source) {
    std::wstring note = VisibleText(Quoted(source.text)) + L" gave no computers";
    if (settings_.filter.active_days) {
      note +=
          L" that logged on within " + std::to_wstring(*settings_.filter.active_days) + L" days";
    }
    notices_.push_back(std::move(note));
  }

  std::vector<std::wstring> ReadDirectory(const NameSource& source, const std::wstring& filter) {
    DirectoryNames read = lists_.ReadDirectory({source.directory, filter, settings_.quiet});
    if (read.failure) throw SourceProblem{SourceFailureText(source.text, *read.failure), false};
    SortComputerNames(read.names);
    return std::move(read.names);
  }

  const GatherSettings& settings_;
  ListSource& lists_;
  bool standard_input_read_ = false;
  ComputerNames names_;  // as given, repeats and all
  std::vector<PlacedSource> placed_;
  std::vector<std::wstring> notices_;
};

}  // namespace

std::variant<GatheredNames, SourceProblem> GatherNames(const std::vector<NameSource>& sources,
                                                       const GatherSettings& settings,
                                                       ListSource& lists) {
  try {
    return Gathering(settings, lists).Names(sources);
  } catch (SourceProblem& problem) {
    return std::move(problem);
  }
}

}  // namespace quillmark::companion
