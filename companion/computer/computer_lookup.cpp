// One computer's lookup: the reachability check, then DCOM or WS-Management, as rows.
#include "computer_lookup.h"

#include <algorithm>
#include <mutex>
#include <optional>

#include "com_failure.h"
#include "com_management_binder.h"
#include "in_process_binding.h"
#include "platform_failure.h"
#include "reachability.h"
#include "serial_lookup.h"
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

// The window program's own lookup, through the management service's moniker.
class DcomTransport : public SerialTransport {
 public:
  void ForEachSerial(const std::wstring& computer, const SerialReceiver& receive) override {
    ComManagementBinder binder(BindInProcess);
    std::unique_lock<std::mutex> turn(this_computer_lookup, std::defer_lock);
    if (NamesThisComputer(computer, ThisComputersNames())) turn.lock();
    quillmark::ForEachSerial(computer, binder, receive);
  }
};

std::chrono::milliseconds LeftUntil(Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return std::chrono::milliseconds::max();
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return std::max(left, std::chrono::milliseconds(1));
}

// The check within what is left of the computer's deadline.
Reach CheckBeforeLookup(const std::wstring& computer, const LookupSettings& settings) {
  if (settings.reach_timeout.count() <= 0) return {};
  const WinsockSession winsock;
  WinsockResolver resolver;
  WinsockConnector connector;
  const std::chrono::milliseconds budget =
      std::min(settings.reach_timeout, LeftUntil(settings.deadline));
  return CheckReach(computer, settings.protocol, budget, resolver, connector);
}

}  // namespace

ComputerRows LookUpComputer(const std::wstring& computer, const LookupSettings& settings) {
  const auto start = Clock::now();
  ComputerRows rows;
  Reach reach;
  try {
    reach = CheckBeforeLookup(computer, settings);
  } catch (const PlatformFailure&) {
    // Without Winsock the check cannot be made: the lookup goes ahead as with none.
  }
  if (reach.kind == Reach::Kind::kUnreachable) {
    rows = {UnreachableRow(computer, reach.code, FailureFromHresult(reach.code).description())};
  } else {
    DcomTransport dcom;
    std::optional<WsManTransport> wsman;
    rows = RowsOverTransports(computer, PlanTransports(settings.protocol, reach),
                              [&](Protocol protocol) -> SerialTransport& {
                                if (protocol == Protocol::kDcom) return dcom;
                                return wsman.emplace(LeftUntil(settings.deadline));
                              });
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  for (LookupRow& row : rows) row.milliseconds = static_cast<std::uint64_t>(elapsed.count());
  return rows;
}

}  // namespace quillmark::companion
