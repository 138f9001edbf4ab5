// Figures about another running process: its handles, window-system objects and memory.
// Where the system's own counter answers nothing (Wine leaves several empty), the figure is
// counted another way, and where neither is possible it stays empty.
#pragma once

#include <windows.h>

#include <optional>

namespace quillmark::ui_driver {

struct ProcessFigures {
  std::optional<DWORD> handles;         // GetProcessHandleCount, else the system's handle list
  std::optional<DWORD> user_objects;    // GetGuiResources
  std::optional<DWORD> windows;         // its top-level, child and message-only windows
  std::optional<DWORD> gdi_objects;     // GetGuiResources, else its GDI handle table under Wine
  std::optional<SIZE_T> private_bytes;  // PrivateUsage, else PagefileUsage
  std::optional<SIZE_T> committed_private_bytes;  // private committed regions of its address space
  std::optional<SIZE_T> working_set_bytes;        // WorkingSetSize
};

// The process handle needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ access; the ID names the
// same process. Either may be this process's own (GetCurrentProcess(), GetCurrentProcessId()).
ProcessFigures FiguresOf(HANDLE process, DWORD process_id);

}  // namespace quillmark::ui_driver
