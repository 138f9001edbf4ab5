// Failure descriptions from IErrorInfo, EXCEPINFO and the system's message tables.
#include "com_failure.h"

#include <wrl/client.h>

#include <string>

#include "com_owners.h"
#include "win32_owners.h"

namespace quillmark {
namespace {

using Microsoft::WRL::ComPtr;

std::wstring MessageText(DWORD source_flag, HMODULE module, HRESULT code) {
  UniqueLocalText buffer;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source_flag, module,
      static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
  if (length == 0 || buffer.get() == nullptr) return {};
  return TrimBlanks(std::wstring(buffer.get(), length));
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
  const UniqueModule utilities(LoadLibraryExW((system + L"\\wbem\\wmiutils.dll").c_str(), nullptr,
                                              LOAD_LIBRARY_AS_DATAFILE));
  if (!utilities) return {};
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
    if (SUCCEEDED(info->GetDescription(description.put()))) {
      std::wstring text = TrimBlanks(description.text());
      if (!text.empty()) return PlatformFailure(code, std::move(text));
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

  std::wstring text = TrimBlanks(description.text());
  if (info.scode == S_OK && info.wCode != 0) {
    // An application's own code, kept out of the system's ranges as automation servers do; the
    // system's tables would describe another error under that number, so only the service's own
    // text or the program's does.
    return PlatformFailure(ApplicationFailureCode(info.wCode), std::move(text));
  }
  const HRESULT code = info.scode != S_OK ? info.scode : DISP_E_EXCEPTION;
  if (!text.empty()) return PlatformFailure(code, std::move(text));
  return FailureFromHresult(code);
}

HRESULT ApplicationFailureCode(WORD application_code) noexcept {
  return static_cast<HRESULT>(kFirstApplicationFailure + application_code);
}

PlatformFailure LastErrorFailure(const wchar_t* operation) {
  const DWORD error = GetLastError();
  if (error == ERROR_SUCCESS) return PlatformFailure(E_FAIL, UnexplainedFailureText(operation));
  return FailureFromHresult(HRESULT_FROM_WIN32(error));
}

void ThrowLastError(const wchar_t* operation) { throw LastErrorFailure(operation); }

void ClearErrorInfo() noexcept { SetErrorInfo(0, nullptr); }

void ThrowIfFailed(HRESULT code) {
  if (FAILED(code)) throw FailureAfterCall(code);
}

}  // namespace quillmark
