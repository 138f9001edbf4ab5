// A failure at any step of the lookup, reported unchanged, with everything released after it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "endtoend_support.h"

namespace quillmark::endtoend {
namespace {

using standin::For;
using standin::Plan;
using standin::Raise;
using standin::Serial;
using standin::Step;

struct FailureCase {
  const char* label;
  int members;  // members the service lists, named "MEMBER-1", "MEMBER-2", ...
  Step step;
  int occurrence;
  HRESULT code;
  Raise raise;
  std::wstring description;   // empty with Raise::kCode: the service gives none
  int boxes_before;           // result boxes that must show before the report
  const wchar_t* shown = {};  // the description the report shows; null: the scripted one
};

HRESULT Code(unsigned long value) { return static_cast<HRESULT>(value); }

class FailureAtEachStep : public EndToEnd, public ::testing::WithParamInterface<FailureCase> {
 protected:
  Plan ScriptedPlan() const {
    const FailureCase& failure = GetParam();
    standin::PlanBuilder plan = For(L"pc-fail");
    for (int number = 1; number <= failure.members; ++number) {
      plan.Member(Serial::Text(L"MEMBER-" + std::to_wstring(number)));
    }
    plan.Fail(failure.step, failure.occurrence, failure.code, failure.raise, failure.description);
    return plan;
  }
};

TEST_P(FailureAtEachStep, ReportShowsTheScriptedNumberAndDescriptionAfterTheEarlierBoxes) {
  const FailureCase& failure = GetParam();
  const Plan plan = ScriptedPlan();
  Use({plan});
  ASSERT_NO_FATAL_FAILURE(LookUp(L"pc-fail"));
  for (int number = 1; number <= failure.boxes_before; ++number) {
    ASSERT_NO_FATAL_FAILURE(ExpectResult(L"MEMBER-" + std::to_wstring(number)));
  }
  if (failure.raise == Raise::kCode) {
    // Nothing describes a bare code, so the program words it itself.
    HWND box = nullptr;
    std::wstring shown;
    ASSERT_NO_FATAL_FAILURE(WaitForAnyBox(&box, &shown));
    const std::wstring heading = ReportText(failure.code, L"");
    EXPECT_EQ(shown.substr(0, heading.size()), heading) << Printable(shown);
    EXPECT_GT(shown.size(), heading.size()) << "the report has no description";
    Dismiss(box);
  } else {
    ASSERT_NO_FATAL_FAILURE(
        ExpectReport(failure.code, failure.shown != nullptr ? failure.shown : failure.description));
  }
  ExpectLookupOver(L"pc-fail", ExpectedCalls(L"pc-fail", plan));
  ExpectFreshSecondLookup(L"pc-fail");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FailureAtEachStep,
    ::testing::Values(
        FailureCase{"BindingWithErrorInfo", 1, Step::kBind, 1, Code(0x80041015), Raise::kErrorInfo,
                    L"The stand-in computer cannot be reached.", 0},
        FailureCase{"BindingAccessDenied", 1, Step::kBind, 1, Code(0x80070005), Raise::kErrorInfo,
                    L"Zugriff verweigert \u2013 stand-in.", 0},
        FailureCase{"InstancesOfWithExcepInfo", 1, Step::kInstancesOf, 1, Code(0x80041003),
                    Raise::kExcepInfo, L"Access denied by the stand-in.", 0},
        FailureCase{"InstancesOfWithErrorInfo", 1, Step::kInstancesOf, 1, Code(0x80041010),
                    Raise::kErrorInfo, L"Invalid class (stand-in).", 0},
        FailureCase{"StartOfWalkWithExcepInfo", 2, Step::kNewEnum, 1, Code(0x80041001),
                    Raise::kExcepInfo, L"  Generic failure, with blanks around.\r\n ", 0,
                    L"Generic failure, with blanks around."},
        FailureCase{"StartOfWalkWithErrorInfo", 2, Step::kNewEnum, 1, Code(0x8004100A),
                    Raise::kErrorInfo, L"Critical error of the stand-in.", 0},
        FailureCase{"BindingWithABlankPaddedErrorInfo", 1, Step::kBind, 1, Code(0x80041015),
                    Raise::kErrorInfo, L"\r\n\tUnreachable stand-in.  \r\n", 0,
                    L"Unreachable stand-in."},
        FailureCase{"FirstNext", 2, Step::kNext, 1, Code(0x80041006), Raise::kErrorInfo,
                    L"Out of memory in the stand-in.", 0},
        FailureCase{"SecondNextAfterOneBox", 2, Step::kNext, 2, Code(0x800706BA), Raise::kErrorInfo,
                    L"Le serveur RPC n\u2019est pas disponible.", 1},
        FailureCase{"NextAtTheEndOfTheWalkAfterTwoBoxes", 2, Step::kNext, 3, Code(0x80041017),
                    Raise::kErrorInfo, L"Invalid query at the end of the walk.", 2},
        FailureCase{"SecondNextWithABareCode", 2, Step::kNext, 2, Code(0x80041001), Raise::kCode,
                    L"", 1},
        FailureCase{"FirstSerialNumberWithExcepInfo", 2, Step::kSerialNumber, 1, Code(0x80041002),
                    Raise::kExcepInfo, L"Not found: SerialNumber.", 0},
        FailureCase{"SecondSerialNumberWithErrorInfo", 2, Step::kSerialNumber, 2, Code(0x80041004),
                    Raise::kErrorInfo, L"\u00c9chec du fournisseur \u65e5\u672c\nsecond line", 1},
        FailureCase{"SerialNumberWithAnAppDefinedCode", 1, Step::kSerialNumber, 1, Code(0xA0040201),
                    Raise::kExcepInfo, L"A code of the service's own.", 0}),
    [](const ::testing::TestParamInfo<FailureCase>& param_info) {
      return std::string(param_info.param.label);
    });

}  // namespace
}  // namespace quillmark::endtoend
