// Tells the user a message in a modal message box with an OK button.
#pragma once

#include <windows.h>

#include <string>

#include "serial_lookup.h"

namespace quillmark {

// Shows a message box for a message that the user must see: input that was queued before it
// appeared (clicks and keys made while a slow lookup held the program) is dropped first, so that it
// cannot dismiss the box unread. Returns MessageBoxW's result.
int ShowMessageBoxUnread(HWND owner, const std::wstring& text, const wchar_t* title, UINT style);

// Drops the keyboard and mouse input queued for this thread, never a pending quit.
void DiscardQueuedInput() noexcept;

// Shows each message application-modal, OK button only, no icon, under the application's title.
// The owner window (may be null) is disabled while a message shows; once it has been destroyed,
// showing a message fails.
class MessageBoxNotifier : public UserNotifier {
 public:
  MessageBoxNotifier(HWND owner, std::wstring title) : owner_(owner), title_(std::move(title)) {}
  void ShowMessage(const std::wstring& text) override;

 private:
  HWND owner_;
  std::wstring title_;
};

}  // namespace quillmark
