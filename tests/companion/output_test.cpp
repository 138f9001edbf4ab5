// What the companion's output keeps when the run is killed or cannot write, how it makes remote
// text safe, and the retry list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "companion_support.h"
#include "standin_file.h"

namespace quillmark::companion_endtoend {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

using Output = CompanionEndToEnd;

std::size_t CountOf(const std::vector<std::string>& record, const std::string& line) {
  return static_cast<std::size_t>(std::count(record.begin(), record.end(), line));
}

TEST_F(Output, RowsWrittenBeforeAKillSurviveItInInputOrder) {
  Use({standin::ForPrefix(L"fast-").Member(standin::Serial::Text(L"F")),
       standin::For(L"hung").Hang()});
  const std::vector<std::wstring> names = {L"fast-1", L"fast-2", L"fast-3", L"hung", L"fast-4"};
  std::vector<std::wstring> arguments = {L"--parallel", L"8", L"--timeout", L"600"};
  arguments.insert(arguments.end(), names.begin(), names.end());
  RunOptions options;
  bool ready = false;
  options.while_running = [&](DWORD) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!ready && std::chrono::steady_clock::now() < deadline) {
      const std::vector<std::string> record = Record();
      ready = CountOf(record, "gone member1") == 4 && CountOf(record, "hang") == 1;
      Sleep(50);
    }
    Sleep(1000);   // lets the companion take in the last lookup's end
    return false;  // killed outright, as a scheduler's time limit would
  };
  const CompanionRun run = RunCompanion(arguments, options);
  ASSERT_TRUE(ready) << ::testing::PrintToString(Record());
  EXPECT_FALSE(run.finished);
  const CsvOutput output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.problem, "") << run.out;
  // The computer after the hung one waits behind it: rows go out in input order.
  EXPECT_THAT(output.rows, ElementsAreArray(std::vector<Row>{{L"fast-1", L"F", L"ok", L"", L""},
                                                             {L"fast-2", L"F", L"ok", L"", L""},
                                                             {L"fast-3", L"F", L"ok", L"", L""}}));
}

// Whether any byte sequence of a control or bidirectional character is in UTF-8 output, other
// than CR and LF.
bool HoldsRawControls(const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const auto byte = static_cast<unsigned char>(bytes[at]);
    const auto next = at + 1 < bytes.size() ? static_cast<unsigned char>(bytes[at + 1]) : 0;
    const auto third = at + 2 < bytes.size() ? static_cast<unsigned char>(bytes[at + 2]) : 0;
    if ((byte < 0x20 && byte != '\r' && byte != '\n') || byte == 0x7F) return true;
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) return true;
    if (byte == 0xE2 && next == 0x80 && third >= 0xAA && third <= 0xAE) return true;
    if (byte == 0xE2 && next == 0x81 && third >= 0xA6 && third <= 0xA9) return true;
  }
  return false;
}

const std::wstring kLongSerial(50000, L'L');

// Serials that a spreadsheet would run, that would act on a terminal, and one very long one.
std::vector<standin::Plan> HostilePlans() {
  return {standin::For(L"formula").Member(standin::Serial::Text(L"=HYPERLINK(\"http://x\",\"y\")")),
          standin::For(L"signs")
              .Member(standin::Serial::Text(L"+1"))
              .Member(standin::Serial::Text(L"-1"))
              .Member(standin::Serial::Text(L"@A1")),
          standin::For(L"escapes")
              .Member(standin::Serial::Text(L"\x1B]0;owned\x07\x1B[2J"))
              .Member(standin::Serial::Text(std::wstring(L"a\0b\x7F\x85", 5)))
              .Member(standin::Serial::Text(L"\u202Etxt.exe\u2066")),
          standin::For(L"long").Member(standin::Serial::Text(kLongSerial))};
}

const std::vector<std::wstring> kHostileNames = {L"formula", L"signs", L"escapes", L"long"};

