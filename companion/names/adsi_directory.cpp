// The directory's computers through IDirectorySearch: a paged subtree search of text attributes.
#include "adsi_directory.h"

#include <objbase.h>
#include <windows.h>
#include <activeds.h>
#include <wrl/client.h>

#include <utility>

#include "com_failure.h"
#include "com_owners.h"
#include "directory_source.h"
#include "in_process_binding.h"

namespace quillmark::companion {
namespace {

using Microsoft::WRL::ComPtr;

// The directory's own limit on a page (MaxPageSize): a search that asks for more rows at once
// than the server gives gets no more, and one that is not paged stops at the limit.
constexpr ADS_INTEGER kPageSize = 1000;

// The object at a path, bound by moniker: the platform's secure authentication with the caller's
// own identity, as a script's GetObject binds it; the provider's parser is asked for in this
// process alone, as for "winmgmts:", so that no surrogate host is started. (The directory's
// headers declare no __uuidof for its interfaces, so each one's IID is named.)
template <typename Interface>
ComPtr<Interface> BindPath(const std::wstring& path, REFIID interface_id) {
  const ComPtr<IDispatch> object = BindInProcess(path);
  ComPtr<Interface> wanted;
  ThrowIfCallFails([&] {
    return object->QueryInterface(interface_id, reinterpret_cast<void**>(wanted.GetAddressOf()));
  });
  return wanted;
}

std::wstring DefaultNamingContext(const DirectorySource& source) {
  const ComPtr<IADs> root = BindPath<IADs>(source.RootDsePath(), IID_IADs);
  const UniqueBstr name(L"defaultNamingContext");
  UniqueVariant value;
  ThrowIfCallFails([&] { return root->Get(name.get(), value.put()); });
  if (V_VT(&value.get()) != VT_BSTR) throw FailureFromHresult(E_ADS_CANT_CONVERT_DATATYPE);
  return std::wstring(V_BSTR(&value.get()), SysStringLen(V_BSTR(&value.get())));
}

ADS_SEARCHPREF_INFO IntegerPreference(ADS_SEARCHPREF_ENUM preference, ADS_INTEGER value) {
  ADS_SEARCHPREF_INFO info{};
  info.dwSearchPref = preference;
  info.vValue.dwType = ADSTYPE_INTEGER;
  info.vValue.Integer = value;
  return info;
}

// Subtree, paged, and rows not kept once read. Referrals are left to the provider's default:
// Windows never chases subordinate ones in a paged search, and Wine refuses the preference.
void SetSearchPreferences(IDirectorySearch& search) {
  ADS_SEARCHPREF_INFO preferences[] = {
      IntegerPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_SUBTREE),
      IntegerPreference(ADS_SEARCHPREF_PAGESIZE, kPageSize),
      {},
  };
  preferences[2].dwSearchPref = ADS_SEARCHPREF_CACHE_RESULTS;
  preferences[2].vValue.dwType = ADSTYPE_BOOLEAN;
  preferences[2].vValue.Boolean = FALSE;
  ThrowIfCallFails([&] { return search.SetSearchPreference(preferences, ARRAYSIZE(preferences)); });
  for (const ADS_SEARCHPREF_INFO& preference : preferences) {
    // Without its scope or its pages the search would give fewer computers and say nothing.
    if (preference.dwStatus != ADS_STATUS_S_OK) {
      throw PlatformFailure(
          E_ADS_BAD_PARAMETER,
          L"The directory did not take the search's scope, page size or caching.");
    }
  }
}

// An open search, closed through the interface that opened it.
class SearchHandle {
 public:
  SearchHandle(IDirectorySearch& search, ADS_SEARCH_HANDLE handle)
      : search_(search), handle_(handle) {}
  SearchHandle(const SearchHandle&) = delete;
  SearchHandle& operator=(const SearchHandle&) = delete;
  ~SearchHandle() { search_.CloseSearchHandle(handle_); }
  ADS_SEARCH_HANDLE get() const noexcept { return handle_; }

