// Looks up many computers at once: each on a worker thread, in a COM apartment of its own,
// with a deadline for each (the scheduling itself is fleet_schedule.h's).
#pragma once

#include <memory>

#include "fleet_schedule.h"

namespace quillmark::companion {

// Runs every lookup of the plan on threads of the platform. The calling thread coordinates them
// from a single-threaded apartment of its own, in which it loads the scheme's handler, and so it
// waits dispatching messages. See ScheduleFleet for the contract; `ended` is where a stop is asked
// for.
FleetOutcome RunFleet(const FleetPlan& plan, const std::shared_ptr<EndedLookups>& ended,
                      const RowsReceiver& rows, const ProgressReceiver& progress);

}  // namespace quillmark::companion
