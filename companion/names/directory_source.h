// Computers from the directory: what a source on the command line names, the search that reads
// it, and the order of the names it gives.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark::companion {

// Whether a command-line argument names a directory source: it begins with "LDAP://", in any case.
bool IsDirectorySource(std::wstring_view argument);

// A directory source in one of the directory's own path forms: LDAP://DN (that subtree, in this
// computer's domain), LDAP://SERVER/DN (the same, from that server), LDAP://SERVER (that server's
// whole domain) and LDAP:// (this computer's whole domain). A part that holds "=" is a DN.
struct DirectorySource {
  std::wstring server;  // a host name, with ":port" where given; empty: this computer's domain
  std::wstring dn;      // as given, escapes and all; empty: the domain's whole naming context

  // Where the domain's naming context is read when no DN is given.
  std::wstring RootDsePath() const;
  // The path searched: the DN given, or else `naming_context` as the root DSE gave it.
  std::wstring SearchBase(const std::wstring& naming_context = {}) const;
};

// The source an argument names; nullopt when it is not one of the four forms (a part after the
// server that is no DN, or an empty server before one). A slash after the DN is dropped.
std::optional<DirectorySource> ParseDirectorySource(std::wstring_view argument);

// The directory updates lastLogonTimestamp only once in 9 to 14 days, so a shorter window would
// drop computers in use.
inline constexpr int kMinActiveDays = 14;
inline constexpr int kMaxActiveDays = 3650;

// Which computer accounts a source gives: enabled ones unless disabled ones are asked for too, and
// with active_days, only those whose last logon the directory recorded within that many days.
struct DirectoryFilter {
  bool include_disabled = false;
  std::optional<int> active_days;
};

// The time as the directory stores it (a FILETIME): 100-nanosecond intervals since 1601-01-01 UTC.
std::int64_t DirectoryTime(std::chrono::system_clock::time_point time);

// The LDAP search filter for the computer accounts the filter keeps, the last logon counted back
// from `now`. Numbers are compared by the server: the client reads text attributes only.
std::wstring ComputerSearchFilter(const DirectoryFilter& filter,
                                  std::chrono::system_clock::time_point now);

// The attributes a search reads, both text: the name a computer is looked up by comes from them.
inline constexpr wchar_t kDnsHostNameAttribute[] = L"dNSHostName";
inline constexpr wchar_t kCommonNameAttribute[] = L"cn";

// The name a computer account is looked up by: its DNS host name, or its cn where that is empty.
std::wstring LookedUpName(std::wstring_view dns_host_name, std::wstring_view common_name);

// Sorts one source's names as Windows compares computer names, names that compare alike by their
// exact text, so that two runs over the same directory list its computers alike.
void SortComputerNames(std::vector<std::wstring>& names);

}  // namespace quillmark::companion
