// Shows the program at work where nobody can watch: starts it, looks up this computer once,
// prints the result box's text and saves pictures of the window and of the result box.
//   headless_demo OUTPUT_FOLDER   (a Windows path; writes window.bmp and result.bmp there)
//   headless_demo OUTPUT_FOLDER COMPUTER NAME   (looks up COMPUTER; the box's picture is NAME.bmp)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver.h"
#include "win32_owners.h"

namespace {

using namespace quillmark::ui_driver;

using quillmark::UniqueBitmap;
using quillmark::UniqueMemoryDc;
using quillmark::UniqueScreenDc;

// Saves what the screen shows inside the window's outer rectangle as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path) {
  const RECT area = WindowRectOf(window);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;
  const UniqueScreenDc screen(GetDC(nullptr));
  const UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
  const UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
  if (!screen || !memory || !bitmap) return false;
  const HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
  const BOOL copied =
      BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
  SelectObject(memory.get(), previous);
  if (!copied) return false;

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD row = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(static_cast<size_t>(row) * static_cast<DWORD>(height));
  if (!GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(),
                 reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS)) {
    return false;
  }
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  const quillmark::UniqueFile out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return out && WriteFile(out.get(), &file, sizeof file, &written, nullptr) &&
         WriteFile(out.get(), &header, sizeof header, &written, nullptr) &&
         WriteFile(out.get(), pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
}

int Fail(const char* what) {
  std::fprintf(stderr, "headless demo: %s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 4) {
    return Fail("usage: headless_demo OUTPUT_FOLDER [COMPUTER BOX_PICTURE_NAME]");
  }
  const std::wstring folder = argv[1];
  // By default this computer, whose result box is "result"; another name shows another box.
  const std::wstring computer = argc == 4 ? argv[2] : L".";
  const std::wstring box_picture = argc == 4 ? argv[3] : L"result";
  try {
    Program program = Program::Launch();
    if (program.WaitForMainWindow() == nullptr) return Fail("the window did not appear");
    SetTextOf(program.text_box(), computer);
    if (!program.WaitForIdle()) return Fail("the window did not become idle");
    if (!SaveWindowPicture(program.main_window(), folder + L"\\window.bmp")) {
      return Fail("could not save the window's picture");
    }
    PostClick(program.lookup_button());
    const HWND box = program.WaitForMessageBox();
    if (box == nullptr) return Fail("no box appeared");
    Sleep(300);  // let the box finish drawing before its picture is taken
    const MessageBoxContent content = ReadMessageBox(box);
    if (!SaveWindowPicture(box, folder + L"\\" + box_picture + L".bmp")) {
      return Fail("could not save the box's picture");
    }
    std::printf("%ls\n", content.text.c_str());
    PressOk(box);
    program.PostCloseCommand();
    const auto exit_code = program.WaitForExit();
    return exit_code && *exit_code == 0 ? 0 : Fail("the program did not end cleanly");
  } catch (const DriverError& error) {
    return Fail(error.what());
  }
}
