// A fake of the seam the names are read through, for the tests: list files, standard input and
// directory sources from tables, every read counted.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "name_sources.h"

namespace quillmark::companion {

// Code page 1252 as this computer's ANSI code page, for the bytes a test uses: Latin-1's letters.
inline AnsiText Latin1Text(const std::string& bytes) {
  AnsiText text{std::wstring(), 1252};
  for (const char byte : bytes) text.text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
  return text;
}

struct FakeLists : ListSource {
  std::map<std::wstring, std::string> files;
  std::optional<std::string> standard_input;
  std::map<std::wstring, DirectoryNames> directory;  // by server and DN: "dc1/OU=Lab,DC=x"
  std::vector<DirectoryQuery> queries;
  std::vector<std::wstring> existing_files;  // what IsFile finds besides `files`
  int reads = 0;                             // of files and standard input

  DirectoryNames ReadDirectory(const DirectoryQuery& query) override {
    queries.push_back(query);
    return directory.at(query.source.server + L"/" + query.source.dn);
  }
  ListBytes ReadFile(const std::wstring& path) override {
    ++reads;
    if (files.count(path) == 0) return {{}, L"The system cannot find the file specified.\r\n"};
    return {files.at(path), L""};
  }
  ListBytes ReadStandardInput() override {
    ++reads;
    return {standard_input, L"The handle is invalid."};
  }
  bool IsFile(const std::wstring& path) override {
    return files.count(path) != 0 ||
           std::find(existing_files.begin(), existing_files.end(), path) != existing_files.end();
  }
  AnsiText FromAnsiCodePage(const std::string& bytes) override { return Latin1Text(bytes); }
};

}  // namespace quillmark::companion
