// Keyboard and mouse input synthesised with SendInput, as a user at the screen would give it.
#include <windows.h>

#include <vector>

#include "driver.h"

namespace quillmark::ui_driver {
namespace {

// Activation by another process can take a moment to arrive; asking again now and then covers
// a request that was lost while the window was still being activated by something else.
constexpr milliseconds kForegroundRetry{1000};

INPUT KeyInput(WORD virtual_key, bool release) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtual_key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = release ? KEYEVENTF_KEYUP : 0;
  return input;
}

INPUT CharacterInput(wchar_t character, bool release) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wScan = character;
  input.ki.dwFlags = KEYEVENTF_UNICODE | (release ? KEYEVENTF_KEYUP : 0u);
  return input;
}

INPUT MouseInput(DWORD flags, LONG x, LONG y) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = x;
  input.mi.dy = y;
  input.mi.dwFlags = flags;
  return input;
}

// Screen pixel to SendInput's absolute coordinates (0 to 65535 across the primary screen).
LONG Normalised(LONG pixel, int screen_size) {
  return MulDiv(pixel, 65535, screen_size > 1 ? screen_size - 1 : 1);
}

bool Send(std::vector<INPUT>& inputs) {
  const UINT count = static_cast<UINT>(inputs.size());
  return SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

}  // namespace

bool BringToFront(HWND window, milliseconds timeout) {
  HWND top = GetAncestor(window, GA_ROOT);
  if (top == nullptr) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    SetForegroundWindow(top);
    if (WaitUntil([&] { return GetForegroundWindow() == top; }, kForegroundRetry)) return true;
  }
  return false;
}

bool MouseClick(HWND window) {
  if (!BringToFront(window)) return false;
  const RECT outer = WindowRectOf(window);
  const LONG x = Normalised((outer.left + outer.right) / 2, GetSystemMetrics(SM_CXSCREEN));
  const LONG y = Normalised((outer.top + outer.bottom) / 2, GetSystemMetrics(SM_CYSCREEN));
  std::vector<INPUT> inputs{MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x, y),
                            MouseInput(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE, x, y),
                            MouseInput(MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE, x, y)};
  return Send(inputs);
}

bool SendKey(HWND window, WORD virtual_key, const std::vector<WORD>& modifiers) {
  if (!BringToFront(window)) return false;
  std::vector<INPUT> inputs;
  for (const WORD modifier : modifiers) inputs.push_back(KeyInput(modifier, false));
  inputs.push_back(KeyInput(virtual_key, false));
  inputs.push_back(KeyInput(virtual_key, true));
  for (auto modifier = modifiers.rbegin(); modifier != modifiers.rend(); ++modifier) {
    inputs.push_back(KeyInput(*modifier, true));
  }
  return Send(inputs);
}

bool SendText(HWND window, const std::wstring& text) {
  if (!BringToFront(window)) return false;
  std::vector<INPUT> inputs;
  for (const wchar_t character : text) {
    inputs.push_back(CharacterInput(character, false));
    inputs.push_back(CharacterInput(character, true));
  }
  return Send(inputs);
}

}  // namespace quillmark::ui_driver
