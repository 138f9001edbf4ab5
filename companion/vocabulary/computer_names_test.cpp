// Which names count as the same computer.
#include "computer_names.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

using ::testing::ElementsAre;

TEST(RepeatedNames, KeepFirstSpellingWhereFirstGivenIgnoringCaseAsWindowsDoes) {
  EXPECT_THAT(WithoutRepeatedNames({L"pc1", L"\u00C4rger-\u00FF", L"PC1", L"\u00E4RGER-\u0178",
                                    L"\u03A3\u039F\u03A6\u038A\u0391",
                                    L"\u03C3\u03BF\u03C6\u03AF\u03B1", L"\u0414\u043E\u043C-\u0451",
                                    L"\u0434\u041E\u043C-\u0401", L"\u0100\u017D", L"\u0101\u017E",
                                    L"Pc1", L"pc1.", L".", L"", L"pc.x.test.", L"PC.X.TEST"}),
              ElementsAre(L"pc1", L"\u00C4rger-\u00FF", L"\u03A3\u039F\u03A6\u038A\u0391",
                          L"\u0414\u043E\u043C-\u0451", L"\u0100\u017D", L".", L"", L"pc.x.test."));
}

TEST(RepeatedNames, FoldAListOfThousandsInOrder) {
  ComputerNames names;
  for (const wchar_t* prefix : {L"pc-", L"PC-", L"Pc-"}) {
    for (int index = 0; index < 3000; ++index) names.Add(prefix + std::to_wstring(index));
  }
  const ComputerNames kept = WithoutRepeatedNames(names);
  ASSERT_EQ(kept.size(), 3000u);
  EXPECT_EQ(kept[0], L"pc-0");
  EXPECT_EQ(kept[2999], L"pc-2999");
}

TEST(RepeatedNames, AreNotFoldedWhereWindowsTellsNamesApart) {
  EXPECT_EQ(WithoutRepeatedNames(
                {L"\u0131", L"I", L"\u03AC", L"\u03B1", L"\u00F7", L"\u00D7", L"pc", L"pc "})
                .size(),
            8u);
  EXPECT_EQ(ComputerNameKey(L"\u03C2\u00DFa\U0001F600"), L"\u03A3\u00DFA\U0001F600");
}

}  // namespace
}  // namespace quillmark::companion
