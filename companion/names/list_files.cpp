// Reading list files and standard input whole.
#include "list_files.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "com_failure.h"
#include "text_encoding.h"
#include "win32_owners.h"

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

}  // namespace

ListBytes FileListSource::ReadFile(const std::wstring& path) {
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {std::nullopt, LastErrorText(L"CreateFileW")};
  return ReadToEnd(file.get());
}

ListBytes FileListSource::ReadStandardInput() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return {std::string(), L""};
  // Only console input gives characters rather than bytes.
  DWORD mode = 0;
  return GetConsoleMode(input, &mode) ? ReadConsoleToEnd(input) : ReadToEnd(input);
}

bool FileListSource::IsFile(const std::wstring& path) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

AnsiText FileListSource::FromAnsiCodePage(const std::string& bytes) {
  AnsiText read{std::wstring(), GetACP()};
  // A list is far shorter than an int counts; anything longer is converted in pieces.
  constexpr std::size_t kPiece = 0x40000000;
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    const char* piece = bytes.data() + at;
    const int length = static_cast<int>(std::min(kPiece, bytes.size() - at));
    const int units = MultiByteToWideChar(CP_ACP, 0, piece, length, nullptr, 0);
    if (units <= 0) continue;
    const std::size_t before = read.text.size();
    read.text.resize(before + static_cast<std::size_t>(units));
    MultiByteToWideChar(CP_ACP, 0, piece, length, read.text.data() + before, units);
  }
  return read;
}

}  // namespace quillmark::companion
