// A computer's deadline inside its lookup: the management calls that no longer start once it has
// passed. Free of Windows.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform_failure.h"
#include "serial_lookup.h"

namespace quillmark::companion {

// What a lookup still running at its deadline is reported with: Windows' own timeout code.
inline constexpr std::int32_t kTimedOutCode = static_cast<std::int32_t>(0x800705B4);

using SteadyTime = std::chrono::steady_clock::time_point;
using SteadyClock = std::function<SteadyTime()>;

// The failure of a lookup that met its deadline before a call: the computer's row says "timed out",
// as it does for a lookup given up while a call was still running.
class DeadlinePassed : public PlatformFailure {
 public:
  DeadlinePassed();
};

// Throws DeadlinePassed (kTimedOutCode) once `now` has reached `deadline`.
void ThrowIfPast(SteadyTime deadline, SteadyTime now);

// The operations of another binder, none of which starts once the deadline has passed: each,
// and each step of a walk, first throws the timed-out failure then. The caller keeps `inner`.
class DeadlineBinder : public ManagementBinder {
 public:
  DeadlineBinder(ManagementBinder& inner, SteadyTime deadline, SteadyClock now);

  ManagementObjectRef BindMoniker(const std::wstring& display_name) override;
  ManagementObjectRef CallMethod(ManagementObject& target, const std::wstring& method,
                                 const std::wstring& text_argument) override;
  std::unique_ptr<MemberWalk> WalkMembers(ManagementObject& collection) override;
  std::wstring ReadPropertyText(ManagementObject& object, const std::wstring& property) override;

 private:
  void Check() const { ThrowIfPast(deadline_, now_()); }

  ManagementBinder& inner_;
  SteadyTime deadline_;
  SteadyClock now_;
};

}  // namespace quillmark::companion
