// UTF-8 in and out at both widths of wide characters: 16-bit units as on Windows, 32-bit as here.
#include "text_encoding.h"

#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

const std::string kMixedUtf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, e acute, euro, emoji

TEST(Utf8, RoundTripsEveryPlaneWhateverTheWidthOfWideCharacters) {
  const std::wstring wide = L"a\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf8FromWide(wide), kMixedUtf8);
  std::size_t invalid_at = 0;
  EXPECT_EQ(UnitsFromCodePoints<std::wstring>(*CodePointsFromUtf8(kMixedUtf8, invalid_at)), wide);

  const std::u16string utf16 = u"a\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf8FromCodePoints(CodePointsFrom(utf16)), kMixedUtf8);
  EXPECT_EQ(UnitsFromCodePoints<std::u16string>(*CodePointsFromUtf8(kMixedUtf8, invalid_at)),
            utf16);
}

TEST(Utf8, WritesAnUnpairedSurrogateAsTheReplacementCharacter) {
  EXPECT_EQ(Utf8FromCodePoints(CodePointsFrom(std::u16string{u'x', 0xDC00, 0xD800})),
            "x\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf8, RefusesOverlongSurrogateTruncatedAndOutOfRangeSequences) {
  const std::pair<std::string, std::size_t> cases[] = {{"ab\xC0\xAF", 2}, {"\xED\xA0\x80", 0},
                                                       {"ab\xE2\x82", 2}, {"\xF4\x90\x80\x80", 0},
                                                       {"a\x80", 1},      {"\xC3(", 0}};
  for (const auto& [bytes, expected_offset] : cases) {
    std::size_t invalid_at = 99;
    EXPECT_FALSE(CodePointsFromUtf8(bytes, invalid_at)) << bytes;
    EXPECT_EQ(invalid_at, expected_offset) << bytes;
  }
}

}  // namespace
}  // namespace quillmark::companion
