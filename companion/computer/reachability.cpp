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

}  // namespace

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
  return std::none_of(results.begin(), results.end(), [](const ConnectResult& result) {
    return result.outcome == Outcome::kPending;
  });
}

Reach VerdictOf(const std::vector<Endpoint>& endpoints, const std::vector<ConnectResult>& results) {
  Reach reach;
  reach.dcom = AcceptedOn(kDcomPort, endpoints, results);
  reach.wsman = AcceptedOn(kWsManPort, endpoints, results);
  if (reach.dcom || reach.wsman) {
    reach.kind = Reach::Kind::kReachable;
    return reach;
  }
  reach.kind = Reach::Kind::kUnreachable;
  reach.code = kSilenceCode;
  const auto with = [&](Outcome outcome) {
    return std::find_if(results.begin(), results.end(),
                        [&](const ConnectResult& result) { return result.outcome == outcome; });
  };
  if (with(Outcome::kRefused) != results.end()) {
    reach.code = kRefusalCode;
  } else if (const auto failed = with(Outcome::kFailed); failed != results.end()) {
    reach.code = failed->code;
  }
  return reach;
}

Reach CheckReach(const std::wstring& computer, ProtocolChoice choice,
                 std::chrono::milliseconds budget, NameResolver& resolver, Connector& connector) {
  if (budget.count() <= 0 || resolver.IsThisComputerName(computer)) return {};
  const std::vector<NetworkAddress> addresses = resolver.Resolve(computer);
  if (addresses.empty()) return {};
  for (const NetworkAddress& address : addresses) {
    if (resolver.IsThisComputerAddress(address)) return {};
  }
  const std::vector<Endpoint> endpoints = EndpointsFor(choice, addresses);
  const std::vector<ConnectResult> results = connector.ConnectAll(
      endpoints, budget,
      [choice](const std::vector<Endpoint>& all, const std::vector<ConnectResult>& so_far) {
        return IsSettled(choice, all, so_far);
      });
  return VerdictOf(endpoints, results);
}

}  // namespace quillmark::companion
