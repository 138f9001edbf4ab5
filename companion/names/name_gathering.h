// The computers of a run, gathered from its sources: each list and directory source read and its
// names spliced in where it stands, repeats folded.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "computer_names.h"
#include "directory_source.h"
#include "name_sources.h"

namespace quillmark::companion {

// How the directory sources are read.
struct GatherSettings {
  DirectoryFilter filter;
  bool quiet = false;  // no progress while the directory is read
};

// A source that could not be read, in one line that names it. `usage` is true for a list that is
// missing or not text, a mistake of the command line, after which the caller shows how to get
// help; false for a directory source that could not be read, whose line gives the code, the
// description and the guide's hint: the command line itself is sound. Either way the caller exits
// with kExitUsage before any lookup.
struct SourceProblem {
  std::wstring message;
  bool usage = true;
};

// The computers of the sources, and the lines that standard error gets about how they were read.
struct GatheredNames {
  ComputerNames names;
  std::vector<std::wstring> notices;  // each one line: a list read in the ANSI code page
};

// Every computer of the sources, in their order: the names of an argument (AddNamesFromArgument,
// or the argument exactly as given after "--"); the names of "@FILE" and "-" lists where they stand
// (standard input is read once at most); and each directory source's names, sorted
// (SortComputerNames), in its place. Lists are read as they are met, and the directory sources
// once every list has been read, each once. Each computer is kept once, as and where first given
// (WithoutRepeatedNames). An argument that names an existing file, lists that give no name with no
// directory source ("no computer names given"), and a list that cannot be read are usage mistakes.
std::variant<GatheredNames, SourceProblem> GatherNames(const std::vector<NameSource>& sources,
                                                       const GatherSettings& settings,
                                                       ListSource& lists);

}  // namespace quillmark::companion
