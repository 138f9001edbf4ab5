// The lookup window: creation from the layout table, dialog-style keyboard focus, and the click.
#include "lookup_window.h"

#include <optional>
#include <string>

#include "com_failure.h"
#include "com_management_binder.h"
#include "failure_report.h"
#include "form_layout.h"
#include "message_box_notifier.h"

namespace quillmark {
namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = 0;

int ScreenDpi() {
  const UniqueScreenDc screen(GetDC(nullptr));
  if (!screen) return USER_DEFAULT_SCREEN_DPI;
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

// The system's message font, as dialogs use, rather than the bold stock system font.
UniqueFont MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return {};
  return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
}

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};

ControlClass ClassOf(ControlKind kind) {
  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
  switch (kind) {
    case ControlKind::kTextBox:
      return {L"Edit", kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::kPushButton:
      return {L"Button", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::kLabel:
      return {L"Static", kChild | SS_LEFT | SS_NOPREFIX, 0};
  }
  return {L"Static", kChild, 0};
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                     GetSystemMetrics(SM_CXICON),
                                                     GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  window_class.hIconSm = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                 GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = kLookupWindowClass;
  if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    ThrowLastError(L"RegisterClassExW");
  }
}

// Widens a label whose caption is wider than its designed width in the font it was given (fonts
// larger than the layout was drawn for), so that its caption is never cut.
void FitLabelToCaption(HWND label, const wchar_t* caption, HFONT font) {
  // Measured on a context of the screen's own, which the label is drawn on.
  const UniqueMemoryDc context(CreateCompatibleDC(nullptr));
  if (!context) return;
  const HGDIOBJ previous =
      SelectObject(context.get(), font != nullptr ? font : GetStockObject(SYSTEM_FONT));
  SIZE extent{};
  const BOOL measured =
      GetTextExtentPoint32W(context.get(), caption, static_cast<int>(wcslen(caption)), &extent);
  SelectObject(context.get(), previous);
  RECT bounds{};
  if (!measured || !GetClientRect(label, &bounds) || extent.cx <= bounds.right) return;
  SetWindowPos(label, nullptr, 0, 0, extent.cx, bounds.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The whole text of a control, at any length.
std::wstring ControlText(HWND control) {
  SetLastError(ERROR_SUCCESS);
  const int length = GetWindowTextLengthW(control);
  if (length == 0 && GetLastError() != ERROR_SUCCESS) ThrowLastError(L"GetWindowTextLengthW");
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

// Passes the lookup's messages on, and says meanwhile that one shows: until the box returns, the
// lookup is in the program's own hands rather than in a call of the service.
class ShowingNotifier : public UserNotifier {
 public:
  ShowingNotifier(UserNotifier& boxes, bool& showing) : boxes_(boxes), showing_(showing) {}
  void ShowMessage(const std::wstring& text) override {
    showing_ = true;
    const struct Done {
      bool& showing;
      ~Done() { showing = false; }
    } done{showing_};
    boxes_.ShowMessage(text);
  }

 private:
  UserNotifier& boxes_;
  bool& showing_;
};

// Form1 was destroyed while the lookup waited in a call of the service whose wait dispatched the
// close (COM's modal loop does, for sent messages). Nothing can stop that call and it may never
// return; the window is gone, so the program ends now, as closing it promises, without waiting.
// A sender that waits for the close to be handled is answered first.
[[noreturn]] void EndDuringServiceCall() noexcept {
  if (InSendMessage()) ReplyMessage(0);
  ExitProcess(0);
}

// Shows the wait cursor for as long as it lives.
class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  ~WaitCursor() { SetCursor(previous_); }

 private:
  HCURSOR previous_;
};

}  // namespace

LookupWindow::LookupWindow(HINSTANCE instance) {
  RegisterWindowClass(instance, WindowProcedure);
  const int dpi = ScreenDpi();
  RECT frame{0, 0, TwipsToPixels(kForm1.client_width, dpi),
             TwipsToPixels(kForm1.client_height, dpi)};
  if (!AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle)) {
    ThrowLastError(L"AdjustWindowRectEx");
  }
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  if (CreateWindowExW(kFormExStyle, kLookupWindowClass, kForm1.caption, kFormStyle, left, top,
                      width, height, nullptr, nullptr, instance, this) == nullptr) {
    ThrowLastError(L"CreateWindowExW");
  }
  font_ = MessageFont();
  try {
    CreateControls(instance, dpi);
  } catch (...) {
    DestroyWindow(form_);  // the destructor does not run for a half-built window
    throw;
  }
  ends_program_ = true;
}

LookupWindow::~LookupWindow() {
  // Destroyed by the program as it unwinds from a failure, whose report follows: no quit for it.
  ends_program_ = false;
  if (form_ != nullptr) DestroyWindow(form_);
}

void LookupWindow::CreateControls(HINSTANCE instance, int dpi) {
  // Creation order is the tab order.
  for (const ControlLayout& control : kForm1.controls) {
    const ControlClass kind = ClassOf(control.kind);
    const PixelRect bounds = ToPixels(control.bounds, dpi);
    const HWND child = CreateWindowExW(kind.ex_style, kind.name, control.text, kind.style,
                                       bounds.left, bounds.top, bounds.width, bounds.height, form_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                                       instance, nullptr);
    if (child == nullptr) ThrowLastError(L"CreateWindowExW");
    if (font_) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (control.kind == ControlKind::kLabel) FitLabelToCaption(child, control.text, font_.get());
    if (control.kind == ControlKind::kTextBox) {
      SendMessageW(child, EM_SETLIMITTEXT, 0, 0);  // no length limit
      name_field_ = child;
    }
  }
}

void LookupWindow::Show(int show_command) {
  ShowWindow(form_, show_command);
  UpdateWindow(form_);
  SetFocus(name_field_);
}

LRESULT CALLBACK LookupWindow::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam) noexcept {
  auto* self = reinterpret_cast<LookupWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<LookupWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->form_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return self->HandleMessage(message, wparam, lparam);
}

