// What the harness sees of other processes' windows, how it waits for them, and the few things it
// does to them (all through their message queues, as a user's input would arrive).
#pragma once

#include <windows.h>

#include <string>

#include "clock.h"
#include "child_process.h"

namespace quillmark::bench {

// Waits by looking, then looking again every millisecond: a finer step would take the processor
// from the program being timed on a small machine, a coarser one would add to its time. Keeps
// the mean gap between looks, which bounds how late the harness sees what it waits for.
class Poller {
 public:
  // True once the condition holds; false after the timeout.
  template <typename Condition>
  bool Until(Condition condition, DWORD timeout_ms = kWaitTimeoutMs);

  double mean_gap_ms() const {
    return gaps_ == 0 ? 0.0 : gap_total_ms_ / static_cast<double>(gaps_);
  }

 private:
  double gap_total_ms_ = 0;
  long long gaps_ = 0;
};

// A visible top-level window of this class in that process, or null.
HWND VisibleTopLevelWindow(DWORD process_id, const wchar_t* window_class);
// A visible message box of that process, or null.
HWND VisibleMessageBox(DWORD process_id);
// The window that has the keyboard focus in the thread of this window, or null.
HWND FocusedWindowOf(HWND window);
// The window's whole text (WM_GETTEXT, answered by its own thread).
std::wstring TextOf(HWND window);
// The message a message box shows.
std::wstring MessageBoxText(HWND box);
// Replaces the window's text (WM_SETTEXT); throws BenchError if it does not answer.
void SetTextOf(HWND window, const std::wstring& text);
// Posts the click that a button gives itself (BM_CLICK): it takes the focus and notifies its
// parent, from its thread's message loop.
void PostClick(HWND button);
// Presses the box's OK as its button would, and waits until the box has gone.
void PressOk(Poller& poller, HWND box);
// Returns once the edit's thread has taken everything posted to it before from its own message
// loop (a selection change posted to the edit has arrived there). The edit must hold some text.
void WaitUntilQueueServed(Poller& poller, HWND edit);

template <typename Condition>
bool Poller::Until(Condition condition, DWORD timeout_ms) {
  const double deadline = NowMs() + timeout_ms;
  for (;;) {
    if (condition()) return true;
    const double before = NowMs();
    if (before > deadline) return false;
    Sleep(1);
    gap_total_ms_ += NowMs() - before;
    ++gaps_;
  }
}

}  // namespace quillmark::bench
