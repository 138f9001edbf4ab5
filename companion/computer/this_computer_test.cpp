// Which names are this computer.
#include "this_computer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_encoding.h"

namespace quillmark::companion {
namespace {

TEST(ThisComputer, LocalSpellingsLoopbackAndOwnNamesAreThisComputerAndNothingElseIs) {
  const std::vector<std::wstring> own = {L"Desk-07", L"desk-07.corp.example", L""};
  for (const wchar_t* name : {L"", L".", L"LocalHost", L"localhost.", L"127.0.0.1", L"127.12.0.254",
                              L"::1", L"[::1]", L"DESK-07", L"Desk-07.Corp.Example"}) {
    EXPECT_TRUE(NamesThisComputer(name, own)) << Utf8FromWide(name);
  }
  for (const wchar_t* name : {L"..", L" .", L"127.0.0", L"127.0.0.1.5", L"127..0.1", L"1127.0.0.1",
                              L"128.0.0.1", L"desk-08", L"localhost2", L"desk-07.corp"}) {
    EXPECT_FALSE(NamesThisComputer(name, own)) << Utf8FromWide(name);
  }
}

}  // namespace
}  // namespace quillmark::companion
