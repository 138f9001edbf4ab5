// The note beside a serial: the fillers, the virtual machines' shapes, and the real serials that
// only look like them.
#include "serial_note.h"

#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

TEST(SerialNote, NamesFillersAndVirtualShapesAndLeavesRealSerialsAlone) {
  const std::pair<SerialNote, std::vector<const wchar_t*>> cases[] = {
      {SerialNote::kPlaceholder,
       {L"To Be Filled By O.E.M.",
        L"  default STRING\t",
        L"System Serial Number",
        L"not specified",
        L"Not Available",
        L"Not Applicable",
        L"None",
        L"N/A",
        L"INVALID",
        L"Default",
        L"OEM",
        L"Chassis Serial Number",
        L"System Serial",
        L"123456789",
        L"0123456789",
        L"1234567890",
        L"",
        L"   ",
        L"0",
        L"0000000000",
        L"1111111",
        L"xXxxXxx",
        L"NNNNNNN",
        L"FFFFFFFF"}},
      {SerialNote::kVirtual,
       {L"VMware-56 4d 1e 2b 6f 3a 7c 8d-9e 0f 1a 2b 3c 4d 5e 6f", L" vmware-42 1A ",
        L"1234-5678-9012-3456-7890-1234-56", L"Parallels-EB 6F 5B 3A"}},
      // Near misses: real serials.
      {SerialNote::kNone,
       {L"SN0000001", L"12345678A", L"VMware", L"VMware-", L"VMware-56 4g", L"VMware-56  4d",
        L"1234-5678-9012-3456-7890-1234-567", L"Parallels-", L"Not Specified 2", L"0 0"}},
  };
  for (const auto& [note, serials] : cases) {
    for (const wchar_t* serial : serials) {
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
