// Name lists in every accepted encoding and shape, and the list text that reads back.
#include "list_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_name_sources.h"
#include "text_encoding.h"

namespace quillmark::companion {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

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
  const ListRead read = AddNamesFromListBytes(bytes, Latin1Text, names);
  EXPECT_THAT(names, ElementsAre(L"before")) << "bytes that are not text added names";
  return read.problem ? read.problem->what : L"(none)";
}

TEST(ListDecoding, ReadsUtf8WithOrWithoutMarkAndUtf16WithMarkInEitherByteOrder) {
  const std::string utf8 = "caf\xC3\xA9\r\nhost-\xF0\x9F\x98\x80\r\n";
  const std::u16string utf16 = u"caf\u00E9\r\nhost-\U0001F600\r\n";
  for (const std::string& bytes :
       {utf8, "\xEF\xBB\xBF" + utf8, Utf16WithMark(utf16, false), Utf16WithMark(utf16, true)}) {
    ComputerNames names;
    const ListRead read = AddNamesFromListBytes(bytes, Latin1Text, names);
    ASSERT_FALSE(read.problem || read.ansi_code_page) << bytes;
    EXPECT_THAT(names, ElementsAre(L"caf\u00E9", L"host-\U0001F600"));
  }
}

TEST(ListDecoding, NamesWhatMakesTheBytesNotTextAndReadsTheRestInTheAnsiCodePage) {
  EXPECT_EQ(ProblemIn("\xEF\xBB\xBFpc\xC3"), L"is not valid text: invalid UTF-8 at byte offset 5");
  EXPECT_EQ(ProblemIn(std::string("\xFF\xFEp\0c", 5)),
            L"is not valid text: UTF-16 text with an odd number of bytes");
  EXPECT_EQ(ProblemIn(Utf16WithMark({u'p', 0xDC01, u'c'}, true)),
            L"is not valid text: an unpaired UTF-16 surrogate at byte offset 4");
  for (const std::string& bytes : {std::string("p\0c\0", 4), std::string("p\xC4\0", 3)}) {
    EXPECT_THAT(ProblemIn(bytes), ::testing::StartsWith(L"is not valid text: a NUL character"));
  }
  ComputerNames names;
  const ListRead read = AddNamesFromListBytes("PC-M\xDCNCHEN\r\npc2", Latin1Text, names);
  EXPECT_EQ(read.ansi_code_page, 1252u);
  EXPECT_THAT(names, ElementsAre(L"PC-M\u00DCNCHEN", L"pc2"));
}

