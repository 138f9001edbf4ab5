// Whole-file reads and writes, and environment variables, through the wide Win32 functions.
#include "standin_file.h"

#include <windows.h>

#include "win32_owners.h"

namespace standin {
namespace {

// A file open for one kind of access. Others may read and write the file meanwhile: the test reads
// the record while the service appends to it.
class File {
 public:
  File(const std::wstring& path, DWORD access, DWORD disposition)
      : handle_(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            disposition, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  bool is_open() const { return static_cast<bool>(handle_); }

  bool Write(const std::string& bytes) const {
    DWORD written = 0;
    return WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
  }
  std::optional<std::string> ReadAll() const {
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    for (;;) {
      if (!ReadFile(handle_.get(), chunk, sizeof chunk, &read, nullptr)) return std::nullopt;
      if (read == 0) return bytes;
      bytes.append(chunk, read);
    }
  }

 private:
  quillmark::UniqueFile handle_;
};

}  // namespace

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  const File file(path, GENERIC_READ, OPEN_EXISTING);
  if (!file.is_open()) return std::nullopt;
  return file.ReadAll();
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  const File file(path, GENERIC_WRITE, CREATE_ALWAYS);
  return file.is_open() && file.Write(bytes);
}

bool AppendToFile(const std::wstring& path, const std::string& bytes) {
  const File file(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  return file.is_open() && file.Write(bytes);
}

std::wstring EnvironmentText(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

}  // namespace standin
