// Reading and working another process's windows and message boxes through their messages.
#include <windows.h>

#include <string>
#include <vector>

#include "driver.h"
#include "window_messages.h"

namespace quillmark::ui_driver {
namespace detail {
namespace {

constexpr UINT kAnswerTimeoutMs = 10000;

struct WindowSearch {
  DWORD process_id;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindowOfProcess(HWND window, LPARAM search_address) {
  auto& search = *reinterpret_cast<WindowSearch*>(search_address);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search.process_id) search.found.push_back(window);
  return TRUE;
}

}  // namespace

std::optional<LRESULT> SendAndWait(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                           &result)) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

bool Answers(HWND window) { return SendAndWait(window, WM_NULL, 0, 0).has_value(); }

std::vector<HWND> TopLevelWindowsOf(DWORD process_id) {
  WindowSearch search{process_id, {}};
  EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool HasClass(HWND window, const wchar_t* class_name) {
  const std::wstring actual = ClassNameOf(window);
  return CompareStringOrdinal(actual.c_str(), -1, class_name, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace detail

namespace {

LPARAM KeyMessageBits(WORD virtual_key, bool release) {
  const UINT scan_code = MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
  UINT bits = 1u | (scan_code << 16);            // one press, and the key's scan code
  if (release) bits |= (1u << 30) | (1u << 31);  // the key was down and is being released
  return static_cast<LPARAM>(static_cast<LONG>(bits));
}

}  // namespace

std::wstring ClassNameOf(HWND window) {
  std::wstring name(257, L'\0');  // class names are at most 256 characters
  const int length = GetClassNameW(window, name.data(), static_cast<int>(name.size()));
  name.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return name;
}

std::wstring TextOf(HWND window) {
  const std::optional<LRESULT> length = detail::SendAndWait(window, WM_GETTEXTLENGTH, 0, 0);
  if (!length || *length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(*length) + 1, L'\0');
  const std::optional<LRESULT> copied =
      detail::SendAndWait(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  if (!copied || *copied <= 0) return {};
  text.resize(static_cast<std::size_t>(*copied));
  return text;
}

LONG StyleOf(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

LONG ExStyleOf(HWND window) { return GetWindowLongW(window, GWL_EXSTYLE); }

int ControlIdOf(HWND window) { return GetDlgCtrlID(window); }

HWND OwnerOf(HWND window) { return GetWindow(window, GW_OWNER); }

RECT ClientRectOf(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  return client;
}

RECT WindowRectOf(HWND window) {
  RECT outer{};
  GetWindowRect(window, &outer);
  return outer;
}

RECT RectInParent(HWND child) {
  const RECT outer = WindowRectOf(child);
  POINT corners[2] = {{outer.left, outer.top}, {outer.right, outer.bottom}};
  MapWindowPoints(HWND_DESKTOP, GetParent(child), corners, 2);
  return RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

std::vector<HWND> ChildrenInOrder(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

std::optional<std::size_t> EditLimitOf(HWND edit) {
  const std::optional<LRESULT> limit = detail::SendAndWait(edit, EM_GETLIMITTEXT, 0, 0);
  if (!limit) return std::nullopt;
  return static_cast<std::size_t>(static_cast<ULONG_PTR>(*limit));
}

int ScreenDpi() {
  const UniqueScreenDc screen(GetDC(nullptr));
  return GetDeviceCaps(screen.get(), LOGPIXELSX);
}

bool SetTextOf(HWND window, const std::wstring& text) {
  const std::optional<LRESULT> accepted =
      detail::SendAndWait(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  return accepted.has_value() && *accepted != FALSE;
}

bool ReplaceSelection(HWND edit, const std::wstring& text) {
  return detail::SendAndWait(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()))
      .has_value();
}

bool PostClick(HWND button) { return PostMessageW(button, BM_CLICK, 0, 0) != FALSE; }

bool PostKey(HWND window, WORD virtual_key) {
  return PostMessageW(window, WM_KEYDOWN, virtual_key, KeyMessageBits(virtual_key, false)) &&
         PostMessageW(window, WM_KEYUP, virtual_key, KeyMessageBits(virtual_key, true));
}

MessageBoxContent ReadMessageBox(HWND box) {
  MessageBoxContent content;
  content.title = TextOf(box);
  if (HWND message = GetDlgItem(box, kMessageBoxTextId); message != nullptr) {
    content.text = TextOf(message);
  }
  for (HWND child : ChildrenInOrder(box)) {
    if (IsWindowVisible(child) && detail::HasClass(child, L"Button")) {
      content.buttons.push_back(TextOf(child));
    }
  }
  return content;
}

bool PressOk(HWND box, milliseconds timeout) {
  HWND ok = GetDlgItem(box, IDOK);
  if (ok == nullptr || !PostClick(ok)) return false;
  return WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, timeout);
}

}  // namespace quillmark::ui_driver
