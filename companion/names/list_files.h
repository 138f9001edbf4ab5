// Lists of names read from the file system and standard input, through the platform.
#pragma once

#include "name_sources.h"

namespace quillmark::companion {

// Reads "@FILE" lists from files and "-" from standard input (typed at a console until Ctrl+Z, or
// redirected); directory sources are left to a subclass.
class FileListSource : public ListSource {
 public:
  ListBytes ReadFile(const std::wstring& path) override;
  ListBytes ReadStandardInput() override;
};

}  // namespace quillmark::companion
