// Console and file output, and the lists read from files and standard input.
#include "console_io.h"

#include <algorithm>

#include "com_failure.h"
#include "lookup_rows.h"
#include "win32_owners.h"
#include "text_encoding.h"

namespace quillmark::companion {
namespace {

// The platform's words for the calling thread's last error, on one line.
std::wstring LastErrorText(const wchar_t* operation) {
  return LastErrorFailure(operation).description();
}

// Everything the handle gives until its end; a pipe whose writer has gone ends it too.
ListBytes ReadToEnd(HANDLE handle) {
  std::string bytes;
  std::string chunk(64 * 1024, '\0');
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(handle, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) break;
      return {std::nullopt, LastErrorText(L"ReadFile")};
    }
    if (read == 0) break;
    bytes.append(chunk.data(), read);
  }
  return {std::move(bytes), L""};
}

// What a person types at the console until end of input (Ctrl+Z then Enter), as UTF-8.
ListBytes ReadConsoleToEnd(HANDLE console) {
  std::wstring text;
  std::wstring chunk(4096, L'\0');
  for (;;) {
    DWORD read = 0;
    if (!ReadConsoleW(console, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) {
      return {std::nullopt, LastErrorText(L"ReadConsoleW")};
    }
    const std::wstring part(chunk.data(), read);
    const std::size_t end = part.find(L'\x1A');
    text += part.substr(0, end);
    if (read == 0 || end != std::wstring::npos) break;
  }
  return {Utf8FromWide(text), L""};
}

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
      byte_order_mark_(byte_order_mark && !console_ && StartsAFile(handle)) {}

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

ListBytes FileListSource::ReadFile(const std::wstring& path) {
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {std::nullopt, LastErrorText(L"CreateFileW")};
  return ReadToEnd(file.get());
}

ListBytes FileListSource::ReadStandardInput() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return {std::string(), L""};
  return IsConsole(input) ? ReadConsoleToEnd(input) : ReadToEnd(input);
}

}  // namespace quillmark::companion
