// One computer's lookup: the reachability check, then DCOM or WS-Management, as rows.
#include "computer_lookup.h"

#include <mutex>
#include <optional>

#include "com_failure.h"
#include "com_management_binder.h"
#include "fact_reading.h"
#include "in_process_binding.h"
#include "lookup_deadline.h"
#include "platform_failure.h"
#include "reachability.h"
#include "this_computer.h"
#include "winsock_reach.h"
#include "wsman_lookup.h"

namespace quillmark::companion {
namespace {

using Clock = std::chrono::steady_clock;

// Held through every lookup of this computer. This computer's management service can be answered
// inside the lookup's own process (Wine's is), by a provider whose tables the process shares:
// two such lookups at once then read each other's half-written values. Only lookups of this
// computer wait for each other; others never take the lock.
std::mutex this_computer_lookup;

// The window program's lookup, through the management service's moniker, with the facts asked
// read over the same binding; its calls start only before the computer's deadline, the first one
// after waiting for this computer's turn too.
class DcomTransport : public SerialTransport {
 public:
  explicit DcomTransport(SteadyTime deadline) : deadline_(deadline) {}
  FactReadings ForEachSerial(const std::wstring& computer, const AskedFacts& with,
                             const InstanceReceiver& receive) override {
    ComManagementBinder com(BindInProcess);
    DeadlineBinder binder(com, deadline_, [] { return Clock::now(); });
    std::unique_lock<std::mutex> turn(this_computer_lookup, std::defer_lock);
    if (NamesThisComputer(computer, ThisComputersNames())) turn.lock();
    return ForEachSerialWithFacts(computer, with, binder, receive);
  }

 private:
  SteadyTime deadline_;
};

// The check, by one deadline from the lookup's start.
Reach CheckBeforeLookup(const std::wstring& computer, const LookupSettings& settings,
                        SteadyTime start) {
  const std::optional<SteadyTime> deadline =
      CheckDeadline(start, settings.reach_timeout, settings.deadline);
  if (!deadline) return {};
  const WinsockSession winsock;
  WinsockResolver resolver;
  WinsockConnector connector;
  return CheckReach(computer, settings.protocol, deadline, resolver, connector);
}

}  // namespace

ComputerRows LookUpComputer(const std::wstring& computer, const LookupSettings& settings) {
  const auto start = Clock::now();
  ComputerRows rows;
  Reach reach;
  try {
    reach = CheckBeforeLookup(computer, settings, start);
  } catch (const PlatformFailure&) {
    // Without Winsock the check cannot be made: the lookup goes ahead as with none.
  }
  const bool checked = settings.reach_timeout.count() > 0;
  if (checked && reach.kind != Reach::Kind::kUnreachable && Clock::now() >= settings.deadline) {
    // The computer's deadline came during the check: its verdict so far is silence, whichever of
    // this thread and the coordinating one sees the deadline first.
    reach = {Reach::Kind::kUnreachable, false, false, kSilenceCode};
  } else if (settings.on_checked) {
    settings.on_checked();
  }
  if (reach.kind == Reach::Kind::kUnreachable) {
    rows = {UnreachableRow(computer, reach.code, FailureFromHresult(reach.code).description())};
  } else {
    DcomTransport dcom(settings.deadline);
    std::optional<WsManTransport> wsman;
    rows = RowsOverTransports(computer, PlanTransports(settings.protocol, reach), settings.with,
                              [&](Protocol protocol) -> SerialTransport& {
                                if (protocol == Protocol::kDcom) return dcom;
                                return wsman.emplace(settings.deadline);
                              });
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  for (LookupRow& row : rows) row.milliseconds = static_cast<std::uint64_t>(elapsed.count());
  return rows;
}

}  // namespace quillmark::companion
