// Failure descriptions from IErrorInfo, EXCEPINFO and the system's message tables.
#include "com_failure.h"

#include <wrl/client.h>

#include <string>

#include "com_owners.h"

namespace quillmark {
namespace {

using Microsoft::WRL::ComPtr;

// Owns a buffer that FormatMessage allocated.
class LocalText {
 public:
  LocalText() = default;
  LocalText(const LocalText&) = delete;
  LocalText& operator=(const LocalText&) = delete;
  ~LocalText() { LocalFree(text_); }
  wchar_t** put() { return &text_; }
  const wchar_t* get() const { return text_; }

 private:
  wchar_t* text_ = nullptr;
};

// Owns a module loaded as a data file, for its message table.
class DataModule {
 public:
  explicit DataModule(const std::wstring& path)
      : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  DataModule(const DataModule&) = delete;
  DataModule& operator=(const DataModule&) = delete;
  ~DataModule() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

std::wstring TrimLineEnds(std::wstring text) {
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  return text;
}

std::wstring MessageText(DWORD source_flag, HMODULE module, HRESULT code) {
  LocalText buffer;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source_flag, module,
      static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
  if (length == 0 || buffer.get() == nullptr) return {};
  return TrimLineEnds(std::wstring(buffer.get(), length));
}

std::wstring SystemDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  UINT length = GetSystemDirectoryW(path.data(), static_cast<UINT>(path.size()));
  if (length >= path.size()) {
    path.resize(length);
    length = GetSystemDirectoryW(path.data(), static_cast<UINT>(path.size()));
  }
  path.resize(length < path.size() ? length : 0);
  return path;
}

// The management service keeps the texts of its own codes in its utility library.
std::wstring ManagementMessageText(HRESULT code) {
  if (HRESULT_FACILITY(code) != FACILITY_ITF) return {};
  const std::wstring system = SystemDirectory();
  if (system.empty()) return {};
  const DataModule utilities(system + L"\\wbem\\wmiutils.dll");
  if (utilities.get() == nullptr) return {};
  return MessageText(FORMAT_MESSAGE_FROM_HMODULE, utilities.get(), code);
}

}  // namespace

PlatformFailure FailureFromHresult(HRESULT code) {
  std::wstring description = MessageText(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code);
  if (description.empty()) description = ManagementMessageText(code);
  return PlatformFailure(code, description);  // an empty description gets the program's own text
}

PlatformFailure FailureAfterCall(HRESULT code) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    UniqueBstr description;
    if (SUCCEEDED(info->GetDescription(description.put())) && SysStringLen(description.get()) > 0) {
      return PlatformFailure(code, description.text());
    }
  }
  return FailureFromHresult(code);
}

PlatformFailure FailureFromExcepInfo(EXCEPINFO& info) {
  if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
  const UniqueBstr source = UniqueBstr::Adopt(info.bstrSource);
  const UniqueBstr description = UniqueBstr::Adopt(info.bstrDescription);
  const UniqueBstr help_file = UniqueBstr::Adopt(info.bstrHelpFile);
  info.bstrSource = info.bstrDescription = info.bstrHelpFile = nullptr;

  HRESULT code = info.scode;
  if (code == S_OK) {
    code = info.wCode != 0 ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, info.wCode)
                           : DISP_E_EXCEPTION;
  }
  if (SysStringLen(description.get()) > 0) return PlatformFailure(code, description.text());
  return FailureFromHresult(code);
}

void ClearErrorInfo() noexcept { SetErrorInfo(0, nullptr); }

void ThrowIfFailed(HRESULT code) {
  if (FAILED(code)) throw FailureAfterCall(code);
}

}  // namespace quillmark
