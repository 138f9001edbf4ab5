// The companion's standard handles: consoles get wide text, files and pipes UTF-8.
#pragma once

#include <windows.h>

#include <string>

#include "command_line.h"

namespace quillmark::companion {

// Whether the handle is a console (rather than a file or a pipe it was redirected to).
bool IsConsole(HANDLE handle);

// Writes the text whole: to a console as it is, so that every character shows; elsewhere as UTF-8.
// False when the handle refuses it (a closed pipe, a full disk).
bool WriteText(HANDLE handle, const std::wstring& text);

// Writes bytes whole; false when the handle refuses them.
bool WriteBytes(HANDLE handle, const std::string& bytes);

// One line on a console that each call rewrites in place, and that Clear removes.
class ProgressLine {
 public:
  explicit ProgressLine(HANDLE console) : console_(console) {}
  void Show(const std::wstring& text);
  void Clear();

 private:
  HANDLE console_;
  std::size_t shown_ = 0;  // characters on the line now
};

// Lists read from files and standard input, for the command line.
class FileListSource : public ListSource {
 public:
  ListBytes ReadFile(const std::wstring& path) override;
  ListBytes ReadStandardInput() override;
};

}  // namespace quillmark::companion
