// The one top-level report of failures: a message box with the error's number and description.
#pragma once

#include <windows.h>

#include <optional>

#include "platform_failure.h"

namespace quillmark {

// Shows the failure in a message box owned by `owner` (may be null) and returns when it is
// dismissed. Never throws: this is the last stop of every failure.
void ReportFailure(HWND owner, const PlatformFailure& failure) noexcept;

// Runs `action` and reports whatever it throws; for the boundaries that nothing may cross (window
// procedures, the program's entry). Returns whether the action completed.
template <typename Action>
bool RunReportingFailures(HWND owner, Action&& action) noexcept;

// Runs `action` and returns the failure it threw, if any, for the caller to report once it knows
// whom to report it to.
template <typename Action>
std::optional<PlatformFailure> RunCapturingFailure(Action&& action) noexcept;

// The failure that an exception of any other type stands for.
PlatformFailure FailureFromCurrentException() noexcept;

template <typename Action>
bool RunReportingFailures(HWND owner, Action&& action) noexcept {
  try {
    action();
    return true;
  } catch (...) {
    ReportFailure(owner, FailureFromCurrentException());
    return false;
  }
}

template <typename Action>
std::optional<PlatformFailure> RunCapturingFailure(Action&& action) noexcept {
  try {
    action();
    return std::nullopt;
  } catch (...) {
    return FailureFromCurrentException();
  }
}

}  // namespace quillmark