LRESULT LookupWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  const HWND window = form_;  // still needed after WM_NCDESTROY has forgotten it
  switch (message) {
    case WM_ACTIVATE:
      OnActivate(wparam);
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_SETCURSOR:
      // Only while the lookup itself works: under a box Form1 is disabled, and the default
      // handling gives the arrow and the beep of a click on a disabled window.
      if (lookup_running_ && IsWindowEnabled(window)) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_SYSCOMMAND:
      // The default handling ignores the close command while a box has Form1 disabled; closing
      // from the taskbar or the system menu must end the program at any moment.
      if ((wparam & 0xFFF0) == SC_CLOSE) {
        SendMessageW(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_ENDSESSION:
      // The session ends: leave as closing the window does, nothing to save.
      if (wparam != FALSE) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      // A quit posted for a Form1 that never stood whole would end the loop of the box that
      // reports why, and the report would vanish unread.
      if (ends_program_) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      form_ = nullptr;
      const LRESULT result = DefWindowProcW(window, message, wparam, lparam);
      if (lookup_running_ && !showing_message_) EndDuringServiceCall();
      return result;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void LookupWindow::OnActivate(WPARAM wparam) noexcept {
  if (LOWORD(wparam) == WA_INACTIVE) {
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(form_, focus)) last_focus_ = focus;
  } else {
    SetFocus(last_focus_ != nullptr ? last_focus_ : name_field_);
  }
}

void LookupWindow::OnCommand(int control_id, int notification) noexcept {
  // Enter and Esc arrive as IDOK and IDCANCEL: the window has no default or cancel button.
  if (control_id != kLookupButtonId || notification != BN_CLICKED || lookup_running_) return;
  lookup_running_ = true;
  const std::optional<PlatformFailure> failure = RunCapturingFailure([this] { RunLookup(); });
  lookup_running_ = false;
  // Closed while the lookup ran (a close sent during a wait, or one that a box's loop
  // dispatched): the lookup has stopped and released what it held; there is nobody to tell.
  if (form_ == nullptr) return;
  if (failure) ReportFailure(form_, *failure);
  // Input that arrived while the lookup held the thread is dropped, so that impatient clicks and
  // keys do not run a second lookup once the first returns.
  DiscardQueuedInput();
}

void LookupWindow::RunLookup() {
  const std::wstring computer_name = ControlText(name_field_);
  const WaitCursor wait_cursor;
  ComManagementBinder binder;
  MessageBoxNotifier boxes(form_, kApplicationTitle);
  ShowingNotifier notifier(boxes, showing_message_);
  SerialLookup(computer_name, binder, notifier);
}

}  // namespace quillmark
