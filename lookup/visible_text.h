// The one way every output shows characters that would act on a terminal or reorder text rather
// than appear: as an escape that a person can read.
#pragma once

#include <string>

namespace quillmark {

// Whether a code point is shown as an escape rather than written: C0 controls (NUL included), DEL,
// C1 controls, the line and paragraph separators, and the bidirectional embedding, override and
// isolate controls (U+202A..U+202E, U+2066..U+2069).
bool ShowsAsEscape(char32_t code_point);

// Whether line breaks (CR and LF) are written as they are, for a format that keeps them inside a
// field (quoted CSV), or shown as escapes like every other control.
enum class LineBreaks { kEscaped, kKept };

// The text with each code point that ShowsAsEscape shown as "\u" and four lowercase hexadecimal
// digits ("\u001b", "\u0000", "\u202e"), and each unpaired surrogate replaced by U+FFFD. Text of
// 16-bit units reads surrogate pairs as one code point; text of 32-bit units holds one each.
std::wstring VisibleText(const std::wstring& text, LineBreaks line_breaks = LineBreaks::kEscaped);

// Appends the escape VisibleText shows for a code point below U+10000.
void AppendEscape(std::wstring& text, char32_t code_point);

}  // namespace quillmark
