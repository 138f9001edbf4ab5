// The figures the soak relies on must see what they count, also where Wine reports nothing itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <vector>

#include "driver.h"

namespace quillmark::endtoend {
namespace {

using ui_driver::FiguresOf;

using OwnedWindow = UniqueWindow;

OwnedWindow MakeWindow(HWND parent, DWORD style) {
  return OwnedWindow(CreateWindowExW(0, L"STATIC", L"", style, 0, 0, 10, 10, parent, nullptr,
                                     GetModuleHandleW(nullptr), nullptr));
}

TEST(ProcessFiguresOf, SeeHandlesAddedToAnotherProcess) {
  ui_driver::Program program = ui_driver::Program::Launch();
  ASSERT_NE(program.WaitForMainWindow(), nullptr);
  ASSERT_TRUE(program.WaitForIdle());
  const auto handles = [&] { return program.Figures().handles; };
  // The program may still be opening handles of its own just after its start.
  std::optional<DWORD> before = handles();
  ASSERT_TRUE(ui_driver::WaitUntil([&] {
    Sleep(200);
    const std::optional<DWORD> again = handles();
    const bool settled = again == before;
    before = again;
    return settled && before.has_value();
  }));
  std::vector<HANDLE> added;
  for (int count = 0; count < 5; ++count) {
    HANDLE remote = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), program.process(),
                                &remote, 0, FALSE, DUPLICATE_SAME_ACCESS));
    added.push_back(remote);
  }
  EXPECT_EQ(handles(), *before + 5);
  for (HANDLE remote : added) {
    DuplicateHandle(program.process(), remote, nullptr, nullptr, 0, FALSE, DUPLICATE_CLOSE_SOURCE);
  }
}

TEST(ProcessFiguresOf, SeeGdiObjectsMadeAndDeleted) {
  const auto count = [] {
    return FiguresOf(GetCurrentProcess(), GetCurrentProcessId()).gdi_objects;
  };
  const std::optional<DWORD> before = count();
  if (!before) GTEST_SKIP() << "this platform reports no GDI objects of a process";
  std::vector<UniqueBrush> brushes;
  for (int index = 0; index < 10; ++index) brushes.emplace_back(CreateSolidBrush(RGB(index, 0, 0)));
  EXPECT_EQ(count(), *before + 10);
  brushes.clear();
  EXPECT_EQ(count(), before);
}

// Hidden top-level windows, child windows and message-only windows all count.
TEST(ProcessFiguresOf, SeeWindowsMadeAndDestroyed) {
  const auto count = [] { return FiguresOf(GetCurrentProcess(), GetCurrentProcessId()).windows; };
  // The first window of a thread may bring the system's own per-thread windows with it.
  const OwnedWindow anchor = MakeWindow(nullptr, WS_OVERLAPPED);
  ASSERT_TRUE(anchor);
  const std::optional<DWORD> before = count();
  ASSERT_TRUE(before.has_value());
  {
    const OwnedWindow hidden = MakeWindow(nullptr, WS_OVERLAPPED);
    ASSERT_TRUE(hidden);
    const OwnedWindow child = MakeWindow(hidden.get(), WS_CHILD);
    ASSERT_TRUE(child);
    const OwnedWindow message_only = MakeWindow(HWND_MESSAGE, 0);
    ASSERT_TRUE(message_only);
    EXPECT_EQ(count(), *before + 3);
  }
  EXPECT_EQ(count(), before);
}

}  // namespace
}  // namespace quillmark::endtoend
