// Internal to the driver: messages sent to another process's windows, and its window lists.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

namespace quillmark::ui_driver::detail {

// Sends a message and waits for the owning thread's answer, giving up if the thread hangs, so a
// stuck program fails a test instead of stalling the test run. Nothing when it got no answer.
std::optional<LRESULT> SendAndWait(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Whether the window's thread is pumping messages (it answers WM_NULL).
bool Answers(HWND window);

// Top-level windows of the process, visible or not, in Z order.
std::vector<HWND> TopLevelWindowsOf(DWORD process_id);

// Class names compare without case, as the window manager compares them.
bool HasClass(HWND window, const wchar_t* class_name);

}  // namespace quillmark::ui_driver::detail
