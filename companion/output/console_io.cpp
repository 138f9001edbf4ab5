// Console and file output.
#include "console_io.h"

#include <algorithm>

#include "com_failure.h"
#include "lookup_rows.h"
#include "win32_owners.h"
#include "text_encoding.h"

namespace quillmark::companion {
namespace {

// Whether writing to the handle starts a file: to a pipe or a device it does; to a file on a disk
// only when the file is empty and written from its start. A handle opened to append only reads
// position 0 while it writes at the end, so the position alone cannot tell. Where neither can be
// read, the output is taken to start none.
bool StartsAFile(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_DISK) return true;
  LARGE_INTEGER size{};
  LARGE_INTEGER position{};
  return GetFileSizeEx(handle, &size) && size.QuadPart == 0 &&
         SetFilePointerEx(handle, LARGE_INTEGER{}, &position, FILE_CURRENT) &&
         position.QuadPart == 0;
}

}  // namespace

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode) != 0;
}

bool WriteBytes(HANDLE handle, const std::string& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + at, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    at += written;
  }
  return true;
}

bool WriteText(HANDLE handle, const std::wstring& text) {
  if (!IsConsole(handle)) return WriteBytes(handle, Utf8FromWide(text));
  std::size_t at = 0;
  while (at < text.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 8192));
    DWORD written = 0;
    if (!WriteConsoleW(handle, text.data() + at, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    at += written;
  }
  return true;
}

OutputStream::OutputStream(HANDLE handle, bool byte_order_mark)
    : handle_(handle),
      console_(IsConsole(handle)),
      starts_file_(console_ || StartsAFile(handle)),
      byte_order_mark_(byte_order_mark && !console_ && starts_file_) {}

bool OutputStream::Write(const std::wstring& text) {
  if (failure_) return false;
  const bool written =
      console_
          ? WriteText(handle_, text)
          : WriteBytes(handle_, (byte_order_mark_ ? kUtf8ByteOrderMark : "") + Utf8FromWide(text));
  if (!written) {
    failure_ = LastErrorFailure(console_ ? L"WriteConsoleW" : L"WriteFile");
    return false;
  }
  byte_order_mark_ = false;
  return true;
}

bool OutputStream::Finish() {
  if (failure_) return false;
  // Only a file on a disk holds its bytes back; a pipe or a console has nothing to flush.
  if (console_ || GetFileType(handle_) != FILE_TYPE_DISK || FlushFileBuffers(handle_)) return true;
  // A handle opened to append only may not flush; everything was written to it all the same.
  if (GetLastError() == ERROR_ACCESS_DENIED) return true;
  failure_ = LastErrorFailure(L"FlushFileBuffers");
  return false;
}

std::optional<PlatformFailure> CannotWriteFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return PlatformFailure(HRESULT_FROM_WIN32(ERROR_DIRECTORY), L"It is a folder, not a file.");
  }
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const UniqueFile existing(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (existing) return std::nullopt;
  if (GetLastError() != ERROR_FILE_NOT_FOUND) return LastErrorFailure(L"CreateFileW");
  const UniqueFile made(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!made) return LastErrorFailure(L"CreateFileW");
  return std::nullopt;
}

std::optional<PlatformFailure> WriteWholeFile(const std::wstring& path, const std::wstring& text) {
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastErrorFailure(L"CreateFileW");
  OutputStream stream(file.get(), false);
  if (!stream.Write(text) || !stream.Finish()) return stream.failure();
  return std::nullopt;
}

void ProgressLine::Show(const std::wstring& text) {
  std::wstring line = L"\r" + text;
  // Blanks over what a longer earlier line left.
  if (shown_ > text.size()) line += std::wstring(shown_ - text.size(), L' ');
  shown_ = text.size();
  WriteText(console_, line);
}

void ProgressLine::Clear() {
  if (shown_ == 0) return;
  WriteText(console_, L"\r" + std::wstring(shown_, L' ') + L"\r");
  shown_ = 0;
}

}  // namespace quillmark::companion
