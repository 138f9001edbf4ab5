// The windowed lookup floor: a bare window with an edit and a button whose click makes the bare
// management-service calls and shows the answer in a message box, as the tool's click does, with
// nothing of the tool's own in between.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <exception>
#include <string>

#include "floor_calls.h"

namespace {

constexpr wchar_t kWindowClass[] = L"QuillmarkBenchFloorBox";
constexpr wchar_t kTitle[] = L"Floor";
constexpr wchar_t kPrompt[] = L"The serial number for the specified computer is: ";
// The same control IDs as the tool's, so that the harness works both alike.
constexpr int kEditId = 101;
constexpr int kButtonId = 102;

std::wstring LookupMessage() {
  try {
    double read_at = 0;
    return kPrompt + quillmark::bench::FirstSerialNumber(read_at);
  } catch (const quillmark::bench::CallFailed& failure) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed: 0x%08lx", failure.step,
                  static_cast<unsigned long>(failure.code));
    return std::wstring(text, text + std::char_traits<char>::length(text));
  } catch (const std::exception&) {
    return L"The lookup failed.";
  }
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == kButtonId && HIWORD(wparam) == BN_CLICKED) {
        MessageBoxW(window, LookupMessage().c_str(), kTitle, MB_OK | MB_APPLMODAL);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

HWND CreateChild(HWND parent, HINSTANCE instance, const wchar_t* kind, const wchar_t* text,
                 DWORD style, DWORD ex_style, int id, int top, int height) {
  return CreateWindowExW(ex_style, kind, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 64, top,
                         169, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         instance, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) return 1;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = kWindowClass;
  const HWND window =
      RegisterClassExW(&window_class) == 0
          ? nullptr
          : CreateWindowExW(0, kWindowClass, kTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                            CW_USEDEFAULT, CW_USEDEFAULT, 302, 150, nullptr, nullptr, instance,
                            nullptr);
  const HWND edit = window == nullptr ? nullptr
                                      : CreateChild(window, instance, L"Edit", L"", ES_AUTOHSCROLL,
                                                    WS_EX_CLIENTEDGE, kEditId, 32, 25);
  if (edit == nullptr ||
      CreateChild(window, instance, L"Button", L"Look up", 0, 0, kButtonId, 64, 41) == nullptr) {
    CoUninitialize();
    return 1;
  }
  ShowWindow(window, show_command);
  UpdateWindow(window);
  SetFocus(edit);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  CoUninitialize();
  return 0;
}
