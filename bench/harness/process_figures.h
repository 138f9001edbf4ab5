// Figures about another running process: its handles, window-system objects and private memory.
// Where the system's own counter answers nothing (Wine leaves several empty), the figure is
// counted another way, and where neither is possible it stays empty.
#pragma once

#include <windows.h>

#include <optional>

namespace quillmark::bench {

struct ProcessFigures {
  std::optional<DWORD> handles;         // GetProcessHandleCount, else the system's handle list
  std::optional<DWORD> user_objects;    // GetGuiResources
  std::optional<DWORD> windows;         // its top-level, child and message-only windows
  std::optional<DWORD> gdi_objects;     // GetGuiResources, else its GDI handle table under Wine
  std::optional<SIZE_T> private_bytes;  // PrivateUsage, else PagefileUsage
  std::optional<SIZE_T> committed_private_bytes;  // private committed regions of its address space
};

// The process handle needs query and read access; the ID names the same process.
ProcessFigures FiguresOf(HANDLE process, DWORD process_id);

}  // namespace quillmark::bench
