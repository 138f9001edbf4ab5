// The COM layer against reference-counting fakes: what it calls, what it shows, what it releases,
// and how each kind of failure reaches the caller.
#include "com_management_binder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "com_failure.h"
#include "com_fakes.h"
#include "com_owners.h"
#include "platform_failure.h"

namespace quillmark {
namespace {

using fakes::InjectedFailure;
using fakes::Raise;
using ::testing::ElementsAre;

class RecordingNotifier : public UserNotifier {
 public:
  void ShowMessage(const std::wstring& text) override { shown.push_back(text); }
  std::vector<std::wstring> shown;
};

VARIANT Text(const wchar_t* text) {
  VARIANT value;
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocString(text);
  return value;
}

VARIANT Of(VARTYPE type) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = type;
  return value;
}

class ComLayer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_THROW(apartment_.emplace()); }
  void TearDown() override {
    for (VARIANT& serial : script_.serials) VariantClear(&serial);
  }

  // Runs one lookup of `name` against the fakes; the fakes must all be gone when it returns.
  void Lookup(const std::wstring& name = L"pc1") {
    ComManagementBinder binder([this](const std::wstring& display_name) {
      bound_names_.push_back(display_name);
      return fakes::MakeServices(script_);
    });
    struct LiveCheck {
      ~LiveCheck() { EXPECT_EQ(fakes::LiveObjects(), 0) << "fake objects still referenced"; }
    } live_check;
    SerialLookup(name, binder, notifier_);
  }

  PlatformFailure LookupFailure() {
    try {
      Lookup();
    } catch (const PlatformFailure& failure) {
      return failure;
    }
    ADD_FAILURE() << "the lookup did not fail";
    return PlatformFailure(S_OK, L"none");
  }

  std::optional<ComApartment> apartment_;
  fakes::ServiceScript script_;
  RecordingNotifier notifier_;
  std::vector<std::wstring> bound_names_;
};

const std::wstring kPrompt = L"The serial number for the specified computer is: ";

TEST_F(ComLayer, WalksEveryMemberReadsItsSerialAndReleasesEveryObject) {
  script_.serials = {Text(L"FIRST"), Text(L"SECOND")};
  Lookup(L" pc1 ");
  EXPECT_THAT(bound_names_, ElementsAre(L"winmgmts:{impersonationLevel=impersonate}!// pc1 "));
  EXPECT_THAT(script_.calls, ElementsAre(L"InstancesOf(Win32_BIOS)", L"_NewEnum", L"Next",
                                         L"SerialNumber", L"Next", L"SerialNumber", L"Next"));
  EXPECT_THAT(notifier_.shown, ElementsAre(kPrompt + L"FIRST", kPrompt + L"SECOND"));
}

TEST_F(ComLayer, TurnsEachKindOfSerialIntoItsOrdinaryText) {
  VARIANT number = Of(VT_I4);
  V_I4(&number) = 12345;
  VARIANT real = Of(VT_R8);
  V_R8(&real) = 2.5;
  VARIANT flag = Of(VT_BOOL);
  V_BOOL(&flag) = VARIANT_TRUE;
  script_.serials = {Of(VT_NULL),      Of(VT_EMPTY),         number, real, flag,
                     Text(L"  PAD  "), Text(L"\u00c9\u4e2d")};
  Lookup();
  EXPECT_THAT(notifier_.shown,
              ElementsAre(kPrompt, kPrompt, kPrompt + L"12345", kPrompt + L"2.5", kPrompt + L"True",
                          kPrompt + L"  PAD  ", kPrompt + L"\u00c9\u4e2d"));
}

