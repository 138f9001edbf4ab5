// The reachability check's verdicts, free of Windows.
#include "reachability.h"

#include <algorithm>

namespace quillmark::companion {
namespace {

using Outcome = ConnectResult::Outcome;

bool AcceptedOn(std::uint16_t port, const std::vector<Endpoint>& endpoints,
                const std::vector<ConnectResult>& results) {
  for (std::size_t index = 0; index < endpoints.size() && index < results.size(); ++index) {
    if (endpoints[index].port == port && results[index].outcome == Outcome::kAccepted) return true;
  }
  return false;
}

bool Any(const std::vector<ConnectResult>& results, Outcome outcome) {
  return std::any_of(results.begin(), results.end(),
                     [outcome](const ConnectResult& result) { return result.outcome == outcome; });
}

}  // namespace

ConnectResult ResultOfConnectError(std::int32_t code) {
  if (code == kRefusalCode) return {Outcome::kRefused, 0};
  if (code == kSilenceCode || code == kNetworkUnreachableCode || code == kHostUnreachableCode) {
    return {Outcome::kSilent, 0};
  }
  return {Outcome::kFailed, code};
}

std::optional<SteadyTime> CheckDeadline(SteadyTime start, std::chrono::milliseconds reach_timeout,
                                        SteadyTime computer_deadline) {
  if (reach_timeout.count() <= 0) return std::nullopt;
  // A deadline nearer than the time-out also keeps the sum from overflowing.
  if (computer_deadline - start <= reach_timeout) return computer_deadline;
  return start + reach_timeout;
}

std::vector<Endpoint> EndpointsFor(ProtocolChoice choice,
                                   const std::vector<NetworkAddress>& addresses) {
  std::vector<std::uint16_t> ports;
  if (choice != ProtocolChoice::kWsMan) ports.push_back(kDcomPort);
  if (choice != ProtocolChoice::kDcom) ports.push_back(kWsManPort);
  std::vector<Endpoint> endpoints;
  for (const NetworkAddress& address : addresses) {
    for (const std::uint16_t port : ports) endpoints.push_back({address, port});
  }
  return endpoints;
}

bool IsSettled(ProtocolChoice choice, const std::vector<Endpoint>& endpoints,
               const std::vector<ConnectResult>& results) {
  const std::uint16_t preferred = choice == ProtocolChoice::kWsMan ? kWsManPort : kDcomPort;
  if (AcceptedOn(preferred, endpoints, results)) return true;
  return !Any(results, Outcome::kPending);
}

Reach VerdictOf(const std::vector<Endpoint>& endpoints, const std::vector<ConnectResult>& results) {
  Reach reach;
  reach.dcom = AcceptedOn(kDcomPort, endpoints, results);
  reach.wsman = AcceptedOn(kWsManPort, endpoints, results);
  if (reach.dcom || reach.wsman) {
    reach.kind = Reach::Kind::kReachable;
    return reach;
  }
  // An endpoint this computer could not check might have accepted: no verdict.
  if (Any(results, Outcome::kFailed)) return reach;
  reach.kind = Reach::Kind::kUnreachable;
  reach.code = Any(results, Outcome::kRefused) ? kRefusalCode : kSilenceCode;
  return reach;
}

Reach CheckReach(const std::wstring& computer, ProtocolChoice choice,
                 std::optional<SteadyTime> deadline, NameResolver& resolver, Connector& connector) {
  if (!deadline || resolver.IsThisComputerName(computer)) return {};
  const Resolution resolution = resolver.Resolve(computer, *deadline);
  if (resolution.no_such_name) return {Reach::Kind::kUnreachable, false, false, kNoSuchHostCode};
  const std::vector<NetworkAddress>& addresses = resolution.addresses;
  if (addresses.empty()) return {};
  for (const NetworkAddress& address : addresses) {
    if (resolver.IsThisComputerAddress(address)) return {};
  }
  const std::vector<Endpoint> endpoints = EndpointsFor(choice, addresses);
  const std::vector<ConnectResult> results = connector.ConnectAll(
      endpoints, *deadline,
      [choice](const std::vector<Endpoint>& all, const std::vector<ConnectResult>& so_far) {
        return IsSettled(choice, all, so_far);
      });
  return VerdictOf(endpoints, results);
}

std::wstring UnreachableHint(std::int32_t code, ProtocolChoice choice) {
  if (choice == ProtocolChoice::kAuto) return {};
  const bool dcom = choice == ProtocolChoice::kDcom;
  const std::wstring port = dcom ? L"TCP 135 (DCOM)" : L"TCP 5985 (WS-Management)";
  if (code == kSilenceCode) {
    return port +
           L" did not answer within the companion's reachability check: the computer is off " +
           L"or away, or a firewall drops the connection; check that it is on, or give a slow " +
           L"network a longer --reach-timeout.";
  }
  if (code == kRefusalCode) {
    return L"The computer is on, but nothing accepts connections on " + port + L": " +
           (dcom ? L"enable the Windows Management Instrumentation (WMI) firewall rules there."
                 : L"enable the WinRM service and its firewall rule there (winrm quickconfig).");
  }
  return {};
}

}  // namespace quillmark::companion
