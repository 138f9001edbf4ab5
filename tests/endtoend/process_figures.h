// Resource figures of another process counted from outside, where the platform reports none.
#pragma once

#include <windows.h>

#include <optional>

namespace quillmark::endtoend {

// Wine answers GetProcessHandleCount and GetGuiResources about another process with 0, so these
// are counted instead: kernel handles by probing, windows by enumeration, and GDI objects from the
// process's own GDI handle table (Wine keeps one per process).
struct ProbedFigures {
  std::optional<DWORD> handles;      // kernel handles that can be duplicated out of the process
  std::optional<DWORD> windows;      // its windows, top-level (shown or not) and their children
  std::optional<DWORD> gdi_objects;  // used entries of its GDI handle table
};

// `process` needs PROCESS_DUP_HANDLE, PROCESS_QUERY_INFORMATION and PROCESS_VM_READ access.
ProbedFigures ProbeFigures(HANDLE process, DWORD process_id);

}  // namespace quillmark::endtoend
