// The end-of-run summary: computers by cause, most frequent first.
#include "run_summary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

constexpr std::int32_t kUnavailable = static_cast<std::int32_t>(0x800706BA);
constexpr std::int32_t kSilent = static_cast<std::int32_t>(0x8007274C);
constexpr std::int32_t kTimedOut = static_cast<std::int32_t>(0x800705B4);

LookupRow Ok() { return {L"pc", L"SN", RowStatus::kOk, std::nullopt, L""}; }
LookupRow NoInstance() { return {L"pc", L"", RowStatus::kNoInstance, std::nullopt, L""}; }
LookupRow With(std::int32_t code, const wchar_t* description,
               RowStatus status = RowStatus::kFailed) {
  return {L"pc", L"", status, code, description};
}

// A platform's description for two codes: one to show on one line, one too long for it.
std::wstring Described(std::int32_t code) {
  if (code == 0x1234) return L" Broke\r\noff. ";
  return std::wstring(158, L'x') + L"\x1b\U0001F600 and more";
}

TEST(RunSummary, CountsComputersByCauseMostFrequentFirst) {
  const struct {
    const char* promise;
    std::size_t computers;
    std::vector<ComputerRows> added;
    std::vector<std::wstring> starts;  // how each line starts; the hints are the guide's own
    RunSummary::DescribeFor describe = DescribeFailureCode;
  } cases[] = {
      {"every computer answered", 2, {{Ok(), Ok()}, {Ok()}}, {L"2 of 2 computers answered fully."}},
      {"a code's line has the code's own description, whatever each row's said",
       5,
       {{With(kTimedOut, L"Late.", RowStatus::kTimedOut)},
        {With(kSilent, L"Silent.", RowStatus::kUnreachable)},
        {With(kUnavailable, L"Off. WS-Management was tried too: ...")},
        {With(kSilent, L"Quiet.", RowStatus::kUnreachable)},
        {Ok()}},
       {L"1 of 5 computers answered fully.\r\n",
        L"      2  0x8007274C  A connection attempt failed because",
        L"      1  0x800705B4  This operation returned because the timeout period expired. The",
        L"      1  0x800706BA  The RPC server is unavailable. The computer is off"}},
      {"a failure after serials counts by its code and apart; no instance and a stop apart",
       4,
       {{Ok(), With(0x1234, L"Gone.")}, {NoInstance()}},
       {L"0 of 4 computers answered fully; 1 more gave some serial numbers before failing.\r\n",
        L"      1  0x00001234  Broke\\u000d\\u000aoff.\r\n", L"      1  no instance",
        L"      2  not finished"},
       Described},
      {"a long description is cut by code points, never inside an escape",
       1,
       {{With(0x4321, L"")}},
       {L"0 of 1 computer",
        L"      1  0x00004321  " + std::wstring(158, L'x') + L"\\u001b\u2026\r\n"},
       Described},
      {"ten codes at most, the rest together",
       12,
       {{With(1, L"A")},
        {With(2, L"B")},
        {With(3, L"C")},
        {With(4, L"D")},
        {With(5, L"E")},
        {With(6, L"F")},
        {With(7, L"G")},
        {With(8, L"H")},
        {With(9, L"I")},
        {With(10, L"J")},
        {With(11, L"K")},
        {With(12, L"L")}},
       {L"0 of 12", L"      1  0x00000001  The operation failed", L"      1  0x00000002",
        L"      1  0x00000003", L"      1  0x00000004", L"      1  0x00000005",
        L"      1  0x00000006", L"      1  0x00000007", L"      1  0x00000008",
        L"      1  0x00000009", L"      1  0x0000000A", L"      2  with 2 other codes"}},
  };
  for (const auto& test : cases) {
    RunSummary summary(test.computers, FailureHint, test.describe);
    for (const ComputerRows& rows : test.added) summary.Add(rows);
    std::vector<::testing::Matcher<std::wstring>> lines;
    for (const std::wstring& start : test.starts) lines.push_back(::testing::StartsWith(start));
    EXPECT_THAT(summary.Lines(), ::testing::ElementsAreArray(lines)) << test.promise;
  }
}

}  // namespace
}  // namespace quillmark::companion
