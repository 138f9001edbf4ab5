// The three writers with awkward values, and the run's exit code and progress line.
#include "lookup_rows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "csv_reader.h"
#include "run_outcome.h"
#include "text_encoding.h"
#include "visible_text.h"

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
            L"computer,serial,status,code,description,milliseconds,protocol,serial_note\r\n"
            L"\"pc,1\",\" \"\"quoted\"\"\r\nnext\\u0009\",ok,,,12,wsman,\r\n"
            L"h\u00F6st-\U0001F600,,failed,0x80041015,\"Gone, retry \",30000,dcom,\r\n"
            L"\"pc3 \",SN\u20AC,timed out,,Timed out.,30001,,\r\n"
            L"pc4,,no instance,,,7,dcom,\r\n"
            L"pc5,,unreachable,0x80041015,Silent.,1500,,\r\n");
  const auto records = csv_support::ReadCsv(Utf8FromWide(csv));
  ASSERT_TRUE(records.has_value()) << "not RFC 4180";
  ASSERT_EQ(records->size(), kAwkwardRows.size() + 1);
  for (std::size_t index = 0; index < kAwkwardRows.size(); ++index) {
    const LookupRow& row = kAwkwardRows[index];
    EXPECT_THAT(
        (*records)[index + 1],
        ::testing::ElementsAre(Utf8FromWide(row.computer),
                               Utf8FromWide(VisibleText(row.serial, LineBreaks::kKept)),
                               Utf8FromWide(StatusWord(row.status)), row.code ? "0x80041015" : "",
                               Utf8FromWide(row.description), std::to_string(row.milliseconds),
                               Utf8FromWide(row.protocol), ""));
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
      L"\"protocol\": \"wsman\", \"serial_note\": \"\"},\r\n"
      L"  {\"computer\": \"h\u00F6st-\U0001F600\", \"serial\": \"\", \"status\": \"failed\", "
      L"\"code\": \"0x80041015\", \"description\": \"Gone, retry \", \"milliseconds\": 30000, "
      L"\"protocol\": \"dcom\", \"serial_note\": \"\"}\r\n"
      L"]\r\n");
  EXPECT_EQ(FormatRows(OutputFormat::kJson, {}), L"[]\r\n");
}

TEST(JsonOutput, EscapesBackslashAndReplacesUnpairedSurrogatesSoTheUtf8IsValid) {
  LookupRow row;
  row.serial = L"a\\b" + std::wstring(1, static_cast<wchar_t>(0xD800)) + L"\x7F\u2028";
  const std::string utf8 = Utf8FromWide(FormatRows(OutputFormat::kJson, {row}));
  EXPECT_NE(utf8.find("\"serial\": \"a\\\\b\xEF\xBF\xBD\\u007f\\u2028\""), std::string::npos)
      << utf8;
}

TEST(TableOutput, AlignsByCodePointsAndShowsControlCharactersAsEscapes) {
  const std::vector<LookupRow> rows = {
      {L"h\u00F6st-\U0001F600", L"a\r\nb\tc", RowStatus::kOk, std::nullopt, L"one\ntwo", 12,
       L"wsman"},
      {L"pc2", L"", RowStatus::kTimedOut, kTransportFailure, L"", 30000},
  };
  EXPECT_EQ(FormatRows(OutputFormat::kTable, rows),
            L"computer  serial     serial_note  status     code        protocol  milliseconds  "
            L"description\r\n"
            L"h\u00F6st-\U0001F600    a\\r\\nb\\tc" +
                std::wstring(15, L' ') + L"ok" + std::wstring(21, L' ') + L"wsman" +
                std::wstring(15, L' ') +
                L"12  one\\ntwo\r\n"
                L"pc2" +
                std::wstring(31, L' ') + L"timed out  0x80041015" + std::wstring(19, L' ') +
                L"30000\r\n");
}

struct GuardCase {
  const char* promise;
  std::wstring serial;
  std::wstring guarded;  // the CSV field by default
  std::wstring raw;      // the CSV field with --csv-raw
};

