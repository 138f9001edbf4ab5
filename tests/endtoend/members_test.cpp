// The boxes the program shows for the members the service lists, and for none.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "endtoend_support.h"

namespace quillmark::endtoend {
namespace {

using standin::For;
using standin::Plan;
using standin::Serial;

using Members = EndToEnd;

TEST_F(Members, TwoMembersGiveTwoBoxesInEnumeratorOrderTheSecondOnlyAfterTheFirst) {
  const Plan plan = For(L"pc2").Member(Serial::Text(L"FIRST-1")).Member(Serial::Text(L"SECOND-2"));
  Use({plan});
  ASSERT_NO_FATAL_FAILURE(LookUp(L"pc2"));

  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(WaitForBox(std::wstring(kPrompt) + L"FIRST-1", &box));
  // While the first box shows, the walk has not gone on to the second member.
  const std::vector<std::string> so_far = standin::Calls(standin::LastLookup(Record()));
  ASSERT_FALSE(so_far.empty());
  EXPECT_EQ(so_far.back(), "invoke member1 SerialNumber method|get");
  EXPECT_EQ(std::count(so_far.begin(), so_far.end(), "next enumerator 1"), 1);
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));

  ASSERT_NO_FATAL_FAILURE(ExpectResult(L"SECOND-2"));
  ExpectLookupOver(L"pc2", ExpectedCalls(L"pc2", plan));
  ExpectFreshSecondLookup(L"pc2");
}

TEST_F(Members, TheServicesObjectIsReleasedAsSoonAsTheCollectionIsObtained) {
  Use({For(L"pc1").Member(Serial::Text(L"A"))});
  ASSERT_NO_FATAL_FAILURE(LookUp(L"pc1"));
  ASSERT_NO_FATAL_FAILURE(ExpectResult(L"A"));
  ASSERT_TRUE(program().WaitForIdle());
  const std::vector<std::string> lookup = standin::LastLookup(Record());
  const auto gone = std::find(lookup.begin(), lookup.end(), "gone services");
  const auto walk =
      std::find(lookup.begin(), lookup.end(), "invoke collection _NewEnum method|get");
  EXPECT_TRUE(gone < walk) << ::testing::PrintToString(lookup);
}

TEST_F(Members, ZeroMembersGiveNoBoxNoFailureAndAnIdleWindow) {
  const Plan plan = For(L"pc0");
  Use({plan});
  ASSERT_NO_FATAL_FAILURE(LookUp(L"pc0"));
  ExpectLookupOver(L"pc0", ExpectedCalls(L"pc0", plan));
  EXPECT_TRUE(program().MessageBoxes().empty());
  ExpectFreshSecondLookup(L"pc0");
}

struct ValueCase {
  const char* label;
  Serial served;
  std::wstring shown;  // what follows the prompt in the box
};

class SerialValues : public EndToEnd, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(SerialValues, BoxShowsThePromptFollowedByTheValuesOrdinaryText) {
  const Plan plan = For(L"pc1").Member(GetParam().served);
  Use({plan});
  ASSERT_NO_FATAL_FAILURE(LookUp(L"pc1"));
  ASSERT_NO_FATAL_FAILURE(ExpectResult(GetParam().shown));
  ExpectLookupOver(L"pc1", ExpectedCalls(L"pc1", plan));
  ExpectFreshSecondLookup(L"pc1");
}

INSTANTIATE_TEST_SUITE_P(
    EachKind, SerialValues,
    ::testing::Values(
        ValueCase{"Text", Serial::Text(L"VMW-4C4C4544-0035"), L"VMW-4C4C4544-0035"},
        ValueCase{"Null", Serial::Null(), L""}, ValueCase{"Empty", Serial::Empty(), L""},
        ValueCase{"EmptyText", Serial::Text(L""), L""},
        ValueCase{"Integer", Serial::Integer(1234567), L"1234567"},
        ValueCase{"NegativeInteger", Serial::Integer(-42), L"-42"},
        ValueCase{"Real", Serial::Real(2.5), L"2.5"},
        ValueCase{"LeadingAndTrailingBlanks", Serial::Text(L"   SN 42   "), L"   SN 42   "},
        ValueCase{"OnlyBlanks", Serial::Text(L"    "), L"    "},
        ValueCase{"EmbeddedNul", Serial::Text(std::wstring(L"SN\0TAIL", 7)), L"SN\\u0000TAIL"},
        ValueCase{"NonAscii", Serial::Text(L"S\u00e9rie-\u00c5\u00df-\u65e5\u672c-\U0001F600"),
                  L"S\u00e9rie-\u00c5\u00df-\u65e5\u672c-\U0001F600"}),
    [](const ::testing::TestParamInfo<ValueCase>& param_info) {
      return std::string(param_info.param.label);
    });

}  // namespace
}  // namespace quillmark::endtoend
