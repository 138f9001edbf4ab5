// Tells the user a message in a modal message box with an OK button.
#pragma once

#include <windows.h>

#include <string>

#include "serial_lookup.h"

namespace quillmark {

// Shows each message application-modal, OK button only, no icon, under the application's title.
// The owner window (may be null) is disabled while a message shows.
class MessageBoxNotifier : public UserNotifier {
 public:
  MessageBoxNotifier(HWND owner, std::wstring title) : owner_(owner), title_(std::move(title)) {}
  void ShowMessage(const std::wstring& text) override;

 private:
  HWND owner_;
  std::wstring title_;
};

}  // namespace quillmark