TEST(CsvOutput, GuardsFieldsThatASpreadsheetWouldRunAndNeverWritesControlsRaw) {
  const GuardCase cases[] = {
      {"a formula", L"=HYPERLINK(\"http://x\",\"y\")",
       L"\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"",
       L"\"=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {"plus", L"+1", L"'+1", L"+1"},
      {"minus", L"-2+3", L"'-2+3", L"-2+3"},
      {"at", L"@SUM(A1)", L"'@SUM(A1)", L"@SUM(A1)"},
      {"a leading tab", L"\t=1", L"'\\u0009=1", L"\\u0009=1"},
      {"a leading carriage return", L"\r=1", L"\"'\r=1\"", L"\"\r=1\""},
      {"a sign later on", L"A=1-2", L"A=1-2", L"A=1-2"},
      {"terminal escapes", L"\x1B]0;t\x07\x1B[2J", L"\\u001b]0;t\\u0007\\u001b[2J",
       L"\\u001b]0;t\\u0007\\u001b[2J"},
      {"NUL and DEL", std::wstring(L"a\0b\x7F", 4), L"a\\u0000b\\u007f", L"a\\u0000b\\u007f"},
      {"bidi override", L"\u202Egnp.exe", L"\\u202egnp.exe", L"\\u202egnp.exe"},
      {"a line break stays quoted", L"a\nb", L"\"a\nb\"", L"\"a\nb\""},
  };
  for (const GuardCase& row : cases) {
    for (const bool raw : {false, true}) {
      OutputStyle style;
      style.csv_raw = raw;
      RowFormatter formatter(style);
      const std::wstring line =
          formatter.Rows({{L"pc", row.serial, RowStatus::kOk, std::nullopt, L"", 1}});
      EXPECT_EQ(line, L"pc," + (raw ? row.raw : row.guarded) + L",ok,,,1,,\r\n")
          << row.promise << (raw ? " (raw)" : "");
    }
  }
}

// One computer's rows at a time give what all rows at once give, and a run stopped before any row
// still ends in a whole document.
TEST(RowFormatter, StreamsEachFormatComputerByComputer) {
  const std::vector<LookupRow> first = {kAwkwardRows[0], kAwkwardRows[1]};
  const std::vector<LookupRow> second = {kAwkwardRows[2], kAwkwardRows[3], kAwkwardRows[4]};
  for (const OutputFormat format : {OutputFormat::kCsv, OutputFormat::kJson}) {
    OutputStyle style;
    style.format = format;
    RowFormatter formatter(style);
    std::wstring text = formatter.Opening();
    text += formatter.Rows(first);
    text += formatter.Rows(second);
    EXPECT_EQ(text + formatter.Closing(), FormatRows(format, kAwkwardRows));
    RowFormatter stopped(style);
    EXPECT_EQ(stopped.Opening() + stopped.Closing(), FormatRows(format, {}));
  }
  OutputStyle lines;
  lines.format = OutputFormat::kJsonLines;
  RowFormatter formatter(lines);
  EXPECT_EQ(
      formatter.Opening() + formatter.Rows({kAwkwardRows[3]}) + formatter.Closing(),
      L"{\"computer\": \"pc4\", \"serial\": \"\", \"status\": \"no instance\", \"code\": null, "
      L"\"description\": \"\", \"milliseconds\": 7, \"protocol\": \"dcom\", \"serial_note\": "
      L"\"\"}\n");
}

TEST(TableOutput, StreamsInWidthsKnownUpFrontAndCutsLongValuesWithAMarker) {
  OutputStyle style;
  style.format = OutputFormat::kTable;
  style.table_widths =
      TableWidthsUpFront({L"pc1", L"a-long-name", std::wstring(5000, L'n')}, 30000);
  RowFormatter formatter(style);
  const std::wstring long_serial(50000, L'S');
  const std::wstring line = formatter.Rows(
      {{L"pc1", long_serial, RowStatus::kFailed, kTransportFailure, std::wstring(500, L'd'), 9}});
  const std::wstring serial_cell = std::wstring(kSerialCap - 1, L'S') + kCutMarker;
  const std::wstring description_cell = std::wstring(kDescriptionCap - 1, L'd') + kCutMarker;
  EXPECT_EQ(line, L"pc1" + std::wstring(kComputerWidthCap - 1, L' ') + serial_cell +
                      std::wstring(15, L' ') + L"failed" + std::wstring(9, L' ') + L"0x80041015" +
                      std::wstring(23, L' ') + L"9  " + description_cell + L"\r\n");
  // The number ends under the end of its heading.
  EXPECT_EQ(formatter.Opening().find(L"milliseconds") + 11, line.find(L" 9  ") + 1);
}

TEST(FactColumns, FollowTheRowsOwnInTheTablesOrderWithTheNoteLastAndAreShownSafely) {
  LookupRow row{L"vm", L"VMware-56 4d", RowStatus::kOk, std::nullopt, L"", 3, L"dcom"};
  const std::wstring model = L"=cmd|' /C calc'!A0" + std::wstring(30, L'x');
  row.facts[FactIndex(Fact::kMaker)] = L"Acme\x1b[31m";
  row.facts[FactIndex(Fact::kModel)] = model;
  AskedFacts with{};
  with[FactIndex(Fact::kModel)] = with[FactIndex(Fact::kMaker)] = true;
  EXPECT_EQ(FormatRows(OutputFormat::kCsv, {row}, with),
            L"computer,serial,status,code,description,milliseconds,protocol,maker,model,"
            L"serial_note\r\nvm,VMware-56 4d,ok,,,3,dcom,Acme\\u001b[31m,'" +
                model + L",virtual\r\n");
  EXPECT_THAT(FormatRows(OutputFormat::kJson, {row}, with),
              ::testing::HasSubstr(L"\"protocol\": \"dcom\", \"maker\": \"Acme\\u001b[31m\", "
                                   L"\"model\": \"" +
                                   model + L"\", \"serial_note\": \"virtual\"}"));
  // The note beside the serial, the facts after the milliseconds, a long one cut.
  EXPECT_THAT(FormatRows(OutputFormat::kTable, {row}, with),
              ::testing::HasSubstr(
                  L"VMware-56 4d  virtual      ok            dcom"
                  L"                 3  Acme\\u001b[31m  =cmd|' /C calc'!A0xxxxx\u2026\r\n"));
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

TEST(RetryList, HoldsEveryComputerWithAnyRowButOkOrNoInstance) {
  const auto row = [](RowStatus status) {
    return LookupRow{L"pc", L"", status, std::nullopt, L"", 0};
  };
  const std::pair<std::vector<LookupRow>, bool> cases[] = {
      {{row(RowStatus::kOk)}, false},
      {{row(RowStatus::kNoInstance)}, false},
      {{row(RowStatus::kFailed)}, true},
      {{row(RowStatus::kTimedOut)}, true},
      {{row(RowStatus::kNotLookedUp)}, true},
      {{row(RowStatus::kOk), row(RowStatus::kFailed)}, true},
  };
  for (const auto& [rows, retry] : cases) {
    EXPECT_EQ(NeedsRetry(rows), retry) << StatusWord(rows.back().status) << " of " << rows.size();
  }
}

TEST(ProgressLine, CountsDoneFailedAndTimedOutComputers) {
  EXPECT_EQ(ProgressText({37, 250, 3, 1}), L"37/250 done, 3 failed, 1 timed out");
}

}  // namespace
}  // namespace quillmark::companion
