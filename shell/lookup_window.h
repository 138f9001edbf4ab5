// Form1: the lookup window, built from its layout table, whose one button runs the serial lookup.
#pragma once

#include <windows.h>

#include "win32_owners.h"

namespace quillmark {

inline constexpr wchar_t kLookupWindowClass[] = L"QuillmarkLookupWindow";

class LookupWindow {
 public:
  // Creates Form1 and its controls, hidden. Throws PlatformFailure, and then leaves no quit
  // message behind: the failure's report must stay until it is dismissed.
  explicit LookupWindow(HINSTANCE instance);
  LookupWindow(const LookupWindow&) = delete;
  LookupWindow& operator=(const LookupWindow&) = delete;
  ~LookupWindow();

  // Shows the window centred on the screen with the focus in the computer-name field.
  void Show(int show_command);
  HWND handle() const noexcept { return form_; }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) noexcept;
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) noexcept;
  void CreateControls(HINSTANCE instance, int dpi);
  void OnActivate(WPARAM wparam) noexcept;
  void OnCommand(int control_id, int notification) noexcept;
  void RunLookup();

  HWND form_ = nullptr;
  HWND name_field_ = nullptr;  // Text1
  HWND last_focus_ = nullptr;  // restored when the window is activated again
  UniqueFont font_;
  bool lookup_running_ = false;
  bool showing_message_ = false;  // one of the lookup's boxes shows: the lookup is in our hands
  bool ends_program_ = false;     // set once Form1 stands whole: its end is the program's end
};

}  // namespace quillmark
