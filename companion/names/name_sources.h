// Where the computers of a run come from: the sources as the command line gives them, and the seam
// through which list files, standard input and the directory are read (the platform, or a test's
// fake).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "directory_source.h"
#include "list_text.h"
#include "platform_failure.h"

namespace quillmark::companion {

// One source of computer names, as and where the command line gives it.
struct NameSource {
  enum class Kind {
    kName,           // `text` is a computer name, exactly as given
    kFile,           // "@FILE": `text` is the file's path
    kStandardInput,  // "-"
    kDirectory,      // "LDAP://...": `text` is the argument as given, `directory` what it names
  };
  Kind kind = Kind::kName;
  std::wstring text;
  DirectorySource directory;
  // A name given after "--": taken exactly as it stands, never split and never taken for a file.
  bool exact = false;
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

// Where "@FILE" and "-" lists and directory sources are read from: the file system, standard input
// and the directory, or a test's fake.
class ListSource {
 public:
  virtual ~ListSource() = default;
  virtual ListBytes ReadFile(const std::wstring& path) = 0;
  virtual ListBytes ReadStandardInput() = 0;
  virtual DirectoryNames ReadDirectory(const DirectoryQuery& query) = 0;
  // Whether a path names an existing file (not a folder).
  virtual bool IsFile(const std::wstring& path) = 0;
  // Bytes read in this computer's ANSI code page.
  virtual AnsiText FromAnsiCodePage(const std::string& bytes) = 0;
};

}  // namespace quillmark::companion
