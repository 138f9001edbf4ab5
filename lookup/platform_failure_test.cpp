// How a failure's number and description reach the user.
#include "platform_failure.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmark {
namespace {

constexpr auto kTransportFailure = static_cast<std::int32_t>(0x80041015);

TEST(FailureText, ShowsTheNumberInHexadecimalAndTheDescriptionUnchanged) {
  const PlatformFailure failure{static_cast<std::int32_t>(0x80041001),
                                L"  The service said: no.  "};
  EXPECT_EQ(FormatFailureCode(failure.code()), L"0x80041001");
  EXPECT_EQ(FormatFailureCode(5), L"0x00000005");
  EXPECT_EQ(FailureReportText(failure), L"Error 0x80041001\n\n  The service said: no.  ");
}

TEST(FailureHints, AHintedCodeAddsItsHintAfterTheNumberAndDescription) {
  const PlatformFailure failure{static_cast<std::int32_t>(0x800706BA), L"The RPC server is gone."};
  const std::wstring hint = FailureHint(failure.code());
  EXPECT_NE(hint.find(L"firewall"), std::wstring::npos);
  EXPECT_EQ(FailureReportText(failure), L"Error 0x800706BA\n\nThe RPC server is gone.\n\n" + hint);
}

TEST(FailureHints, ACodeWithoutAHintAddsNothing) {
  EXPECT_EQ(FailureHint(static_cast<std::int32_t>(0x8123ABCD)), L"");
  EXPECT_EQ(FailureHint(static_cast<std::int32_t>(0x80020005)), L"") << "described, not hinted";
  EXPECT_EQ(FailureReportText(PlatformFailure(static_cast<std::int32_t>(0x8123ABCD), L"Odd.")),
            L"Error 0x8123ABCD\n\nOdd.");
}

TEST(FailureHints, EveryHintedCodeHasOneSentenceAndItsDescription) {
  const std::vector<HintedFailure> hinted = HintedFailures();
  ASSERT_GE(hinted.size(), 8u);
  for (const HintedFailure& failure : hinted) {
    EXPECT_EQ(failure.description, DescribeFailureCode(failure.code));
    EXPECT_EQ(failure.hint.back(), L'.');
    EXPECT_EQ(failure.hint.find(L". "), std::wstring::npos) << "one sentence";
  }
  // The directory's words only where a directory source failed.
  constexpr auto kAccessDenied = static_cast<std::int32_t>(0x80070005);
  EXPECT_EQ(FailureHint(kAccessDenied).find(L"directory"), std::wstring::npos);
  EXPECT_NE(DirectoryFailureHint(kAccessDenied).find(L"directory"), std::wstring::npos);
  constexpr auto kNoSuchObject = static_cast<std::int32_t>(0x80072030);
  EXPECT_EQ(DirectoryFailureHint(kNoSuchObject), FailureHint(kNoSuchObject));
}

TEST(FailureText, DescriptionsLoseTheBlanksAndLineBreaksAtTheirEndsOnly) {
  const struct {
    std::wstring given;
    std::wstring kept;
  } rows[] = {
      {L"  Padded.  ", L"Padded."},
      {L"\r\n Line one.\r\nLine two.\r\n", L"Line one.\r\nLine two."},
      {L"\t\v\fTabbed\t ", L"Tabbed"},
      {L"Inner  blanks stay.", L"Inner  blanks stay."},
      {std::wstring(L" a\0b ", 5), std::wstring(L"a\0b", 3)},
      {L" \r\n\t ", L""},
      {L"", L""},
  };
  for (const auto& row : rows) EXPECT_EQ(TrimBlanks(row.given), row.kept);
}

TEST(FailureText, AnEmptyDescriptionIsReplacedByOneThatIsNeverEmpty) {
  EXPECT_EQ(PlatformFailure(static_cast<std::int32_t>(0x8004100E), L"").description(),
            L"Invalid namespace.");
  EXPECT_NE(PlatformFailure(kTransportFailure, L"").description().find(L"could not be reached"),
            std::wstring::npos);
  EXPECT_EQ(PlatformFailure(static_cast<std::int32_t>(0x8123ABCD), L"").description(),
            L"The operation failed with error 0x8123ABCD.");
}

}  // namespace
}  // namespace quillmark
