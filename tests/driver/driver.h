// Drives the lookup program from a separate test process through Win32 alone: starts it, finds
// its window and controls, reads them, types and clicks, and reads and answers its message boxes.
//
// Everything here works across processes, as a user (or an accessibility tool) would see the
// program: texts are read with WM_GETTEXT, focus with GetGUIThreadInfo, input is posted to the
// program's queue or synthesised with SendInput. Waits poll with short sleeps up to a generous
// timeout, because Wine can be slow; callers assert on what was seen, never on how long it took.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "launcher.h"
#include "build_locations.h"
#include "text.h"
#include "process_figures.h"

namespace quillmark::ui_driver {

using std::chrono::milliseconds;

// How long a wait lasts before it gives up: long enough for a cold Wine session.
inline constexpr milliseconds kDefaultTimeout{20000};
// How long a quiet state must hold before it counts as settled: a message box that follows
// another, or one that Enter might have opened, appears well within this.
inline constexpr milliseconds kDefaultSettle{400};

// What identifies the program's window and controls.
inline constexpr wchar_t kMainWindowClass[] = L"QuillmarkLookupWindow";
inline constexpr wchar_t kMainWindowCaption[] = L"Ambrel Quillmark Lookup Tool";
inline constexpr int kTextBoxId = 101;       // Text1, the computer name
inline constexpr int kLookupButtonId = 102;  // Command1, "Lookup Quillmark"
inline constexpr int kLabelId = 103;         // Label1, "Computer Name"

// What identifies a standard message box and its parts.
inline constexpr wchar_t kMessageBoxClass[] = L"#32770";
inline constexpr int kMessageBoxTextId = 0xFFFF;

// Raised when the driver cannot do what it was asked at all (the program does not start, a
// handle cannot be had); a wait that times out reports that through its result instead.
using DriverError = test_support::SupportError;

// The built program as a Windows path on Wine's drive Z: (from the build's own record of it).
inline std::wstring ProgramPath() {
  return test_support::WinePathFromUnix(test_support::build::kLookupToolUnixPath);
}

using test_support::WinePathFromUnix;

struct LaunchOptions {
  std::wstring program;    // empty: ProgramPath()
  std::wstring arguments;  // appended, after a blank, to the quoted program path
  // Variables set for the program on top of the driver's own environment; a name that exists
  // already (compared without case, as Windows does) takes the new value.
  std::vector<std::pair<std::wstring, std::wstring>> environment;
};

// What a message box shows.
struct MessageBoxContent {
  std::wstring title;
  std::wstring text;                  // the whole message, however long
  std::vector<std::wstring> buttons;  // texts of its visible buttons, in child order
};

// One started instance of the program. Owns the process: if it is still running when this is
// destroyed, it is terminated (so a failed test never leaves it behind). Move-only.
class Program {
 public:
  // Starts the program; throws DriverError when it cannot be started. Does not wait for it.
  static Program Launch(const LaunchOptions& options = {});

  Program(Program&& other) noexcept;
  Program& operator=(Program&& other) noexcept;

  DWORD process_id() const noexcept { return child_.id(); }
  HANDLE process() const noexcept { return child_.process(); }
  bool running() const { return child_.running(); }

  // Waits until the process waits for input and shows its main window (a visible top-level
  // window of this process with the main window's class; its caption is left for callers to
  // check) and that window answers messages. Returns it, or nullptr on timeout or if the process
  // ends first. Later calls return the same window.
  HWND WaitForMainWindow(milliseconds timeout = kDefaultTimeout);
  HWND main_window() const noexcept { return main_window_; }

  // The main window's child with this control ID, or nullptr.
  HWND Control(int id) const;
  HWND text_box() const { return Control(kTextBoxId); }
  HWND lookup_button() const { return Control(kLookupButtonId); }
  HWND label() const { return Control(kLabelId); }

  // The window that has the keyboard focus in the main window's thread, or nullptr.
  HWND FocusedWindow() const;

  // Visible top-level windows of the process, the main window included.
  std::vector<HWND> TopLevelWindows() const;
  // Visible message boxes (dialog class) owned by the main window.
  std::vector<HWND> MessageBoxes() const;
  // Waits for a message box owned by the main window; returns it, or nullptr on timeout.
  HWND WaitForMessageBox(milliseconds timeout = kDefaultTimeout) const;