TEST_F(Output, CsvGuardsFormulasUnlessRawAndShowsControlsVisibly) {
  Use(HostilePlans());
  for (const bool raw : {false, true}) {
    std::vector<std::wstring> arguments = kHostileNames;
    if (raw) arguments.insert(arguments.begin(), L"--csv-raw");
    const CompanionRun run = RunCompanion(arguments);
    ASSERT_TRUE(run.finished);
    const CsvOutput output = ReadCompanionCsv(run.out);
    ASSERT_EQ(output.problem, "") << run.out.substr(0, 2000);
    std::vector<std::wstring> serials;
    for (const Row& row : output.rows) serials.push_back(row[1]);
    const std::wstring sign = raw ? L"" : L"'";
    EXPECT_THAT(serials, ElementsAreArray(std::vector<std::wstring>{
                             sign + L"=HYPERLINK(\"http://x\",\"y\")", sign + L"+1", sign + L"-1",
                             sign + L"@A1", L"\\u001b]0;owned\\u0007\\u001b[2J",
                             L"a\\u0000b\\u007f\\u0085", L"\\u202etxt.exe\\u2066", kLongSerial}))
        << (raw ? "--csv-raw" : "guarded");
    EXPECT_FALSE(HoldsRawControls(run.out));
  }
}

TEST_F(Output, NoFormatWritesAControlRawAndTheTableCapsALongSerial) {
  Use(HostilePlans());
  for (const wchar_t* format : {L"table", L"json", L"jsonl"}) {
    std::vector<std::wstring> arguments = {L"--format", format};
    arguments.insert(arguments.end(), kHostileNames.begin(), kHostileNames.end());
    const CompanionRun run = RunCompanion(arguments);
    ASSERT_TRUE(run.finished) << Printable(format);
    EXPECT_EQ(run.exit_code, 0u) << Printable(format);
    EXPECT_FALSE(HoldsRawControls(run.out)) << Printable(format);
    EXPECT_THAT(run.out, HasSubstr("\\u001b]0;owned\\u0007")) << Printable(format);
    const bool table = std::wstring(format) == L"table";
    // CSV and JSON keep every value whole; the table cuts the long one.
    EXPECT_EQ(run.out.find(std::string(kLongSerial.size(), 'L')) != std::string::npos, !table);
    if (table) {
      std::size_t longest = 0;
      for (std::size_t at = 0, end; at < run.out.size(); at = end + 1) {
        end = std::min(run.out.find('\n', at), run.out.size());
        longest = std::max(longest, end - at);
      }
      EXPECT_LT(longest, 300u) << "a table line as wide as the long serial";
    }
  }
}

TEST_F(Output, AppendingToAFileLeavesTheByteOrderMarkAndTheHeaderAtItsStartOnly) {
  Use({standin::For(L"pc").Member(standin::Serial::Text(L"S"))});
  const FileInScratch appended(scratch_, L"appended.csv", "");
  RunOptions options;
  options.output = OutputTarget::kAppendedFile;
  options.append_to = appended.path();
  for (int run = 0; run < 2; ++run) ASSERT_TRUE(RunCompanion({L"pc"}, options).finished);
  const std::string bytes = standin::ReadWholeFile(appended.path()).value_or("");
  EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF"), 0u) << bytes;
  EXPECT_EQ(bytes.rfind("computer,serial"), 3u) << "a second header row: " << bytes;
  EXPECT_NE(bytes.find("pc,S,ok", bytes.find("pc,S,ok") + 1), std::string::npos) << bytes;
}

struct WriteFailure {
  const char* label;
  OutputTarget target;
  const wchar_t* retry_list;  // in the scratch folder, or none
  const char* reason;         // on standard error
};

class WriteFailures : public CompanionEndToEnd,
                      public ::testing::WithParamInterface<WriteFailure> {};