TEST_F(ComLayer, AnEmptyCollectionShowsNothing) {
  Lookup();
  EXPECT_THAT(script_.calls, ElementsAre(L"InstancesOf(Win32_BIOS)", L"_NewEnum", L"Next"));
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(ComLayer, AFailureCodeWithNoDescriptionGetsTheSystemsOrTheProgramsOwnText) {
  script_.serials = {Text(L"x")};
  script_.failures = {{L"SerialNumber", 1, DISP_E_TYPEMISMATCH, L"", Raise::kReturnCode}};
  const PlatformFailure failure = LookupFailure();
  EXPECT_EQ(failure.code(), DISP_E_TYPEMISMATCH);
  EXPECT_FALSE(failure.description().empty());
}

struct FailureCase {
  InjectedFailure injected;
  size_t messages_before;      // boxes shown before the failure
  const wchar_t* shown = {};   // the description the caller gets; null: the injected one
  unsigned long reported = 0;  // the code the caller gets; 0: the injected one
};

void PrintTo(const FailureCase& failure, std::ostream* out) {
  *out << std::string(failure.injected.step.begin(), failure.injected.step.end()) << " #"
       << failure.injected.occurrence;
}

class ComFailure : public ComLayer, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ComFailure, ReachesTheCallerWithItsCodeAndDescriptionAndNothingStaysReferenced) {
  script_.serials = {Text(L"FIRST"), Text(L"SECOND")};
  script_.failures = {GetParam().injected};
  const PlatformFailure failure = LookupFailure();
  const FailureCase& expected = GetParam();
  EXPECT_EQ(failure.code(), expected.reported != 0 ? static_cast<HRESULT>(expected.reported)
                                                   : expected.injected.code);
  EXPECT_EQ(failure.description(),
            expected.shown != nullptr ? expected.shown : expected.injected.description);
  EXPECT_EQ(notifier_.shown.size(), GetParam().messages_before);
  // Nothing is called after the failing step.
  EXPECT_EQ(script_.calls.back().rfind(GetParam().injected.step, 0), 0u) << script_.calls.size();
}

constexpr HRESULT kTransport = static_cast<HRESULT>(0x80041015);
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80041002);

INSTANTIATE_TEST_SUITE_P(
    EachStepAndWay, ComFailure,
    ::testing::Values(
        FailureCase{{L"InstancesOf", 1, kNotFound, L"Class not here.", Raise::kExcepInfo}, 0},
        FailureCase{{L"InstancesOf", 1, kTransport, L"Link lost.", Raise::kErrorInfo}, 0},
        FailureCase{{L"_NewEnum", 1, E_ACCESSDENIED, L"Not for you.", Raise::kExcepInfo}, 0},
        FailureCase{{L"Next", 1, kTransport, L"Link lost at start.", Raise::kErrorInfo}, 0},
        FailureCase{{L"Next", 2, kTransport, L"Link lost midway.", Raise::kErrorInfo}, 1},
        // Descriptions lose the blanks and line breaks at their ends, from either source.
        FailureCase{{L"SerialNumber", 2, kNotFound, L"  No such property.  ", Raise::kExcepInfo},
                    1,
                    L"No such property."},
        FailureCase{{L"_NewEnum", 1, kTransport, L"\r\n Link lost.\r\n ", Raise::kErrorInfo},
                    0,
                    L"Link lost."},
        FailureCase{{L"InstancesOf", 1, kNotFound, L"\tTwo\r\nlines.\r\n", Raise::kExcepInfo},
                    0,
                    L"Two\r\nlines."},
        // An application's own code in wCode keeps clear of the system's codes and keeps the
        // service's description: 3 is not "Member not found", 9 not "Exception occurred".
        FailureCase{{L"InstancesOf", 1, 3, L"Quota spent.", Raise::kExcepInfoWCode},
                    0,
                    nullptr,
                    0x80040203},
        FailureCase{{L"SerialNumber", 1, 9, L"Own code nine.", Raise::kExcepInfoWCode},
                    0,
                    nullptr,
                    0x80040209}));

