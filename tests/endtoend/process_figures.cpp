// Counting another process's handles, windows and GDI objects from the outside.
#include "process_figures.h"

#include <winternl.h>

#include <cstdint>
#include <vector>

namespace quillmark::endtoend {
namespace {

// Kernel handle values are multiples of four from four upwards; past the last handle in use there
// is a long run of free values.
constexpr uintptr_t kHandleStep = 4;
constexpr uintptr_t kFreeRunThatEndsTheTable = 4096;

std::optional<DWORD> ProbeHandles(HANDLE process) {
  DWORD found = 0;
  uintptr_t last_found = 0;
  for (uintptr_t value = kHandleStep; value - last_found <= kFreeRunThatEndsTheTable * kHandleStep;
       value += kHandleStep) {
    HANDLE copy = nullptr;
    if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                        FALSE, DUPLICATE_SAME_ACCESS)) {
      CloseHandle(copy);
      ++found;
      last_found = value;
    }
  }
  if (found == 0) return std::nullopt;
  return found;
}

struct WindowCount {
  DWORD process_id;
  DWORD count;
};

BOOL CALLBACK CountChild(HWND, LPARAM context) {
  ++reinterpret_cast<WindowCount*>(context)->count;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM context) {
  auto* windows = reinterpret_cast<WindowCount*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != windows->process_id) return TRUE;
  ++windows->count;
  EnumChildWindows(window, CountChild, context);  // all descendants, not only direct children
  return TRUE;
}

std::optional<DWORD> CountWindows(DWORD process_id) {
  WindowCount windows{process_id, 0};
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
  if (windows.count == 0) return std::nullopt;
  return windows.count;
}

// One entry of the GDI handle table as the platform lays it out for a 32-bit process.
#pragma pack(push, 1)
struct GdiHandleEntry {
  uint64_t object;
  uint32_t owner;
  uint16_t unique;
  uint8_t type;  // 0: free
  uint8_t flags;
  uint64_t user_pointer;
};
#pragma pack(pop)
static_assert(sizeof(GdiHandleEntry) == 24, "the table's entries are 24 bytes");
constexpr size_t kGdiTableEntries = 0x10000;
constexpr size_t kPebGdiTableOffset = 0x94;  // GdiSharedHandleTable in a 32-bit PEB

bool ReadRemote(HANDLE process, uintptr_t address, void* buffer, size_t size) {
  SIZE_T read = 0;
  return ReadProcessMemory(process, reinterpret_cast<const void*>(address), buffer, size, &read) &&
         read == size;
}

std::optional<DWORD> CountGdiObjects(HANDLE process) {
  PROCESS_BASIC_INFORMATION basic{};
  ULONG length = 0;
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &length) !=
      0) {
    return std::nullopt;
  }
  uint32_t table = 0;
  if (!ReadRemote(process, reinterpret_cast<uintptr_t>(basic.PebBaseAddress) + kPebGdiTableOffset,
                  &table, sizeof table) ||
      table == 0) {
    return std::nullopt;
  }
  std::vector<GdiHandleEntry> entries(kGdiTableEntries);
  if (!ReadRemote(process, table, entries.data(), entries.size() * sizeof(GdiHandleEntry))) {
    return std::nullopt;
  }
  DWORD used = 0;
  for (const GdiHandleEntry& entry : entries) {
    if (entry.type != 0) ++used;
  }
  if (used == 0) return std::nullopt;
  return used;
}

}  // namespace

ProbedFigures ProbeFigures(HANDLE process, DWORD process_id) {
  return {ProbeHandles(process), CountWindows(process_id), CountGdiObjects(process)};
}

}  // namespace quillmark::endtoend
