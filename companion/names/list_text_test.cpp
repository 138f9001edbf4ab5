// Name lists in every accepted encoding and line style, and the list text that reads back.
#include "list_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

using ::testing::ElementsAre;

std::string Utf16WithMark(const std::u16string& text, bool big_endian) {
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

std::wstring ProblemIn(const std::string& bytes) {
  ComputerNames names{L"before"};
  const auto invalid = AddNamesFromListBytes(bytes, names);
  EXPECT_THAT(names, ElementsAre(L"before")) << "bytes that are not text added names";
  return invalid ? invalid->problem : L"(none)";
}

TEST(ListDecoding, ReadsUtf8WithOrWithoutMarkAndUtf16WithMarkInEitherByteOrder) {
  const std::string utf8 = "caf\xC3\xA9\r\nhost-\xF0\x9F\x98\x80\r\n";
  const std::u16string utf16 = u"caf\u00E9\r\nhost-\U0001F600\r\n";
  for (const std::string& bytes :
       {utf8, "\xEF\xBB\xBF" + utf8, Utf16WithMark(utf16, false), Utf16WithMark(utf16, true)}) {
    ComputerNames names;
    ASSERT_FALSE(AddNamesFromListBytes(bytes, names)) << bytes;
    EXPECT_THAT(names, ElementsAre(L"caf\u00E9", L"host-\U0001F600"));
  }
}

TEST(ListDecoding, NamesWhatMakesTheBytesNotText) {
  EXPECT_EQ(ProblemIn("pc1\n\xFF"), L"invalid UTF-8 at byte offset 4");
  EXPECT_EQ(ProblemIn("\xEF\xBB\xBFpc\xC3"), L"invalid UTF-8 at byte offset 5");
  EXPECT_EQ(ProblemIn(std::string("\xFF\xFEp\0c", 5)), L"UTF-16 text with an odd number of bytes");
  EXPECT_EQ(ProblemIn(Utf16WithMark({u'p', 0xDC01, u'c'}, true)),
            L"an unpaired UTF-16 surrogate at byte offset 4");
  EXPECT_THAT(ProblemIn(std::string("p\0c\0", 4)), ::testing::StartsWith(L"a NUL character"));
}

TEST(ListLines, SplitsAtEveryLineEndTrimsBlanksAndSkipsEmptyAndCommentLines) {
  const std::wstring text =
      L"a\r\nb\rc\n\n \t\r\n  # note\n\t d \u00A0\r\n#x\r\n\u3000e f # g\u3000\r\r\nlast";
  ComputerNames names{L"given"};
  AddNamesFromListText(text, names);
  EXPECT_THAT(names, ElementsAre(L"given", L"a", L"b", L"c", L"d", L"e f # g", L"last"));
}

TEST(NameListText, WritesOneVisibleNameALineThatReadsBackAsAList) {
  const ComputerNames names{L"pc1.samdom.test", L"\u00C9CLAIR", L"two\nlines\u202e"};
  const std::wstring text = NameListText(names);
  EXPECT_EQ(text, L"pc1.samdom.test\r\n\u00C9CLAIR\r\ntwo\\u000alines\\u202e\r\n");
  ComputerNames read;
  AddNamesFromListText(text, read);
  EXPECT_THAT(read, ElementsAre(L"pc1.samdom.test", L"\u00C9CLAIR", L"two\\u000alines\\u202e"));
}

}  // namespace
}  // namespace quillmark::companion
