// Message-box notifier.
#include "message_box_notifier.h"

#include "com_failure.h"
#include "visible_text.h"

namespace quillmark {

void DiscardQueuedInput() noexcept {
  // System keys (Alt+F4 among them) lie inside the keyboard range and are dropped with the rest:
  // kept, they would act on the first box and dismiss it unread. Non-client mouse input (a click
  // on the close box, say) is dropped too, so that input made while the program was busy is
  // treated alike, whatever part of the window it was aimed at. Closing by message is not input
  // and is never dropped.
  constexpr UINT kRanges[][2] = {{WM_KEYFIRST, WM_KEYLAST},
                                 {WM_MOUSEFIRST, WM_MOUSELAST},
                                 {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
  MSG message;
  for (const auto& range : kRanges) {
    while (PeekMessageW(&message, nullptr, range[0], range[1], PM_REMOVE)) {
      // A pending quit is returned whatever the range: it must reach the event loop.
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
    }
  }
}

namespace {

// A box shows its text only up to the first NUL, and a serial number or a description may hold
// one anywhere: each is shown as the companion's outputs show it, so that nothing after it is lost.
std::wstring WithVisibleNul(const std::wstring& text) {
  std::wstring shown;
  shown.reserve(text.size());
  for (const wchar_t unit : text) {
    if (unit == L'\0') {
      AppendEscape(shown, 0);
    } else {
      shown += unit;
    }
  }
  return shown;
}

}  // namespace

int ShowMessageBoxUnread(HWND owner, const std::wstring& text, const wchar_t* title, UINT style) {
  const std::wstring shown = WithVisibleNul(text);
  DiscardQueuedInput();
  // Set after the discard, which may run handlers of sent messages, so that a failure read
  // afterwards is the box's own.
  SetLastError(ERROR_SUCCESS);
  return MessageBoxW(owner, shown.c_str(), title, style);
}

void MessageBoxNotifier::ShowMessage(const std::wstring& text) {
  // A window closed while the lookup waited ends the lookup here: no box for a window that is
  // gone, and no box without an owner that would leave the program running unseen.
  if (owner_ != nullptr && !IsWindow(owner_)) {
    throw FailureFromHresult(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE));
  }
  if (ShowMessageBoxUnread(owner_, text, title_.c_str(), MB_OK | MB_APPLMODAL) == 0) {
    ThrowLastError(L"MessageBoxW");
  }
}

}  // namespace quillmark