// Every shape a list comes in, and the names it gives or what is wrong with it.
TEST(ListShapes, EachGivesItsNamesOrItsProblem) {
  const struct {
    const char* shape;
    std::wstring text;
    std::vector<std::wstring> names;
    std::wstring problem = {};
  } cases[] = {
      {"lines",
       L"a\r\nb\rc\n\n \t\r\n  # note\n\t d \u00A0\r\n#x\r\nlast",
       {L"a", L"b", L"c", L"d", L"last"}},
      {"separated",
       L"PC01,PC02;PC03 PC04\tPC05; ,PC06\r\n\u3000e f # g\u3000",
       {L"PC01", L"PC02", L"PC03", L"PC04", L"PC05", L"PC06", L"e", L"f"}},
      {"inline comment", L"PC01   # reception\r\nPC#2 #x", {L"PC01", L"PC#2"}},
      {"Export-Csv", L"\"Name\"\r\n\"PC01\"\r\n\"\"\r\n\"PC02\"\r\n", {L"PC01", L"PC02"}},
      {"Export-Csv with #TYPE",
       L"#TYPE Selected.Microsoft.ActiveDirectory.Management.ADComputer\r\n"
       L"\"Name\",\"Enabled\"\r\n\"PC01\",\"True\"\r\n",
       {L"PC01"}},
      {"DNSHostName before Name",
       L"\"Name\",\"DNSHostName\"\r\n\"PC01\",\"pc01.x.test\"\r\n\"PC02\",\"\"",
       {L"pc01.x.test"}},
      {"semicolons, unquoted", L"cn;Room\nPC01;12\nPC02;14\n", {L"PC01", L"PC02"}},
      {"the companion's own CSV",
       L"computer,serial,status,code,description,milliseconds,protocol\r\n"
       L"pc1,,failed,0x800706BA,\"Gone, for now\",12,dcom\r\n'=x,,failed,,,1,\r\n"
       L"\"two\r\nlines\",,failed,,,1,\r\npc1,B,ok,,,3,dcom\r\n",
       {L"pc1", L"=x", L"two\r\nlines", L"pc1"}},
      {"quoted, no name column",
       L"\"Owner\",\"Room\"\r\n\"ann\",\"12\"",
       {},
       L"is CSV with the columns \"Owner\", \"Room\", none of which holds names: they are read "
       L"from a column DNSHostName, computer, Name, ComputerName, HostName or cn"},
      {"table capture", L"\r\nName\r\n----\r\nPC01\r\nPC02\r\n\r\n", {L"PC01", L"PC02"}},
      {"table of columns",
       L"Enabled Name  DNSHostName\n------- ----  -----------\n"
       L"   True PC01  pc01.x.test\n  False PC02\n",
       {L"pc01.x.test"}},
      {"table, no name column",
       L"Owner Room\n----- ----\nann   12\n",
       {},
       L"is a table with the columns \"Owner\", \"Room\", none of which holds names: they are read "
       L"from a column DNSHostName, computer, Name, ComputerName, HostName or cn"},
      {"unclosed quote",
       L"Name\r\n\"PC01\r\n",
       {},
       L"is not CSV as it reads: line 2: a quote that is never closed"},
  };
  for (const auto& test : cases) {
    ComputerNames names{L"before"};
    const auto problem = AddNamesFromListText(test.text, names);
    EXPECT_EQ(problem ? problem->what : L"", test.problem) << test.shape;
    std::vector<std::wstring> expected = {L"before"};
    expected.insert(expected.end(), test.names.begin(), test.names.end());
    EXPECT_THAT(names, ElementsAreArray(expected)) << test.shape;
  }
}

TEST(ListArguments, SplitAtCommasAndSemicolonsOnlyWhereTheyAre) {
  ComputerNames names;
  for (const wchar_t* argument : {L" spaced ", L"PC01, PC02;;PC03", L"a b"}) {
    AddNamesFromArgument(argument, names);
  }
  EXPECT_THAT(names, ElementsAre(L" spaced ", L"PC01", L"PC02", L"PC03", L"a b"));
}

// Every name --names-only and the retry list write reads back as itself.
TEST(NameListText, WritesEachNameOnALineThatReadsBackAsItself) {
  const ComputerNames names{L"Name",
                            L"pc1.samdom.test",
                            L"\u00C9CLAIR",
                            L"two\nlines\u202e",
                            L"#1",
                            L" blank\t",
                            L"\u00A0nbsp\u3000",
                            L"\uFEFFmark",
                            L"a,b;c d",
                            L"\"q\"",
                            L"----",
                            L"back\\u0041",
                            L"Name",
                            L"- -"};
  const std::wstring text = NameListText(names);
  EXPECT_EQ(text.substr(0, 34), L"\\u004eame\r\npc1.samdom.test\r\n\u00C9CLAIR");
  for (const std::string& bytes : {Utf8FromWide(text), "\xEF\xBB\xBF" + Utf8FromWide(text)}) {
    ComputerNames read;
    const ListRead list = AddNamesFromListBytes(bytes, Latin1Text, read);
    ASSERT_FALSE(list.problem) << list.problem->what;
    EXPECT_THAT(read, ElementsAreArray(names));
  }
}

}  // namespace
}  // namespace quillmark::companion
