// Gathering a process's figures, with Wine's gaps filled from what it does keep.
#include "process_figures.h"

#include <winternl.h>
#include <ntstatus.h>
#include <psapi.h>

#include <cstring>
#include <vector>

namespace quillmark::ui_driver {
namespace {

// One entry of the system's handle list (SystemHandleInformation), as documented for 32 bits.
struct SystemHandleEntry {
  USHORT process_id;
  USHORT creator_back_trace_index;
  UCHAR object_type_index;
  UCHAR handle_attributes;
  USHORT handle_value;
  PVOID object;
  ULONG granted_access;
};

// One entry of Wine's per-process GDI handle table, which its PEB points to as Windows' did.
#pragma pack(push, 1)
struct WineGdiHandleEntry {
  UINT64 object;
  ULONG owner;
  USHORT unique;
  UCHAR type;  // zero for a free entry
  UCHAR flags;
  UINT64 user_pointer;
};
#pragma pack(pop)
constexpr size_t kWineGdiTableEntries = 0x10000;
// Where the PEB keeps the GDI handle table's address, for a process of this one's architecture.
constexpr size_t kPebGdiSharedHandleTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;

bool RunningOnWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::optional<DWORD> CountOf(DWORD count) {
  if (count == 0) return std::nullopt;  // no process that has run holds none of these
  return count;
}

std::optional<DWORD> HandlesInSystemList(DWORD process_id) {
  std::vector<unsigned char> buffer(1 << 16);
  NTSTATUS status = STATUS_INFO_LENGTH_MISMATCH;
  while (status == STATUS_INFO_LENGTH_MISMATCH && buffer.size() <= (1u << 26)) {
    ULONG needed = 0;
    status = NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                      static_cast<ULONG>(buffer.size()), &needed);
    if (status == STATUS_INFO_LENGTH_MISMATCH) buffer.resize(buffer.size() * 2);
  }
  if (!NT_SUCCESS(status)) return std::nullopt;
  ULONG entries = 0;
  std::memcpy(&entries, buffer.data(), sizeof entries);
  const size_t first = sizeof(ULONG_PTR);  // the count, aligned for the entries that follow
  DWORD count = 0;
  for (ULONG index = 0; index < entries; ++index) {
    const size_t offset = first + index * sizeof(SystemHandleEntry);
    if (offset + sizeof(SystemHandleEntry) > buffer.size()) break;
    SystemHandleEntry entry;
    std::memcpy(&entry, buffer.data() + offset, sizeof entry);
    if (entry.process_id == static_cast<USHORT>(process_id)) ++count;
  }
  return CountOf(count);
}

std::optional<DWORD> Handles(HANDLE process, DWORD process_id) {
  DWORD count = 0;
  if (GetProcessHandleCount(process, &count) && count != 0) return count;
  return HandlesInSystemList(process_id);
}

std::optional<DWORD> GdiObjectsInWineTable(HANDLE process) {
  if (!RunningOnWine()) return std::nullopt;
  PROCESS_BASIC_INFORMATION basic{};
  if (!NT_SUCCESS(NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                            nullptr))) {
    return std::nullopt;
  }
  PVOID table = nullptr;
  SIZE_T read = 0;
  if (!ReadProcessMemory(process,
                         static_cast<const BYTE*>(static_cast<const void*>(basic.PebBaseAddress)) +
                             kPebGdiSharedHandleTableOffset,
                         &table, sizeof table, &read) ||
      table == nullptr) {
    return std::nullopt;
  }
  std::vector<WineGdiHandleEntry> entries(kWineGdiTableEntries);
  if (!ReadProcessMemory(process, table, entries.data(),
                         entries.size() * sizeof(WineGdiHandleEntry), &read)) {
    return std::nullopt;
  }
  DWORD used = 0;
  for (const WineGdiHandleEntry& entry : entries) used += entry.type != 0 ? 1 : 0;
  return CountOf(used);
}

struct WindowCount {
  DWORD process_id;
  DWORD count;
};

BOOL CALLBACK CountChild(HWND, LPARAM state) {
  ++reinterpret_cast<WindowCount*>(state)->count;
  return TRUE;
}

void CountWindowAndChildren(HWND window, WindowCount& state) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != state.process_id) return;
  ++state.count;
  EnumChildWindows(window, CountChild, reinterpret_cast<LPARAM>(&state));
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM state) {
  CountWindowAndChildren(window, *reinterpret_cast<WindowCount*>(state));
  return TRUE;
}

std::optional<DWORD> Windows(DWORD process_id) {
  WindowCount state{process_id, 0};
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&state));
  // Message-only windows (COM's apartment window among them) are not top-level windows.
  for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window != nullptr;
       window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
    CountWindowAndChildren(window, state);
  }
  return CountOf(state.count);
}

std::optional<SIZE_T> SizeOf(SIZE_T size) {
  if (size == 0) return std::nullopt;  // a running process always has some
  return size;
}

void AddMemoryCounters(HANDLE process, ProcessFigures& figures) {
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                            sizeof memory)) {
    return;
  }
  // The commit charge is both; Wine fills only the older field.
  figures.private_bytes =
      SizeOf(memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage);
  figures.working_set_bytes = SizeOf(memory.WorkingSetSize);
}

std::optional<SIZE_T> CommittedPrivateBytes(HANDLE process) {
  SIZE_T total = 0;
  const BYTE* address = nullptr;
  MEMORY_BASIC_INFORMATION region{};
  while (VirtualQueryEx(process, address, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return SizeOf(total);
}

}  // namespace

ProcessFigures FiguresOf(HANDLE process, DWORD process_id) {
  ProcessFigures figures;
  figures.handles = Handles(process, process_id);
  figures.user_objects = CountOf(GetGuiResources(process, GR_USEROBJECTS));
  figures.windows = Windows(process_id);
  figures.gdi_objects = CountOf(GetGuiResources(process, GR_GDIOBJECTS));
  if (!figures.gdi_objects) figures.gdi_objects = GdiObjectsInWineTable(process);
  AddMemoryCounters(process, figures);
  figures.committed_private_bytes = CommittedPrivateBytes(process);
  return figures;
}

}  // namespace quillmark::ui_driver
