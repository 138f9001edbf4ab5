// Lists of names read from the file system and standard input, through the platform.
#pragma once

#include "name_sources.h"

namespace quillmark::companion {

// Reads "@FILE" lists from files and "-" from standard input (typed at a console until Ctrl+Z, or
// redirected), and text that is not UTF-8 in this computer's ANSI code page; directory sources are
// left to a subclass.
class FileListSource : public ListSource {
 public:
  ListBytes ReadFile(const std::wstring& path) override;
  ListBytes ReadStandardInput() override;
  bool IsFile(const std::wstring& path) override;
  AnsiText FromAnsiCodePage(const std::string& bytes) override;
};

}  // namespace quillmark::companion
