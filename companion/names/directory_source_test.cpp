// Directory sources: which arguments name one and what they name, the search filter, the name
// looked up and the order of the names.
#include "directory_source.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillmark::companion {
namespace {

constexpr wchar_t kRefused[] = L"(not a source)";

TEST(DirectorySource, TakesTheFourPathFormsByWhetherAPartHoldsADn) {
  const struct {
    const wchar_t* argument;
    const wchar_t* root_dse;  // kRefused when the source is not one of the forms
    const wchar_t* search;    // with "DC=a/b,DC=test" as the naming context
    bool is_source = true;
  } cases[] = {
      {L"LDAP://", L"LDAP://RootDSE", L"LDAP://DC=a\\/b,DC=test"},
      {L"ldap://dc1.samdom.test", L"LDAP://dc1.samdom.test/RootDSE",
       L"LDAP://dc1.samdom.test/DC=a\\/b,DC=test"},
      {L"Ldap://dc1:3389/", L"LDAP://dc1:3389/RootDSE", L"LDAP://dc1:3389/DC=a\\/b,DC=test"},
      {L"LDAP://OU=Lab,DC=x", L"LDAP://RootDSE", L"LDAP://OU=Lab,DC=x"},
      {L"LDAP://OU=a\\/b,DC=x", L"LDAP://RootDSE", L"LDAP://OU=a\\/b,DC=x"},
      {L"LDAP://dc1/OU=Lab,DC=x", L"LDAP://dc1/RootDSE", L"LDAP://dc1/OU=Lab,DC=x"},
      {L"LDAP://dc1/OU=a/b,DC=x", L"LDAP://dc1/RootDSE", L"LDAP://dc1/OU=a/b,DC=x"},
      {L"LDAP://dc1/OU=Lab,DC=x/", L"LDAP://dc1/RootDSE", L"LDAP://dc1/OU=Lab,DC=x"},
      {L"LDAP://OU=Lab,DC=x/", L"LDAP://RootDSE", L"LDAP://OU=Lab,DC=x"},
      {L"LDAP://dc1/OU=a\\/,DC=x\\/", L"LDAP://dc1/RootDSE", L"LDAP://dc1/OU=a\\/,DC=x\\/"},
      {L"LDAP://dc1/RootDSE", kRefused, L""},
      {L"LDAP:///DC=x", kRefused, L""},
      {L"LDAP:/dc1", kRefused, L"", false},
      {L"LDAP", kRefused, L"", false},
      {L"xLDAP://dc1", kRefused, L"", false},
  };
  for (const auto& test : cases) {
    const auto source = ParseDirectorySource(test.argument);
    SCOPED_TRACE(testing::PrintToString(std::wstring(test.argument)));
    EXPECT_EQ(IsDirectorySource(test.argument), test.is_source);
    ASSERT_EQ(source.has_value(), test.root_dse != kRefused);
    if (!source) continue;
    EXPECT_EQ(source->RootDsePath(), test.root_dse);
    EXPECT_EQ(source->SearchBase(L"DC=a/b,DC=test"), test.search);
  }
}

TEST(DirectorySource, FiltersEnabledComputersAndRecentLogonsOnTheServer) {
  const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(1704067200));
  EXPECT_EQ(DirectoryTime(std::chrono::system_clock::time_point()), 116444736000000000);
  constexpr wchar_t kEnabled[] = L"(!(userAccountControl:1.2.840.113556.1.4.803:=2))";
  const std::pair<DirectoryFilter, std::wstring> cases[] = {
      {{}, L"(&(objectCategory=computer)" + std::wstring(kEnabled) + L")"},
      {{true, std::nullopt}, L"(objectCategory=computer)"},
      {{false, 14},
       L"(&(objectCategory=computer)" + std::wstring(kEnabled) +
           L"(lastLogonTimestamp>=133473312000000000))"},
      {{true, 3650}, L"(&(objectCategory=computer)(lastLogonTimestamp>=130331808000000000))"},
  };
  for (const auto& [filter, text] : cases) EXPECT_EQ(ComputerSearchFilter(filter, now), text);
}

TEST(DirectorySource, LooksUpTheDnsHostNameOrElseTheCommonName) {
  EXPECT_EQ(LookedUpName(L"pc1.samdom.test", L"PC1"), L"pc1.samdom.test");
  EXPECT_EQ(LookedUpName(L"", L"PC1"), L"PC1");
  EXPECT_EQ(LookedUpName(L"", L""), L"");
}

TEST(DirectorySource, SortsAsWindowsComparesComputerNamesThenByExactText) {
  std::vector<std::wstring> names = {L"pc10", L"\u00E9clair", L"PC2",         L"pc2",
                                     L"Pc1",  L"_x",          L"\u00C9CLAIR", L"pc1"};
  SortComputerNames(names);
  EXPECT_THAT(names, testing::ElementsAre(L"Pc1", L"pc1", L"pc10", L"PC2", L"pc2", L"_x",
                                          L"\u00C9CLAIR", L"\u00E9clair"));
}

}  // namespace
}  // namespace quillmark::companion
