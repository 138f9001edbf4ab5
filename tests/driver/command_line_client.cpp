// An independent witness of the BIOS serial number: the system's command-line management client.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "driver.h"

namespace quillmark::ui_driver {
namespace {

std::string ReadWholeFile(const std::wstring& path) {
  const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  std::string bytes(GetFileSize(file.get(), nullptr), '\0');
  DWORD read = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    return {};
  }
  bytes.resize(read);
  return bytes;
}

// The client writes UTF-16 when its output is a file; an ANSI writer is understood too.
std::wstring Decode(const std::string& bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const bool utf16 = bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || byte(1) == 0);
  std::wstring text;
  if (utf16) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      text += static_cast<wchar_t>(byte(i) | (byte(i + 1) << 8));
    }
    if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
    return text;
  }
  const int length =
      MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  text.assign(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
  return text;
}

// Non-empty lines, each without its line end and the column padding after it.
std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == L'\r' || line.back() == L' ')) line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool RunClient(const std::wstring& output_path, milliseconds timeout) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const UniqueHandle output(CreateFileW(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  const UniqueHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output || !input) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = startup.hStdError = output.get();
  PROCESS_INFORMATION started{};
  std::wstring command = L"wmic.exe bios get serialnumber";
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &started)) {
    return false;
  }
  const UniqueHandle process(started.hProcess);
  const UniqueHandle thread(started.hThread);
  const auto wait_ms = static_cast<DWORD>(timeout.count());
  if (WaitForSingleObject(process.get(), wait_ms) == WAIT_OBJECT_0) return true;
  TerminateProcess(process.get(), 1);
  return false;
}

}  // namespace

std::optional<std::wstring> SerialNumberFromCommandLineClient(milliseconds timeout) {
  const UniqueTempFile output = NewTempFile(L"qlk");
  if (!output) throw DriverError("cannot create a temporary file");
  if (!RunClient(output.get(), timeout)) return std::nullopt;
  const std::vector<std::wstring> lines = Lines(Decode(ReadWholeFile(output.get())));
  // A header line "SerialNumber", then the value of the one BIOS instance.
  if (lines.size() < 2) return std::nullopt;
  if (CompareStringOrdinal(lines[0].c_str(), -1, L"SerialNumber", -1, TRUE) != CSTR_EQUAL) {
    return std::nullopt;
  }
  return lines[1];
}

}  // namespace quillmark::ui_driver
