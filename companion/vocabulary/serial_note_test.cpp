// The note beside a serial: the fillers, the virtual machines' shapes, and the real serials that
// only look like them.
#include "serial_note.h"

#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

TEST(SerialNote, NamesFillersAndVirtualShapesAndLeavesRealSerialsAlone) {
  // Each note's serials, separated by "|".
  const std::pair<SerialNote, std::wstring> cases[] = {
      {SerialNote::kPlaceholder,
       L"To Be Filled By O.E.M.|  default STRING\t|System Serial Number|not specified|Not "
       L"Available|Not Applicable|None|N/A|INVALID|Default|OEM|Chassis Serial Number|System "
       L"Serial|123456789|0123456789|1234567890||   "
       L"|0|0000000000|1111111|xXxxXxx|NNNNNNN|FFFFFFFF"},
      {SerialNote::kVirtual,
       L"VMware-56 4d 1e 2b 6f 3a 7c 8d-9e 0f 1a 2b 3c 4d 5e 6f| vmware-42 1A "
       L"|1234-5678-9012-3456-7890-1234-56|Parallels-EB 6F 5B 3A"},
      // Near misses: real serials.
      {SerialNote::kNone,
       L"SN0000001|12345678A|VMware|VMware-|VMware-56 4g|VMware-56  4d|"
       L"1234-5678-9012-3456-7890-1234-567|Parallels-|Not Specified 2|0 0"},
  };
  for (const auto& [note, serials] : cases) {
    for (std::size_t start = 0, end = 0; end != std::wstring::npos; start = end + 1) {
      end = serials.find(L'|', start);
      const std::wstring serial = serials.substr(start, end - start);
      EXPECT_EQ(SerialNoteOf(serial), note) << testing::PrintToString(serial);
    }
  }
  // Only a row with a serial has a note.
  LookupRow row{L"pc", L"", RowStatus::kOk, std::nullopt, L""};
  EXPECT_STREQ(SerialNoteWord(SerialNoteOf(row)), L"placeholder");
  row.status = RowStatus::kNoInstance;
  EXPECT_STREQ(SerialNoteWord(SerialNoteOf(row)), L"");
}

}  // namespace
}  // namespace quillmark::companion
