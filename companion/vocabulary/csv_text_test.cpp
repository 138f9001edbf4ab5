// CSV records as spreadsheet programs and scripts write them, read back field by field.
#include "csv_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

using Records = std::vector<std::vector<std::wstring>>;

// The records, each with the line it starts on, or the problem's line and words.
std::pair<Records, std::wstring> Read(const std::wstring& text, wchar_t separator) {
  CsvReader reader(text, separator);
  Records records;
  std::vector<std::wstring> fields;
  while (reader.Next(fields)) {
    fields.insert(fields.begin(), std::to_wstring(reader.line()));
    records.push_back(fields);
  }
  if (!reader.problem()) return {records, L""};
  return {records, std::to_wstring(reader.problem()->line) + L": " + reader.problem()->what};
}

TEST(CsvReader, ReadsQuotedAndBareFieldsWithAnySeparatorAndLineEnd) {
  const struct {
    std::wstring text;
    wchar_t separator;
    Records records;
    std::wstring problem;
  } cases[] = {
      {L"a,b\r\n\"c,\"\"d\"\"\",\r\n", L',', {{L"1", L"a", L"b"}, {L"2", L"c,\"d\"", L""}}, L""},
      {L"\"a\nb\";c\n\"x\r\ny\";z", L';', {{L"1", L"a\nb", L"c"}, {L"3", L"x\r\ny", L"z"}}, L""},
      {L"a\tb\rc\t \"d\" \r\n", L'\t', {{L"1", L"a", L"b"}, {L"2", L"c", L" \"d\" "}}, L""},
      {L"a\r\n\r\nb", L',', {{L"1", L"a"}, {L"2", L""}, {L"3", L"b"}}, L""},
      {L"a\r\n\"b\r\nc", L',', {{L"1", L"a"}}, L"2: a quote that is never closed"},
      {L"a\n\"b\"c,d", L',', {{L"1", L"a"}}, L"2: text after a closing quote"},
  };
  for (const auto& test : cases) {
    const auto [records, problem] = Read(test.text, test.separator);
    EXPECT_EQ(records, test.records) << testing::PrintToString(test.text);
    EXPECT_EQ(problem, test.problem) << testing::PrintToString(test.text);
  }
}

TEST(CsvReader, ReadsBackWhatTheWriterWrites) {
  const std::vector<std::wstring> values = {L"plain",        L" blank",  L"se;mi", L"=1+2",
                                            L"two\r\nlines", L"q\"uote", L""};
  for (const wchar_t separator : {L',', L';', L'\t'}) {
    const std::wstring line = CsvLine(values, true, separator);
    EXPECT_EQ(CsvSeparatorOf(line), separator == L'\t' ? L'\t' : separator);
    CsvReader reader(line, separator);
    std::vector<std::wstring> fields;
    ASSERT_TRUE(reader.Next(fields));
    EXPECT_EQ(fields, values);
    EXPECT_FALSE(reader.Next(fields));
  }
  EXPECT_EQ(CsvField(L"=1+2", false), L"'=1+2");
  EXPECT_EQ(CsvSeparatorOf(L"\"a;b\",c"), L',');
  EXPECT_EQ(CsvSeparatorOf(L"Name"), L',');
}

}  // namespace
}  // namespace quillmark::companion
