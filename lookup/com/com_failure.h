// Turns a failed COM call into a PlatformFailure with the best description the platform offers.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "platform_failure.h"

namespace quillmark {

// The failure for a code alone: the system's message text, then the management service's message
// table, then the program's own text that names the code. Never an empty description.
PlatformFailure FailureFromHresult(HRESULT code);

// The failure of a call that has just returned `code`: the thread's IErrorInfo description when the
// callee set one (call ClearErrorInfo before the call), else as FailureFromHresult.
PlatformFailure FailureAfterCall(HRESULT code);

// The failure that IDispatch::Invoke described in EXCEPINFO when it returned DISP_E_EXCEPTION.
// Takes and frees the structure's strings. An application's own code in wCode (scode left 0)
// becomes ApplicationFailureCode(wCode), with the service's description.
PlatformFailure FailureFromExcepInfo(EXCEPINFO& info);

// Applications' own codes, kept clear of the system's: interface-specific codes from 0x0200 on.
inline constexpr unsigned long kFirstApplicationFailure = 0x80040200;
HRESULT ApplicationFailureCode(WORD application_code) noexcept;

// The failure of a Win32 call that has just failed, from the thread's last error (read first). A
// call that failed without setting one gives E_FAIL with a description that names `operation`:
// never a success code.
PlatformFailure LastErrorFailure(const wchar_t* operation);
[[noreturn]] void ThrowLastError(const wchar_t* operation);

// Forgets any error information left on this thread, so that what follows belongs to the next call.
void ClearErrorInfo() noexcept;

// Throws FailureAfterCall(code) if code is a failure.
void ThrowIfFailed(HRESULT code);

// Makes a call that returns an HRESULT with no stale error information on the thread, so that a
// failure carries the callee's own description or none; throws as ThrowIfFailed.
template <typename Call>
void ThrowIfCallFails(Call&& call) {
  ClearErrorInfo();
  ThrowIfFailed(call());
}

}  // namespace quillmark
