// How a failure's number and description reach the user.
#include "platform_failure.h"

#include <gtest/gtest.h>

namespace quillmark {
namespace {

constexpr auto kTransportFailure = static_cast<std::int32_t>(0x80041015);

TEST(FailureText, ShowsTheNumberInHexadecimalAndTheDescriptionUnchanged) {
  const PlatformFailure failure{kTransportFailure, L"  The service said: no.  "};
  EXPECT_EQ(FormatFailureCode(failure.code()), L"0x80041015");
  EXPECT_EQ(FormatFailureCode(5), L"0x00000005");
  EXPECT_EQ(FailureReportText(failure), L"Error 0x80041015\n\n  The service said: no.  ");
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
