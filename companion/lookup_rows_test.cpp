// The three writers with awkward values, and the run's exit code and progress line.
#include "lookup_rows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "csv_reader.h"
#include "run_outcome.h"
#include "text_encoding.h"

namespace quillmark::companion {
namespace {

const std::int32_t kTransportFailure = static_cast<std::int32_t>(0x80041015);

const std::vector<LookupRow> kAwkwardRows = {
    {L"pc,1", L" \"quoted\"\r\nnext\t", RowStatus::kOk, std::nullopt, L"", 12, L"wsman"},
    {L"h\u00F6st-\U0001F600", L"", RowStatus::kFailed, kTransportFailure, L"Gone, retry ", 30000,
     L"dcom"},
    {L"pc3 ", L"SN\u20AC", RowStatus::kTimedOut, std::nullopt, L"Timed out.", 30001},
    {L"pc4", L"", RowStatus::kNoInstance, std::nullopt, L"", 7, L"dcom"},
    {L"pc5", L"", RowStatus::kUnreachable, kTransportFailure, L"Silent.", 1500},
};

TEST(CsvOutput, QuotesOnlyWhatNeedsItAndReadsBackAsWritten) {
  const std::wstring csv = FormatRows(OutputFormat::kCsv, kAwkwardRows);
  EXPECT_EQ(csv,
            L"computer,serial,status,code,description,milliseconds,protocol\r\n"
            L"\"pc,1\",\" \"\"quoted\"\"\r\nnext\t\",ok,,,12,wsman\r\n"
            L"h\u00F6st-\U0001F600,,failed,0x80041015,\"Gone, retry \",30000,dcom\r\n"
            L"\"pc3 \",SN\u20AC,timed out,,Timed out.,30001,\r\n"
            L"pc4,,no instance,,,7,dcom\r\n"
            L"pc5,,unreachable,0x80041015,Silent.,1500,\r\n");
  const auto records = csv_support::ReadCsv(Utf8FromWide(csv));
  ASSERT_TRUE(records.has_value()) << "not RFC 4180";
  ASSERT_EQ(records->size(), kAwkwardRows.size() + 1);
  for (std::size_t index = 0; index < kAwkwardRows.size(); ++index) {
    const LookupRow& row = kAwkwardRows[index];
    EXPECT_THAT(
        (*records)[index + 1],
        ::testing::ElementsAre(Utf8FromWide(row.computer), Utf8FromWide(row.serial),
                               Utf8FromWide(StatusWord(row.status)), row.code ? "0x80041015" : "",
                               Utf8FromWide(row.description), std::to_string(row.milliseconds),
                               Utf8FromWide(row.protocol)));
  }
}

TEST(OutputEncoding, OnlyCsvStartsWithAByteOrderMark) {
  EXPECT_TRUE(StartsWithByteOrderMark(OutputFormat::kCsv));
  EXPECT_FALSE(StartsWithByteOrderMark(OutputFormat::kJson));
  EXPECT_FALSE(StartsWithByteOrderMark(OutputFormat::kTable));
}

TEST(JsonOutput, WritesOneObjectALineWithEscapesAndNullForNoCode) {
  EXPECT_EQ(
      FormatRows(OutputFormat::kJson, {kAwkwardRows[0], kAwkwardRows[1]}),
      L"[\r\n"
      L"  {\"computer\": \"pc,1\", \"serial\": \" \\\"quoted\\\"\\u000d\\u000anext\\u0009\", "
      L"\"status\": \"ok\", \"code\": null, \"description\": \"\", \"milliseconds\": 12, "
      L"\"protocol\": \"wsman\"},\r\n"
      L"  {\"computer\": \"h\u00F6st-\U0001F600\", \"serial\": \"\", \"status\": \"failed\", "
      L"\"code\": \"0x80041015\", \"description\": \"Gone, retry \", \"milliseconds\": 30000, "
      L"\"protocol\": \"dcom\"}\r\n"
      L"]\r\n");
  EXPECT_EQ(FormatRows(OutputFormat::kJson, {}), L"[]\r\n");
}

TEST(JsonOutput, EscapesBackslashAndUnpairedSurrogatesSoTheUtf8IsValid) {
  LookupRow row;
  row.serial = L"a\\b" + std::wstring(1, static_cast<wchar_t>(0xD800)) + L"\x7F\u2028";
  const std::string utf8 = Utf8FromWide(FormatRows(OutputFormat::kJson, {row}));
  EXPECT_NE(utf8.find("\"serial\": \"a\\\\b\\ud800\x7F\xE2\x80\xA8\""), std::string::npos) << utf8;
}

TEST(TableOutput, AlignsByCodePointsAndShowsControlCharactersAsEscapes) {
  const std::vector<LookupRow> rows = {
      {L"h\u00F6st-\U0001F600", L"a\r\nb\tc", RowStatus::kOk, std::nullopt, L"one\ntwo", 12,
       L"wsman"},
      {L"pc2", L"", RowStatus::kTimedOut, kTransportFailure, L"", 30000},
  };
  EXPECT_EQ(FormatRows(OutputFormat::kTable, rows),
            L"computer  serial     status     code        protocol  milliseconds  description\r\n"
            L"h\u00F6st-\U0001F600    a\\r\\nb\\tc  ok" +
                std::wstring(21, L' ') + L"wsman" + std::wstring(15, L' ') +
                L"12  one\\ntwo\r\n"
                L"pc2" +
                std::wstring(18, L' ') + L"timed out  0x80041015" + std::wstring(19, L' ') +
                L"30000\r\n");
}

TEST(ExitCode, IsZeroOnlyWhenEveryComputerGaveOnlyOkRows) {
  const std::vector<std::wstring> computers = {L"pc1", L"pc2"};
  std::vector<LookupRow> rows = {{L"pc1", L"A", RowStatus::kOk, std::nullopt, L"", 1},
                                 {L"PC2", L"B", RowStatus::kOk, std::nullopt, L"", 1},
                                 {L"PC2", L"C", RowStatus::kOk, std::nullopt, L"", 1}};
  EXPECT_EQ(ExitCodeFor(computers, rows), kExitAllAnswered);
  EXPECT_EQ(ExitCodeFor(computers, {rows[0]}), kExitSomeUnanswered);
  for (const RowStatus status : {RowStatus::kNoInstance, RowStatus::kFailed, RowStatus::kTimedOut,
                                 RowStatus::kUnreachable}) {
    rows[2].status = status;
    EXPECT_EQ(ExitCodeFor(computers, rows), kExitSomeUnanswered) << StatusWord(status);
  }
}

TEST(ProgressLine, CountsDoneFailedAndTimedOutComputers) {
  EXPECT_EQ(ProgressText({37, 250, 3, 1}), L"37/250 done, 3 failed, 1 timed out");
}

}  // namespace
}  // namespace quillmark::companion
