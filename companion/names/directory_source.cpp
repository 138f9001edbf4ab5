// Directory sources, their search filter and the order of their names.
#include "directory_source.h"

#include <algorithm>
#include <utility>

#include "computer_names.h"

namespace quillmark::companion {
namespace {

constexpr std::wstring_view kScheme = L"LDAP://";

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01, the system clock's epoch.
constexpr std::int64_t kUnixEpochAsDirectoryTime = 116444736000000000;
using DirectoryTicks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;

bool HoldsDn(std::wstring_view part) { return part.find(L'=') != std::wstring_view::npos; }

std::wstring ServerPrefix(const std::wstring& server) {
  return std::wstring(kScheme) + (server.empty() ? L"" : server + L"/");
}

// A DN in a path needs its slashes escaped, or the directory would take them for the path's own.
std::wstring EscapedForPath(const std::wstring& dn) {
  std::wstring escaped;
  for (const wchar_t unit : dn) {
    if (unit == L'/') escaped += L'\\';
    escaped += unit;
  }
  return escaped;
}

}  // namespace

bool IsDirectorySource(std::wstring_view argument) {
  if (argument.size() < kScheme.size()) return false;
  return std::equal(kScheme.begin(), kScheme.end(), argument.begin(),
                    [](wchar_t want, wchar_t got) {
                      return want == (got >= L'a' && got <= L'z' ? got - L'a' + L'A' : got);
                    });
}

std::wstring DirectorySource::RootDsePath() const { return ServerPrefix(server) + L"RootDSE"; }

std::wstring DirectorySource::SearchBase(const std::wstring& naming_context) const {
  return ServerPrefix(server) + (dn.empty() ? EscapedForPath(naming_context) : dn);
}

std::optional<DirectorySource> ParseDirectorySource(std::wstring_view argument) {
  if (!IsDirectorySource(argument)) return std::nullopt;
  std::wstring_view rest = argument.substr(kScheme.size());
  // One slash after a DN ends the path, as after a server; an escaped one is the DN's own.
  const bool trailing_slash =
      rest.size() > 1 && rest.back() == L'/' && rest[rest.size() - 2] != L'\\';
  if (trailing_slash && HoldsDn(rest)) rest.remove_suffix(1);
  const std::size_t slash = rest.find(L'/');
  const std::wstring_view first = rest.substr(0, slash);
  DirectorySource source;
  if (HoldsDn(first)) {
    source.dn = rest;  // a slash inside a DN is escaped, but the DN keeps it as written
    return source;
  }
  source.server = first;
  if (slash != std::wstring_view::npos) source.dn = rest.substr(slash + 1);
  if (!source.dn.empty() && (source.server.empty() || !HoldsDn(source.dn))) return std::nullopt;
  return source;
}

std::int64_t DirectoryTime(std::chrono::system_clock::time_point time) {
  const auto since_unix_epoch = std::chrono::duration_cast<DirectoryTicks>(time.time_since_epoch());
  return kUnixEpochAsDirectoryTime + since_unix_epoch.count();
}

std::wstring ComputerSearchFilter(const DirectoryFilter& filter,
                                  std::chrono::system_clock::time_point now) {
  std::wstring clauses = L"(objectCategory=computer)";
  if (!filter.include_disabled) {
    // Bit 2 of userAccountControl (ACCOUNTDISABLE), matched bitwise by the server.
    clauses += L"(!(userAccountControl:1.2.840.113556.1.4.803:=2))";
  }
  if (filter.active_days) {
    const auto since = now - std::chrono::hours(24) * *filter.active_days;
    clauses += L"(lastLogonTimestamp>=" + std::to_wstring(DirectoryTime(since)) + L")";
  }
  const bool one_clause = filter.include_disabled && !filter.active_days;
  return one_clause ? clauses : L"(&" + clauses + L")";
}

std::wstring LookedUpName(std::wstring_view dns_host_name, std::wstring_view common_name) {
  return std::wstring(dns_host_name.empty() ? common_name : dns_host_name);
}

void SortComputerNames(std::vector<std::wstring>& names) {
  std::vector<std::pair<std::wstring, std::wstring>> keyed;
  keyed.reserve(names.size());
  for (std::wstring& name : names) keyed.emplace_back(ComputerNameKey(name), std::move(name));
  std::sort(keyed.begin(), keyed.end());  // by key, then by the exact text
  names.clear();
  for (auto& entry : keyed) names.push_back(std::move(entry.second));
}

}  // namespace quillmark::companion
