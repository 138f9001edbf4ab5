// A fake of the seam the names are read through, for the tests: list files, standard input and
// directory sources from tables, every read counted.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "name_sources.h"

namespace quillmark::companion {

struct FakeLists : ListSource {
  std::map<std::wstring, std::string> files;
  std::optional<std::string> standard_input;
  std::map<std::wstring, DirectoryNames> directory;  // by server and DN: "dc1/OU=Lab,DC=x"
  std::vector<DirectoryQuery> queries;
  int reads = 0;  // of files and standard input

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
};

}  // namespace quillmark::companion