 private:
  IDirectorySearch& search_;
  ADS_SEARCH_HANDLE handle_;
};

// A column of the current row, freed through the interface that filled it.
class SearchColumn {
 public:
  explicit SearchColumn(IDirectorySearch& search) : search_(search) {}
  SearchColumn(const SearchColumn&) = delete;
  SearchColumn& operator=(const SearchColumn&) = delete;
  ~SearchColumn() {
    if (filled_) search_.FreeColumn(&column_);
  }
  // False when the row has no such attribute.
  bool Read(ADS_SEARCH_HANDLE handle, const wchar_t* attribute) {
    // The declaration predates const; the attribute's name is only read.
    const HRESULT code = search_.GetColumn(handle, const_cast<wchar_t*>(attribute), &column_);
    if (code == E_ADS_COLUMN_NOT_SET) return false;
    ThrowIfFailed(code);
    filled_ = true;
    return true;
  }
  // The first value, where it is text; untrusted, of any length.
  std::wstring FirstText() const {
    if (column_.dwNumValues == 0 || column_.pADsValues == nullptr) return {};
    const ADSVALUE& value = column_.pADsValues[0];
    switch (value.dwType) {
      case ADSTYPE_DN_STRING:
      case ADSTYPE_CASE_EXACT_STRING:
      case ADSTYPE_CASE_IGNORE_STRING:
      case ADSTYPE_PRINTABLE_STRING:
      case ADSTYPE_NUMERIC_STRING:
        // Each of these types holds its text in the same member.
        return value.CaseIgnoreString != nullptr ? value.CaseIgnoreString : L"";
      default:
        return {};
    }
  }

 private:
  IDirectorySearch& search_;
  ADS_SEARCH_COLUMN column_{};
  bool filled_ = false;
};

std::wstring ColumnText(IDirectorySearch& search, ADS_SEARCH_HANDLE handle,
                        const wchar_t* attribute) {
  SearchColumn column(search);
  return column.Read(handle, attribute) ? column.FirstText() : std::wstring();
}

// A paged search may report no more rows while the server is still working on the next page;
// then the provider's last error is ERROR_MORE_DATA, and the walk must go on. (Wine's provider
// keeps no last error: there the walk ends with the rows.)
bool ServerStillWorking() {
  DWORD error = ERROR_SUCCESS;
  std::wstring text(256, L'\0');  // the provider's words, not needed here
  std::wstring provider(256, L'\0');
  ADsGetLastError(&error, text.data(), static_cast<DWORD>(text.size()), provider.data(),
                  static_cast<DWORD>(provider.size()));
  if (error != ERROR_MORE_DATA) return false;
  ADsSetLastError(ERROR_SUCCESS, nullptr, nullptr);
  return true;
}

std::vector<std::wstring> SearchNames(IDirectorySearch& search, const std::wstring& filter,
                                      const DirectoryProgress& progress) {
  SetSearchPreferences(search);
  std::wstring filter_text = filter;  // the declaration predates const
  wchar_t* attributes[] = {const_cast<wchar_t*>(kDnsHostNameAttribute),
                           const_cast<wchar_t*>(kCommonNameAttribute)};
  ADS_SEARCH_HANDLE handle = nullptr;
  ADsSetLastError(ERROR_SUCCESS, nullptr, nullptr);
  ThrowIfCallFails([&] {
    return search.ExecuteSearch(filter_text.data(), attributes, ARRAYSIZE(attributes), &handle);
  });
  const SearchHandle open(search, handle);
  std::vector<std::wstring> names;
  for (;;) {
    ClearErrorInfo();
    const HRESULT code = search.GetNextRow(open.get());
    ThrowIfFailed(code);
    // S_ADS_NOMORE_ROWS, or any other success but S_OK: no row was fetched, so none is read.
    if (code != S_OK) {
      if (ServerStillWorking()) continue;
      break;
    }
    names.push_back(LookedUpName(ColumnText(search, open.get(), kDnsHostNameAttribute),
                                 ColumnText(search, open.get(), kCommonNameAttribute)));
    if (progress) progress(names.size());
  }
  return names;
}

// Whether this computer belongs to a domain, whose controllers a path without a server is read
// from. Outside one the platform's provider has none to find, and may fail in its own code.
bool InADomain() {
  DWORD size = 0;
  GetComputerNameExW(ComputerNameDnsDomain, nullptr, &size);
  if (size <= 1) return false;
  std::wstring domain(size, L'\0');
  if (!GetComputerNameExW(ComputerNameDnsDomain, domain.data(), &size)) return false;
  return size != 0;
}

}  // namespace

std::vector<std::wstring> ReadDirectoryNames(const DirectoryQuery& query,
                                             const DirectoryProgress& progress) {
  if (progress) progress(0);
  const DirectorySource& source = query.source;
  if (source.server.empty() && !InADomain()) {
    throw PlatformFailure(HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN),
                          L"This computer belongs to no domain, so a path without a server names "
                          L"no directory.");
  }
  const std::wstring path =
      source.dn.empty() ? source.SearchBase(DefaultNamingContext(source)) : source.SearchBase();
  const ComPtr<IDirectorySearch> search = BindPath<IDirectorySearch>(path, IID_IDirectorySearch);
  return SearchNames(*search.Get(), query.filter, progress);
}

}  // namespace quillmark::companion
