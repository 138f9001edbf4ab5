// The directory floor: the paged search of a directory source made through the platform's LDAP
// client alone, with no directory interface (ADSI) above it, writing each computer's name a line,
// so that what the platform's client costs stands apart from what quillmark adds to it.
//   floor_ldap HOST PORT BASE FILTER
// Binds anonymously, as the directory interface does under Wine; exits 1 with the LDAP error.
#include <windows.h>
#include <winldap.h>

#include <cstdio>
#include <string>

#include "utf8.h"

namespace {

constexpr ULONG kPageSize = 1000;

// The first value of an attribute, or empty.
std::wstring FirstValue(LDAP* directory, LDAPMessage* entry, const wchar_t* attribute) {
  PWCHAR* values = ldap_get_valuesW(directory, entry, const_cast<PWCHAR>(attribute));
  if (values == nullptr) return {};
  std::wstring value = values[0] != nullptr ? values[0] : L"";
  ldap_value_freeW(values);
  return value;
}

int Fail(const char* step, ULONG code) {
  std::fprintf(stderr, "floor_ldap: %s failed with LDAP error 0x%lx\n", step, code);
  return 1;
}

int Search(LDAP* directory, wchar_t* base, wchar_t* filter) {
  wchar_t dns_host_name[] = L"dNSHostName";
  wchar_t common_name[] = L"cn";
  PWCHAR attributes[] = {dns_host_name, common_name, nullptr};
  const PLDAPSearch search = ldap_search_init_pageW(directory, base, LDAP_SCOPE_SUBTREE, filter,
                                                    attributes, 0, nullptr, nullptr, 0, 0, nullptr);
  if (search == nullptr) return Fail("ldap_search_init_page", LdapGetLastError());
  std::string names;
  for (;;) {
    ULONG count = 0;
    LDAPMessage* page = nullptr;
    const ULONG result = ldap_get_next_page_s(directory, search, nullptr, kPageSize, &count, &page);
    if (result == LDAP_NO_RESULTS_RETURNED) break;
    if (result != LDAP_SUCCESS) return Fail("ldap_get_next_page_s", result);
    for (LDAPMessage* entry = ldap_first_entry(directory, page); entry != nullptr;
         entry = ldap_next_entry(directory, entry)) {
      std::wstring name = FirstValue(directory, entry, dns_host_name);
      if (name.empty()) name = FirstValue(directory, entry, common_name);
      names += quillmark::bench::Utf8(name) + "\r\n";
    }
    ldap_msgfree(page);
  }
  ldap_search_abandon_page(directory, search);
  std::fwrite(names.data(), 1, names.size(), stdout);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: floor_ldap HOST PORT BASE FILTER\n");
    return 2;
  }
  LDAP* const directory = ldap_initW(argv[1], static_cast<ULONG>(_wtoi(argv[2])));
  if (directory == nullptr) return Fail("ldap_init", LdapGetLastError());
  ULONG version = LDAP_VERSION3;
  ldap_set_optionW(directory, LDAP_OPT_PROTOCOL_VERSION, &version);
  const ULONG result = ldap_bind_sW(directory, nullptr, nullptr, LDAP_AUTH_SIMPLE);
  const int exit_code =
      result == LDAP_SUCCESS ? Search(directory, argv[3], argv[4]) : Fail("ldap_bind_s", result);
  ldap_unbind(directory);
  return exit_code;
}