// A failure whose description is missing or blank gets one that says something, under its code.
TEST_F(ComLayer, ABlankOrMissingDescriptionIsReplacedUnderTheRightCode) {
  const struct {
    InjectedFailure injected;
    unsigned long reported;
    const wchar_t* named;  // a text the description must contain; null: any
  } rows[] = {
      {{L"InstancesOf", 1, kTransport, L" \r\n\t ", Raise::kExcepInfo}, 0x80041015, nullptr},
      {{L"Next", 1, kNotFound, L"\r\n", Raise::kErrorInfo}, 0x80041002, nullptr},
      {{L"InstancesOf", 1, 3, L"", Raise::kExcepInfoWCode}, 0x80040203, L"0x80040203"},
      {{L"InstancesOf", 1, 9, L"  ", Raise::kExcepInfoWCode}, 0x80040209, L"0x80040209"},
  };
  for (const auto& row : rows) {
    script_.failures = {row.injected};
    const PlatformFailure failure = LookupFailure();
    EXPECT_EQ(failure.code(), static_cast<HRESULT>(row.reported));
    EXPECT_NE(TrimBlanks(failure.description()), L"") << row.injected.step;
    EXPECT_EQ(TrimBlanks(failure.description()), failure.description());
    if (row.named != nullptr) {
      EXPECT_NE(failure.description().find(row.named), std::wstring::npos);
    }
  }
}

TEST_F(ComLayer, AnExceptionWithoutDescriptionStillGetsOneThatIsNeverEmpty) {
  script_.serials = {Text(L"FIRST")};
  script_.failures = {{L"InstancesOf", 1, kTransport, L"", Raise::kExcepInfo}};
  const PlatformFailure failure = LookupFailure();
  EXPECT_EQ(failure.code(), kTransport);
  EXPECT_FALSE(failure.description().empty());
}

TEST_F(ComLayer, AFailedBindingEndsTheLookupBeforeAnyCall) {
  ComManagementBinder binder([](const std::wstring&) -> Microsoft::WRL::ComPtr<IDispatch> {
    throw PlatformFailure(kTransport, L"Unreachable.");
  });
  try {
    SerialLookup(L"pc1", binder, notifier_);
    FAIL() << "the binding failure did not reach the caller";
  } catch (const PlatformFailure& failure) {
    EXPECT_EQ(failure.code(), kTransport);
    EXPECT_EQ(failure.description(), L"Unreachable.");
  }
  EXPECT_TRUE(script_.calls.empty());
}

// A failed Win32 call is never reported as a success, and one that set no error is named.
TEST(LastErrorFailure, CarriesTheLastErrorOrNamesTheOperationThatGaveNone) {
  const struct {
    DWORD last_error;
    unsigned long code;
    const wchar_t* named;  // a text the description must contain; null: the system's own text
  } rows[] = {
      {ERROR_SUCCESS, 0x80004005, L"CreateWindowExW failed"},
      {ERROR_ACCESS_DENIED, 0x80070005, nullptr},
      {ERROR_INVALID_WINDOW_HANDLE, 0x80070578, nullptr},
  };
  for (const auto& row : rows) {
    SetLastError(row.last_error);
    const PlatformFailure failure = LastErrorFailure(L"CreateWindowExW");
    EXPECT_LT(failure.code(), 0) << "a failure with a success code";
    EXPECT_EQ(failure.code(), static_cast<HRESULT>(row.code));
    EXPECT_FALSE(failure.description().empty());
    if (row.named != nullptr) {
      EXPECT_NE(failure.description().find(row.named), std::wstring::npos);
    }
  }
  SetLastError(ERROR_SUCCESS);
  EXPECT_THROW(ThrowLastError(L"GetMessageW"), PlatformFailure);
}

TEST(ComOwners, OwnTheirValuesAndKeepEveryCharacter) {
  const std::wstring text(L"a\0b \u4e2d", 5);
  const UniqueBstr bstr(text);
  EXPECT_EQ(bstr.text(), text);
  EXPECT_EQ(SysStringLen(bstr.get()), 5u);
  UniqueBstr moved(L"x");
  moved = UniqueBstr(text);
  EXPECT_EQ(moved.text(), text);

  UniqueVariant variant;
  V_VT(variant.put()) = VT_BSTR;
  V_BSTR(&variant.get()) = UniqueBstr(L"owned").release();
  UniqueVariant other(std::move(variant));
  EXPECT_EQ(V_VT(&variant.get()), VT_EMPTY);
  EXPECT_EQ(std::wstring(V_BSTR(&other.get())), L"owned");
}

}  // namespace
}  // namespace quillmark
