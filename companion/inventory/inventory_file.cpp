// The inventory's lock, its reading and its replacement, through the platform's files.
#include "inventory_file.h"

#include <windows.h>

#include <algorithm>

#include "com_failure.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

// A file held by another program may be let go of at once (a virus scanner's look at a new
// file): the replacement is tried again for about a second before it is given up.
constexpr int kReplaceTries = 10;
constexpr DWORD kReplacePauseMs = 100;

std::wstring Named(const std::wstring& path) { return L"\"" + VisibleText(path) + L"\""; }

std::wstring ErrorText(const PlatformFailure& failure) {
  return L"error " + FormatFailureCode(failure.code()) + L": " +
         VisibleText(TrimBlanks(failure.description()));
}

bool IsHeldElsewhere(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

std::optional<std::string> ReadAll(HANDLE file) {
  std::string bytes;
  std::string chunk(64 * 1024, '\0');
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) {
      return std::nullopt;
    }
    if (read == 0) return bytes;
    bytes.append(chunk.data(), read);
  }
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + at, chunk, &written, nullptr) || written == 0) return false;
    at += written;
  }
  return true;
}

// Whether the system deletes the file when its last handle closes, as for a process ended in
// the middle of writing it. Where the system cannot say so, the file is simply left.
void DeleteWhenClosed(HANDLE file, bool deleted) noexcept {
  FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(deleted ? TRUE : FALSE)};
  SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

}  // namespace

InventoryBytes InventoryFile::OpenForRun() {
  const std::wstring lock_path = path_ + L".lock";
  lock_.reset(CreateFileW(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!lock_) {
    const DWORD error = GetLastError();
    if (IsHeldElsewhere(error)) {
      return {std::nullopt, L"the inventory " + Named(path_) +
                                L" is in use by another run of quillmark (its lock " +
                                Named(lock_path) + L" is held): let that run end first"};
    }
    if (error == ERROR_PATH_NOT_FOUND) {
      return {std::nullopt,
              L"the inventory " + Named(path_) + L" cannot be made: its folder does not exist"};
    }
    return {std::nullopt, L"the inventory " + Named(path_) + L" cannot be locked for this run (" +
                              ErrorText(LastErrorFailure(L"CreateFileW")) + L")"};
  }
  // Opened as the replacement will need it: another program's handle that would keep the file
  // from being replaced keeps it from being opened so.
  const UniqueFile file(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {std::string(), L""};
    lock_.reset();
    if (IsHeldElsewhere(error)) {
      return {std::nullopt, L"the inventory " + Named(path_) +
                                L" is held open by another program (a spreadsheet program keeps "
                                L"the file it shows): close it there, then run again"};
    }
    return {std::nullopt, L"the inventory " + Named(path_) + L" cannot be opened for writing (" +
                              ErrorText(LastErrorFailure(L"CreateFileW")) + L")"};
  }
  std::optional<std::string> bytes = ReadAll(file.get());
  if (!bytes) {
    const std::wstring reason = ErrorText(LastErrorFailure(L"ReadFile"));
    lock_.reset();
    return {std::nullopt, L"the inventory " + Named(path_) + L" cannot be read (" + reason + L")"};
  }
  read_stamp_ = StampNow();
  return {std::move(bytes), L""};
}

InventoryBytes InventoryFile::Read() const {
  const UniqueFile file(CreateFileW(path_.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file && GetLastError() == ERROR_FILE_NOT_FOUND) return {std::string(), L""};
  std::optional<std::string> bytes;
  if (file) bytes = ReadAll(file.get());
  if (bytes) return {std::move(bytes), L""};
  return {std::nullopt, L"the inventory " + Named(path_) + L" cannot be read (" +
                            ErrorText(LastErrorFailure(file ? L"ReadFile" : L"CreateFileW")) +
                            L")"};
}

std::optional<InventoryFile::Stamp> InventoryFile::StampNow() const {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  const auto join = [](DWORD high, DWORD low) {
    return (static_cast<unsigned long long>(high) << 32) | low;
  };
  return Stamp{join(data.nFileSizeHigh, data.nFileSizeLow),
               join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
}

std::optional<std::wstring> InventoryFile::Replace(const std::string& bytes) {
  const std::wstring new_path = path_ + L".new";
  const std::wstring kept = L"; the merged inventory is kept in " + Named(new_path);
  {
    const UniqueFile file(CreateFileW(new_path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      return L"the inventory " + Named(path_) + L" could not be written, and is left as it was: " +
             Named(new_path) + L" cannot be made (" + ErrorText(LastErrorFailure(L"CreateFileW")) +
             L")";
    }
    // Until it is whole and on the disk, the new file goes with its handle.
    DeleteWhenClosed(file.get(), true);
    if (!WriteAll(file.get(), bytes) || !FlushFileBuffers(file.get())) {
      return L"the inventory " + Named(path_) + L" could not be written, and is left as it was (" +
             ErrorText(LastErrorFailure(L"WriteFile")) + L")";
    }
    DeleteWhenClosed(file.get(), false);
  }
  if (!(StampNow() == read_stamp_)) {
    return L"the inventory " + Named(path_) +
           L" was changed by another program during the run, and is left as it is" + kept;
  }
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(new_path.c_str(), path_.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return std::nullopt;
    }
    const DWORD error = GetLastError();
    const bool held = IsHeldElsewhere(error) || error == ERROR_ACCESS_DENIED;
    if (!held || attempt == kReplaceTries) {
      SetLastError(error);
      return L"the inventory " + Named(path_) + L" could not be replaced (" +
             ErrorText(LastErrorFailure(L"MoveFileExW")) +
             (held ? L"; another program may hold it open" : L"") + L")" + kept;
    }
    Sleep(kReplacePauseMs);
  }
}

}  // namespace quillmark::companion
