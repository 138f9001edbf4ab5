// The note beside a serial: the fillers, the virtual machines' shapes, and the real serials that
// only look like them.
#include "serial_note.h"

#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

TEST(SerialNote, NamesFillersAndVirtualShapesAndLeavesRealSerialsAlone) {
  const struct {
    const wchar_t* serial;
    SerialNote note;
  } cases[] = {
      {L"To Be Filled By O.E.M.", SerialNote::kPlaceholder},
      {L"  default STRING\t", SerialNote::kPlaceholder},  // case and blanks at the ends ignored
      {L"System Serial Number", SerialNote::kPlaceholder},
      {L"not specified", SerialNote::kPlaceholder},
      {L"123456789", SerialNote::kPlaceholder},
      {L"0123456789", SerialNote::kPlaceholder},
      {L"1234567890", SerialNote::kPlaceholder},
      {L"N/A", SerialNote::kPlaceholder},
      {L"Chassis Serial Number", SerialNote::kPlaceholder},
      {L"OEM", SerialNote::kPlaceholder},
      {L"", SerialNote::kPlaceholder},
      {L"   ", SerialNote::kPlaceholder},
      {L"0", SerialNote::kPlaceholder},
      {L"0000000000", SerialNote::kPlaceholder},
      {L"xXxxXxx", SerialNote::kPlaceholder},
      {L"FFFFFFFF", SerialNote::kPlaceholder},
      {L"VMware-56 4d 1e 2b 6f 3a 7c 8d-9e 0f 1a 2b 3c 4d 5e 6f", SerialNote::kVirtual},
      {L" vmware-42 1A ", SerialNote::kVirtual},
      {L"1234-5678-9012-3456-7890-1234-56", SerialNote::kVirtual},
      {L"Parallels-EB 6F 5B 3A", SerialNote::kVirtual},
      // Near misses: real serials.
      {L"SN0000001", SerialNote::kNone},
      {L"12345678A", SerialNote::kNone},
      {L"VMware", SerialNote::kNone},
      {L"VMware-", SerialNote::kNone},
      {L"VMware-56 4g", SerialNote::kNone},
      {L"VMware-56  4d", SerialNote::kNone},
      {L"1234-5678-9012-3456-7890-1234-567", SerialNote::kNone},
      {L"Parallels-", SerialNote::kNone},
      {L"Not Specified 2", SerialNote::kNone},
      {L"0 0", SerialNote::kNone},
      {L"5CG7341XYZ", SerialNote::kNone},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(SerialNoteOf(test.serial), test.note) << testing::PrintToString(test.serial);
  }
}

TEST(SerialNote, OnlyARowWithASerialHasOne) {
  LookupRow row{L"pc", L"", RowStatus::kOk, std::nullopt, L""};
  EXPECT_STREQ(SerialNoteWord(SerialNoteOf(row)), L"placeholder");
  row.status = RowStatus::kFailed;
  EXPECT_STREQ(SerialNoteWord(SerialNoteOf(row)), L"");
  row.status = RowStatus::kNoInstance;
  EXPECT_STREQ(SerialNoteWord(SerialNoteOf(row)), L"");
}

}  // namespace
}  // namespace quillmark::companion