// The output fails at its first write, or the retry list before any lookup (exit code 2), or the
// retry list at the end.
TEST_P(WriteFailures, EndTheRunWithTheReasonWithoutLookingUpTheRest) {
  const WriteFailure& failure = GetParam();
  Use({standin::ForPrefix(L"pc-").Delay(100).Member(standin::Serial::Text(L"S"))});
  std::vector<std::wstring> arguments = {L"--parallel", L"1"};
  if (failure.retry_list) {
    arguments.push_back(L"--retry-list");
    arguments.push_back(scratch_.folder() + failure.retry_list);
  }
  for (int number = 0; number < 50; ++number) arguments.push_back(L"pc-" + std::to_wstring(number));
  RunOptions options;
  options.output = failure.target;
  const CompanionRun run = RunCompanion(arguments, options);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, failure.retry_list ? 2u : 3u);
  EXPECT_THAT(run.err, HasSubstr(failure.reason));
  EXPECT_THAT(run.err, HasSubstr("error 0x8007"));
  std::size_t binds = 0;
  for (const std::string& line : Record()) binds += line.rfind("bind \"pc-", 0) == 0 ? 1u : 0u;
  const bool output_fails = failure.target != OutputTarget::kFile || failure.retry_list;
  EXPECT_EQ(binds == 0, output_fails) << binds << " computers looked up";
}

INSTANTIATE_TEST_SUITE_P(
    Targets, WriteFailures,
    ::testing::Values(
        WriteFailure{"ClosedPipe", OutputTarget::kClosedPipe, nullptr, "could not be written"},
        WriteFailure{"ReadOnlyFile", OutputTarget::kReadOnlyFile, nullptr, "could not be written"},
        WriteFailure{"RetryListInMissingFolder", OutputTarget::kFile, L"\\missing\\retry.txt",
                     "cannot be written: error 0x80070003"},
        WriteFailure{"RetryListIsAFolder", OutputTarget::kFile, L"",
                     "cannot be written: error 0x8007010B"}),
    [](const ::testing::TestParamInfo<WriteFailure>& param_info) {
      return std::string(param_info.param.label);
    });

TEST_F(Output, TheRetryListHoldsTheNamesWithoutASerialAndReadsBackAsAList) {
  Use({standin::For(L"ok-1").Member(standin::Serial::Text(L"A")), standin::For(L"none"),
       standin::For(L"fails").Fail(standin::Step::kBind, 1, static_cast<HRESULT>(0x800706BA),
                                   standin::Raise::kCode, L""),
       standin::For(L"late-fail")
           .Member(standin::Serial::Text(L"B"))
           .Fail(standin::Step::kNext, 2, E_FAIL, standin::Raise::kCode, L""),
       standin::For(L"hung").Hang(), standin::For(L"ok-2").Member(standin::Serial::Text(L"C")),
       standin::For(L"two\nlines")
           .Fail(standin::Step::kBind, 1, E_FAIL, standin::Raise::kCode, L"")});
  const FileInScratch retry(scratch_, L"retry.txt", "");
  const CompanionRun run =
      RunCompanion({L"--timeout", L"2", L"--retry-list", retry.path(), L"ok-1", L"none", L"fails",
                    L"late-fail", L"two\nlines", L"hung", L"ok-2"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 1u);
  // A name holding a line break is written as one line, which reads back as that name.
  EXPECT_EQ(standin::ReadWholeFile(retry.path()).value_or("?"),
            "fails\r\nlate-fail\r\ntwo\\u000alines\r\nhung\r\n");

  const CompanionRun again = RunCompanion({L"--timeout", L"2", L"@" + retry.path()});
  const CsvOutput output = ReadCompanionCsv(again.out);
  ASSERT_EQ(output.problem, "") << again.out;
  std::vector<std::wstring> computers;
  for (const Row& row : output.rows) {
    if (computers.empty() || computers.back() != row[0]) computers.push_back(row[0]);
  }
  EXPECT_THAT(computers, ElementsAreArray({L"fails", L"late-fail", L"two\nlines", L"hung"}));
}

}  // namespace
}  // namespace quillmark::companion_endtoend
