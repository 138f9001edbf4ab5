// Why a serial number does not tell one computer from another, where it does not: the note a row
// carries beside the serial, which is itself never changed.
#pragma once

#include <string>
#include <string_view>

#include "lookup_row.h"

namespace quillmark::companion {

enum class SerialNote {
  kNone,         // nothing known against it
  kPlaceholder,  // a filler the firmware shipped with, or nothing at all
  kVirtual,      // the shape of a virtual machine's serial, which a copied machine shares
};

// The note of a serial as the computer gave it. Blanks at either end and the case of letters are
// ignored; the value is never changed.
SerialNote SerialNoteOf(std::wstring_view serial);

// The note of a row: its serial's where the row has one (status "ok"), none otherwise.
SerialNote SerialNoteOf(const LookupRow& row);

// "", "placeholder" or "virtual": the serial_note column's words.
const wchar_t* SerialNoteWord(SerialNote note);

// A serial as two computers' serials are compared: blanks at either end dropped, letters in one
// case, as computer names compare.
std::wstring SerialKey(std::wstring_view serial);

}  // namespace quillmark::companion
