// The top-level failure report.
#include "failure_report.h"

#include <new>
#include <string>

#include "form_layout.h"
#include "message_box_notifier.h"

namespace quillmark {

PlatformFailure FailureFromCurrentException() noexcept {
  try {
    throw;
  } catch (const PlatformFailure& failure) {
    return failure;
  } catch (const std::bad_alloc&) {
    return PlatformFailure(E_OUTOFMEMORY, L"");
  } catch (const std::exception& error) {
    const std::string what = error.what();
    return PlatformFailure(E_UNEXPECTED, std::wstring(what.begin(), what.end()));
  } catch (...) {
    return PlatformFailure(E_UNEXPECTED, L"");
  }
}

void ReportFailure(HWND owner, const PlatformFailure& failure) noexcept {
  try {
    ShowMessageBoxUnread(owner, FailureReportText(failure), kApplicationTitle,
                         MB_OK | MB_ICONERROR | MB_APPLMODAL);
  } catch (...) {
    // Not even the text could be built: say the least that can be said without allocating.
    MessageBoxW(owner, L"The program ran out of memory.", kApplicationTitle, MB_OK | MB_ICONERROR);
  }
}

}  // namespace quillmark
