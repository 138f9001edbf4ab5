// Looking at and acting on other processes' windows for the harness.
#include "window_probe.h"

namespace quillmark::bench {
namespace {

constexpr wchar_t kMessageBoxClass[] = L"#32770";
// The static control that carries a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr UINT kAnswerTimeoutMs = 10000;

bool BelongsTo(HWND window, DWORD process_id) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == process_id;
}

LRESULT SendOrThrow(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  Require(SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, kAnswerTimeoutMs,
                              &result) != 0,
          "a window did not answer message " + std::to_string(message));
  return static_cast<LRESULT>(result);
}

}  // namespace

HWND VisibleTopLevelWindow(DWORD process_id, const wchar_t* window_class) {
  for (HWND window = FindWindowExW(nullptr, nullptr, window_class, nullptr); window != nullptr;
       window = FindWindowExW(nullptr, window, window_class, nullptr)) {
    if (BelongsTo(window, process_id) && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

HWND VisibleMessageBox(DWORD process_id) {
  return VisibleTopLevelWindow(process_id, kMessageBoxClass);
}

HWND FocusedWindowOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

std::wstring TextOf(HWND window) {
  const LRESULT length = SendOrThrow(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendOrThrow(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(copied));
  return text;
}

std::wstring MessageBoxText(HWND box) {
  const HWND text = GetDlgItem(box, kMessageBoxTextId);
  Require(text != nullptr, "a message box without its text");
  return TextOf(text);
}

void SetTextOf(HWND window, const std::wstring& text) {
  Require(SendOrThrow(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0,
          "a window refused its text");
}

void PostClick(HWND button) {
  Require(PostMessageW(button, BM_CLICK, 0, 0) != 0, "cannot post a click");
}

void PressOk(Poller& poller, HWND box) {
  const HWND ok = GetDlgItem(box, IDOK);
  Require(PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(ok)) != 0,
          "cannot press OK");
  Require(poller.Until([box] { return !IsWindow(box); }), "a message box stayed after OK");
}

void WaitUntilQueueServed(Poller& poller, HWND edit) {
  // Sent messages are answered even inside a COM call's wait; posted ones only by the loop.
  SendOrThrow(edit, EM_SETSEL, 0, 0);
  Require(PostMessageW(edit, EM_SETSEL, 0, -1) != 0, "cannot post to the name box");
  Require(poller.Until([edit] {
    const LRESULT selection = SendOrThrow(edit, EM_GETSEL, 0, 0);
    return HIWORD(selection) != 0;
  }),
          "the program's message loop did not come back");
}

}  // namespace quillmark::bench
