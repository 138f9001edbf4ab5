// The lookup against the real management service of the machine the tests run on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "launcher.h"
#include "com_management_binder.h"
#include "com_owners.h"
#include "platform_failure.h"

namespace quillmark {
namespace {

class RecordingNotifier : public UserNotifier {
 public:
  void ShowMessage(const std::wstring& text) override { shown.push_back(text); }
  std::vector<std::wstring> shown;
};

class RealService : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_THROW(apartment_.emplace()); }

  std::optional<ComApartment> apartment_;
  ComManagementBinder binder_;
  RecordingNotifier notifier_;
};

TEST_F(RealService, ThisComputerReportsOneSerialEqualToTheCommandLineClients) {
  SerialLookup(L".", binder_, notifier_);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0],
            ResultMessageFor(test_support::SerialNumberFromCommandLineClient().value_or(
                L"<no answer from the command-line client>")));
}

TEST_F(RealService, AnUnknownComputerFailsWithACodeAndADescription) {
  try {
    SerialLookup(L"nosuchhost.invalid", binder_, notifier_);
    FAIL() << "an unknown computer was looked up";
  } catch (const PlatformFailure& failure) {
    EXPECT_LT(failure.code(), 0);
    EXPECT_FALSE(failure.description().empty());
  }
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(RealService, TheSchemesHandlerLoadsWithoutAnyNameAndAnUnknownSchemeFails) {
  EXPECT_NO_THROW(LoadMonikerHandler(kMonikerScheme));
  EXPECT_THROW(LoadMonikerHandler(L"nosuchscheme"), PlatformFailure);
}

TEST_F(RealService, HugeAndNonAsciiNamesEndCleanly) {
  for (const std::wstring& name :
       {std::wstring(100000, L'n'), std::wstring(L"r\u00e9seau-\u4e2d\u6587-\U0001F600")}) {
    try {
      SerialLookup(name, binder_, notifier_);
    } catch (const PlatformFailure& failure) {
      EXPECT_FALSE(failure.description().empty());
    }
  }
  // The service is still usable afterwards.
  notifier_.shown.clear();
  SerialLookup(L"localhost", binder_, notifier_);
  EXPECT_EQ(notifier_.shown.size(), 1u);
}

}  // namespace
}  // namespace quillmark
