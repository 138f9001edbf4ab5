// The companion's standard handles: consoles get wide text, files and pipes UTF-8.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform_failure.h"

namespace quillmark::companion {

// Whether the handle is a console (rather than a file or a pipe it was redirected to).
bool IsConsole(HANDLE handle);

// Writes the text whole: to a console as it is, so that every character shows; elsewhere as UTF-8.
// False when the handle refuses it (a closed pipe, a full disk).
bool WriteText(HANDLE handle, const std::wstring& text);

// Writes bytes whole; false when the handle refuses them.
bool WriteBytes(HANDLE handle, const std::string& bytes);

// The run's output, written straight to its handle as each piece comes, so that what was written
// survives the process being ended: to a console as wide text, elsewhere as UTF-8, after the
// byte-order mark the format wants where the output starts a file (a pipe, or an empty file on a
// disk), never in the middle of one it appends to. After the first failure nothing more is
// written.
class OutputStream {
 public:
  OutputStream(HANDLE handle, bool byte_order_mark);
  // False once anything failed to be written (a full disk, a pipe whose reader has gone).
  bool Write(const std::wstring& text);
  // Flushes a file to its disk; false when that or any write failed.
  bool Finish();
  bool console() const noexcept { return console_; }
  // Whether the output starts a file (a console, a pipe, or an empty file on a disk), rather than
  // adding to one that holds data already.
  bool starts_file() const noexcept { return starts_file_; }
  // What the first failure was.
  const std::optional<PlatformFailure>& failure() const noexcept { return failure_; }

 private:
  HANDLE handle_;
  bool console_;
  bool starts_file_;
  bool byte_order_mark_;
  std::optional<PlatformFailure> failure_;
};

// Why no file can be written at the path, found before a run without changing what is there: an
// existing file is opened for writing and left as it is; where there is none, one is made and
// deleted again. A folder is refused. Nothing when the file can be written.
std::optional<PlatformFailure> CannotWriteFile(const std::wstring& path);

// Writes the text to a new file (replacing one of that name) as UTF-8 and flushes it to its disk;
// the failure, if any.
std::optional<PlatformFailure> WriteWholeFile(const std::wstring& path, const std::wstring& text);

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

}  // namespace quillmark::companion
