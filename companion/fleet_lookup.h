// Looks up many computers at once: each on a thread of its own, in a COM apartment of its own,
// with a deadline for each.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "computer_lookup.h"
#include "lookup_rows.h"
#include "run_outcome.h"

namespace quillmark::companion {

// What a lookup still running at its deadline is reported with: Windows' own timeout code.
inline constexpr std::int32_t kTimedOutCode = static_cast<std::int32_t>(0x800705B4);

// Owns an event. Throws PlatformFailure when none can be made.
class UniqueEvent {
 public:
  explicit UniqueEvent(bool manual_reset);
  UniqueEvent(const UniqueEvent&) = delete;
  UniqueEvent& operator=(const UniqueEvent&) = delete;
  ~UniqueEvent() { CloseHandle(event_); }
  HANDLE get() const noexcept { return event_; }

 private:
  HANDLE event_;
};

struct FleetPlan {
  std::vector<std::wstring> computers;
  int parallel = 1;  // lookups in flight at once
  std::chrono::milliseconds timeout{30000};
  ProtocolChoice protocol = ProtocolChoice::kAuto;
  std::chrono::milliseconds reach_timeout{0};  // the reachability check's; zero: no check
};

struct FleetResult {
  // In the plan's order; empty for a computer whose lookup had not ended when the run stopped.
  std::vector<std::optional<ComputerRows>> computers;
  bool interrupted = false;
};

// Called on the calling thread each time a computer's lookup ends.
using ProgressReceiver = std::function<void(const LookupProgress&)>;

// Runs every lookup of the plan, at most `parallel` at a time, and returns when each has ended or
// `stop` (an event, may be null) is signalled. A lookup still running at its deadline is reported
// as timed out and its call cancelled where the platform can; a thread that cannot be cancelled is
// left behind, never waited for, and owns everything it still uses.
FleetResult RunFleet(const FleetPlan& plan, HANDLE stop, const ProgressReceiver& progress);

}  // namespace quillmark::companion
