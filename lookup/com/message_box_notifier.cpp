// Message-box notifier.
#include "message_box_notifier.h"

#include "com_failure.h"

namespace quillmark {

void DiscardQueuedInput() noexcept {
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
}

int ShowMessageBoxUnread(HWND owner, const std::wstring& text, const wchar_t* title, UINT style) {
  DiscardQueuedInput();
  return MessageBoxW(owner, text.c_str(), title, style);
}

void MessageBoxNotifier::ShowMessage(const std::wstring& text) {
  SetLastError(ERROR_SUCCESS);
  if (ShowMessageBoxUnread(owner_, text, title_.c_str(), MB_OK | MB_APPLMODAL) == 0) {
    const DWORD error = GetLastError();
    throw FailureFromHresult(HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_CANCELLED));
  }
}

}  // namespace quillmark