  // Waits until the program is idle: running, main window enabled and answering messages, no
  // other visible top-level window (no message box, owned or not), and all that unbroken for
  // `settle`. False on timeout or if the process ends.
  bool WaitForIdle(milliseconds timeout = kDefaultTimeout,
                   milliseconds settle = kDefaultSettle) const;

  // Asks the main window to close as its close box does (WM_SYSCOMMAND SC_CLOSE) or as a plain
  // WM_CLOSE; either way the program decides what happens.
  bool PostCloseCommand() const;
  bool PostCloseMessage() const;
  // Sends WM_CLOSE and returns once the program has handled it; false on timeout.
  bool SendCloseMessage(milliseconds timeout = kDefaultTimeout) const;
  // Ends the session as log-off does: WM_QUERYENDSESSION, then WM_ENDSESSION with its answer.
  bool SendEndSession(milliseconds timeout = kDefaultTimeout) const;
  // Waits for the process to end; returns its exit code, or nothing on timeout.
  std::optional<DWORD> WaitForExit(milliseconds timeout = kDefaultTimeout) const {
    return child_.WaitForExit(timeout);
  }
  // Ends the process at once (exit code 1) and waits for it to be gone.
  void Terminate() noexcept { child_.Terminate(); }

  // The process's figures as FiguresOf gathers them; all empty for a moved-from Program.
  ProcessFigures Figures() const;

 private:
  explicit Program(test_support::ChildProcess child) noexcept : child_(std::move(child)) {}

  test_support::ChildProcess child_;
  HWND main_window_ = nullptr;
};

// --- Reading windows (any process) ---

std::wstring ClassNameOf(HWND window);
// The window's whole text through WM_GETTEXT, which the owning thread answers; empty if the
// window does not answer.
std::wstring TextOf(HWND window);
LONG StyleOf(HWND window);
LONG ExStyleOf(HWND window);
int ControlIdOf(HWND window);
HWND OwnerOf(HWND window);
// The client area's size, with left and top 0.
RECT ClientRectOf(HWND window);
// The window's outer rectangle in screen coordinates.
RECT WindowRectOf(HWND window);
// The child's outer rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);
// Direct children in Z order, which for controls is their creation order and the dialog tab
// order.
std::vector<HWND> ChildrenInOrder(HWND parent);
// EM_GETLIMITTEXT of an edit control, or nothing if it does not answer.
std::optional<std::size_t> EditLimitOf(HWND edit);
// The screen's dots per inch as this process sees them.
int ScreenDpi();

// --- Acting on windows through their message queue (no focus or foreground needed) ---

// Replaces the window's text (WM_SETTEXT); true when the window accepted it.
bool SetTextOf(HWND window, const std::wstring& text);
// Inserts text at an edit's caret as a paste or typing would (EM_REPLACESEL), so the edit's
// length limit applies.
bool ReplaceSelection(HWND edit, const std::wstring& text);
// Posts BM_CLICK: the button presses itself, takes the focus and notifies its parent.
bool PostClick(HWND button);
// Posts a key press and release (WM_KEYDOWN, WM_KEYUP) to the window; the program's message loop
// sees it as keyboard input for that window and makes any character itself (TranslateMessage).
// No modifier key is held: for Shift+Tab and the like use SendKey.
bool PostKey(HWND window, WORD virtual_key);

// --- Real input through SendInput, after bringing the top-level window to the front ---

// Brings the window's top-level window to the front and waits until it is there.
bool BringToFront(HWND window, milliseconds timeout = kDefaultTimeout);
// Moves the mouse to the window's centre and clicks the left button.
bool MouseClick(HWND window);
// Presses and releases a key, holding the given modifier keys (VK_SHIFT, VK_CONTROL, VK_MENU)
// meanwhile, into the window's top-level window.
bool SendKey(HWND window, WORD virtual_key, const std::vector<WORD>& modifiers = {});
// Types the text as Unicode characters into the window's top-level window.
bool SendText(HWND window, const std::wstring& text);

// --- Message boxes ---

MessageBoxContent ReadMessageBox(HWND box);
// Presses the box's OK button; true when it has one and the box has gone afterwards.
bool PressOk(HWND box, milliseconds timeout = kDefaultTimeout);

// --- Witnesses and waiting ---

using test_support::SerialNumberFromCommandLineClient;

// Polls the condition every few milliseconds until it holds (true) or the timeout passes (false).
template <typename Condition>
bool WaitUntil(Condition condition, milliseconds timeout = kDefaultTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(20);
  }
}

}  // namespace quillmark::ui_driver
