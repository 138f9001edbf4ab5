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

TEST(RunSummary, CountsComputersByCauseMostFrequentFirst) {
  const struct {
    const char* promise;
    std::size_t computers;
    std::vector<ComputerRows> added;
    std::vector<std::wstring> starts;  // how each line starts; the hints are the guide's own
  } cases[] = {
      {"every computer answered", 2, {{Ok(), Ok()}, {Ok()}}, {L"2 of 2 computers gave"}},
      {"timed out and unreachable count by their codes, most frequent first, ties as first met",
       5,
       {{With(kTimedOut, L"Late.", RowStatus::kTimedOut)},
        {With(kSilent, L"Silent.", RowStatus::kUnreachable)},
        {With(kUnavailable, L"Off.")},
        {With(kSilent, L"Quiet.", RowStatus::kUnreachable)},
        {Ok()}},
       {L"1 of 5 computers", L"      2  0x8007274C  Silent. Neither TCP 135",
        L"      1  0x800705B4  Late. The computer accepted", L"      1  0x800706BA  Off. The"}},
      {"a failure after serials counts by its code, in one line; no instance and a stop apart",
       4,
       {{Ok(), With(0x1234, L" Broke\r\noff. ")}, {NoInstance()}},
       {L"0 of 4 computers", L"      1  0x00001234  Broke\\u000d\\u000aoff.\r\n",
        L"      1  no instance", L"      2  not finished"}},
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
       {L"0 of 12", L"      1  0x00000001  A", L"      1  0x00000002", L"      1  0x00000003",
        L"      1  0x00000004", L"      1  0x00000005", L"      1  0x00000006",
        L"      1  0x00000007", L"      1  0x00000008", L"      1  0x00000009",
        L"      1  0x0000000A  J", L"      2  with 2 other codes"}},
  };
  for (const auto& test : cases) {
    RunSummary summary(test.computers);
    for (const ComputerRows& rows : test.added) summary.Add(rows);
    std::vector<::testing::Matcher<std::wstring>> lines;
    for (const std::wstring& start : test.starts) lines.push_back(::testing::StartsWith(start));
    EXPECT_THAT(summary.Lines(), ::testing::ElementsAreArray(lines)) << test.promise;
  }
}

}  // namespace
}  // namespace quillmark::companion
