// The tests' CSV reader takes RFC 4180 as written and refuses what breaks it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "csv_reader.h"

namespace quillmark::csv_support {
namespace {

using ::testing::ElementsAre;
using ::testing::Optional;

TEST(CsvReader, ReadsQuotedCommasQuotesLineBreaksAndEmptyFields) {
  EXPECT_THAT(ReadCsv("a,\"b,\"\"c\"\"\r\nd\",,\"\"\r\n,\r\n"),
              Optional(ElementsAre(ElementsAre("a", "b,\"c\"\r\nd", "", ""), ElementsAre("", ""))));
  EXPECT_THAT(ReadCsv(""), Optional(ElementsAre()));
}

TEST(CsvReader, RefusesWhatBreaksTheRules) {
  EXPECT_FALSE(ReadCsv("a,b"));         // no CRLF at the end
  EXPECT_FALSE(ReadCsv("a,b\n"));       // LF alone
  EXPECT_FALSE(ReadCsv("a\rb\r\n"));    // CR alone
  EXPECT_FALSE(ReadCsv("a\"b\r\n"));    // a quote in an unquoted field
  EXPECT_FALSE(ReadCsv("\"a\"b\r\n"));  // text after the closing quote
  EXPECT_FALSE(ReadCsv("\"a,b\r\n"));   // never closed
  EXPECT_FALSE(ReadCsv("a,"));          // a comma at the very end
}

}  // namespace
}  // namespace quillmark::csv_support
