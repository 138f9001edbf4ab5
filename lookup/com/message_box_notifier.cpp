// Message-box notifier.
#include "message_box_notifier.h"

#include "com_failure.h"

namespace quillmark {

void MessageBoxNotifier::ShowMessage(const std::wstring& text) {
  SetLastError(ERROR_SUCCESS);
  if (MessageBoxW(owner_, text.c_str(), title_.c_str(), MB_OK | MB_APPLMODAL) == 0) {
    const DWORD error = GetLastError();
    throw FailureFromHresult(HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_CANCELLED));
  }
}

}  // namespace quillmark
