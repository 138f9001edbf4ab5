// The computer name reaches the service exactly as typed, right after the 44-character prefix.
#include <gtest/gtest.h>

#include <string>

#include "endtoend_support.h"

namespace quillmark::endtoend {
namespace {

using standin::Plan;
using standin::PlanBuilder;
using standin::Serial;

struct NameCase {
  const char* label;
  std::wstring name;
};

// 40,000 characters whose every position is told apart by its neighbours, with marked ends, so
// that a cut or a doubled stretch would show.
std::wstring LongName() {
  std::wstring name = L"BEGIN-";
  for (int block = 0; name.size() < 40000 - 4; ++block) name += std::to_wstring(block) + L".";
  name.resize(40000 - 4);
  return name + L"-END";
}

class ComputerNames : public EndToEnd, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ComputerNames, ReachTheServiceExactlyAsTypedAfterThePrefix) {
  const std::wstring& name = GetParam().name;
  const Plan plan = PlanBuilder::AnyComputer().Member(Serial::Text(L"NAMED"));
  Use({plan});
  ASSERT_NO_FATAL_FAILURE(LookUp(name));
  ASSERT_NO_FATAL_FAILURE(ExpectResult(L"NAMED"));
  ExpectLookupOver(name, ExpectedCalls(name, plan));
  ExpectFreshSecondLookup(name);
}

INSTANTIATE_TEST_SUITE_P(
    AsTyped, ComputerNames,
    ::testing::Values(NameCase{"Plain", L"pc1"}, NameCase{"LeadingAndTrailingBlanks", L"  pc1  "},
                      NameCase{"OnlyABlank", L" "}, NameCase{"LeadingSlashes", L"//pc1"},
                      NameCase{"LeadingBackslashes", L"\\\\pc1"},
                      NameCase{"MixedSlashesAndDots", L"\\/.\\"}, NameCase{"Empty", L""},
                      NameCase{"NonAscii", L"r\u00e9seau-\u65e5\u672c"},
                      NameCase{"FortyThousandCharacters", LongName()}),
    [](const ::testing::TestParamInfo<NameCase>& param_info) {
      return std::string(param_info.param.label);
    });

}  // namespace
}  // namespace quillmark::endtoend
