// The lookup window's layout as data: sizes in twips, converted to pixels at the screen's DPI.
#pragma once

#include <array>

namespace quillmark {

// The program's name: the window caption and the title of every message box it shows.
inline constexpr wchar_t kApplicationTitle[] = L"Ambrel Quillmark Lookup Tool";

inline constexpr int kTwipsPerInch = 1440;

struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

struct PixelRect {
  int left;
  int top;
  int width;
  int height;
};

enum class ControlKind { kTextBox, kPushButton, kLabel };

struct ControlLayout {
  const wchar_t* name;
  ControlKind kind;
  int id;  // never IDOK (1) or IDCANCEL (2): Enter and Esc send those
  const wchar_t* text;
  TwipsRect bounds;  // within the window's client area
};

inline constexpr int kTextBoxId = 101;
inline constexpr int kLookupButtonId = 102;
inline constexpr int kLabelId = 103;

struct FormLayout {
  const wchar_t* caption;
  int client_width;  // twips
  int client_height;
  std::array<ControlLayout, 3> controls;  // in tab order, which is also creation order
};

inline constexpr FormLayout kForm1{
    kApplicationTitle,
    4440,
    1815,
    {{
        {L"Text1", ControlKind::kTextBox, kTextBoxId, L"", {960, 480, 2535, 375}},
        {L"Command1",
         ControlKind::kPushButton,
         kLookupButtonId,
         L"Lookup Quillmark",
         {1080, 960, 2295, 615}},
        {L"Label1", ControlKind::kLabel, kLabelId, L"Computer Name", {1680, 120, 1215, 255}},
    }},
};

// Twips to pixels at the given dots per inch, rounded to the nearest pixel.
int TwipsToPixels(int twips, int dpi);
PixelRect ToPixels(const TwipsRect& twips, int dpi);

}  // namespace quillmark
