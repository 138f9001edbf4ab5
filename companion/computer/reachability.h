// The reachability check: before a computer's lookup, whether TCP 135 (DCOM's endpoint mapper) or
// 5985 (WS-Management over HTTP) accepts a connection on any of its addresses, resolving and
// connecting by one deadline. Free of Windows: names are resolved and connections made through the
// two seams below.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "protocol_choice.h"

namespace quillmark::companion {

inline constexpr std::uint16_t kDcomPort = 135;
inline constexpr std::uint16_t kWsManPort = 5985;

// Why a computer is unreachable, as HRESULTs of Winsock's codes: no port answered within the
// time-out (WSAETIMEDOUT), or a port refused the connection (WSAECONNREFUSED).
inline constexpr std::int32_t kSilenceCode = static_cast<std::int32_t>(0x8007274C);
inline constexpr std::int32_t kRefusalCode = static_cast<std::int32_t>(0x8007274D);
// The resolver's answer that no such name exists (WSAHOST_NOT_FOUND).
inline constexpr std::int32_t kNoSuchHostCode = static_cast<std::int32_t>(0x80072AF9);
// No route to the address's network or host (WSAENETUNREACH, WSAEHOSTUNREACH): silence too.
inline constexpr std::int32_t kNetworkUnreachableCode = static_cast<std::int32_t>(0x80072743);
inline constexpr std::int32_t kHostUnreachableCode = static_cast<std::int32_t>(0x80072751);

using SteadyTime = std::chrono::steady_clock::time_point;

// An address as the resolver gives it; only the resolver and the connector look inside (Winsock
// keeps a sockaddr's bytes here, a test its own text).
using NetworkAddress = std::string;

struct Endpoint {
  NetworkAddress address;
  std::uint16_t port = 0;
};

struct ConnectResult {
  enum class Outcome {
    kPending,   // no answer yet; at the end of the check, silence
    kAccepted,  // the connection was made
    kRefused,   // the computer answered that nothing listens there
    kSilent,    // no answer can come: no route to the address, or the connection timed out
    kFailed,    // this computer could not make the check (its own network stack failed)
  };
  Outcome outcome = Outcome::kPending;
  std::int32_t code = 0;  // for kFailed
};

// The result of a connection that failed with `code`, an HRESULT of Winsock's code.
ConnectResult ResultOfConnectError(std::int32_t code);

// What the resolver answered for a name.
struct Resolution {
  std::vector<NetworkAddress> addresses;
  // The resolver answered that the name does not exist; a passing failure (WSATRY_AGAIN, no answer
  // by the deadline) leaves this false, with no address.
  bool no_such_name = false;
};

class NameResolver {
 public:
  virtual ~NameResolver() = default;
  // Whether a name is this computer's own (".", "localhost", its names, its own addresses).
  virtual bool IsThisComputerName(const std::wstring& name) = 0;
  // The name's addresses; none when it does not resolve, or has not by `deadline`.
  virtual Resolution Resolve(const std::wstring& name, SteadyTime deadline) = 0;
  virtual bool IsThisComputerAddress(const NetworkAddress& address) = 0;
};

// Whether the results so far already settle the check, so that the rest need not be waited for.
using ReachSettled =
    std::function<bool(const std::vector<Endpoint>&, const std::vector<ConnectResult>&)>;

class Connector {
 public:
  virtual ~Connector() = default;
  // Starts a connection to every endpoint at once and returns one result for each, in order, when
  // every result is known, `settled` says the check is settled, or `deadline` has passed (what is
  // still unknown then stays kPending). Every connection is closed before it returns.
  virtual std::vector<ConnectResult> ConnectAll(const std::vector<Endpoint>& endpoints,
                                                SteadyTime deadline,
                                                const ReachSettled& settled) = 0;
};

// When the check of a lookup started at `start` gives up, resolving and connecting alike: after
// `reach_timeout`, and never after the computer's own deadline. None when `reach_timeout` is zero
// or less: no check is made.
std::optional<SteadyTime> CheckDeadline(SteadyTime start, std::chrono::milliseconds reach_timeout,
                                        SteadyTime computer_deadline);

// The endpoints the check connects to for a choice: both ports of every address for `auto`, only
// its own port for `dcom` or `wsman`.
std::vector<Endpoint> EndpointsFor(ProtocolChoice choice,
                                   const std::vector<NetworkAddress>& addresses);

// Settled once a port the choice would use accepted (for `auto`, 135: it prefers DCOM), or every
// endpoint has its result.
bool IsSettled(ProtocolChoice choice, const std::vector<Endpoint>& endpoints,
               const std::vector<ConnectResult>& results);

// The verdict of the results. Only acceptance, refusal and silence are verdicts: reachable by the
// protocols whose port accepted somewhere; else, where the check itself failed for any endpoint,
// none (the computer is left to the lookup); else unreachable, with kRefusalCode where any port
// refused, otherwise kSilenceCode.
Reach VerdictOf(const std::vector<Endpoint>& endpoints, const std::vector<ConnectResult>& results);

// The check of one computer, resolving and connecting by `deadline` (none without one). This
// computer is never checked. A name that the resolver says does not exist is unreachable with
// kNoSuchHostCode; one that does not resolve by then for another reason is left to the lookup,
// which reports the platform's own failure for it.
Reach CheckReach(const std::wstring& computer, ProtocolChoice choice,
                 std::optional<SteadyTime> deadline, NameResolver& resolver, Connector& connector);

// What to check for a computer found unreachable with `code` (kSilenceCode or kRefusalCode),
// naming the ports that were tried for `choice`; empty for `auto`, whose hint is the code's own
// (FailureHint), and for any other code.
std::wstring UnreachableHint(std::int32_t code, ProtocolChoice choice);

}  // namespace quillmark::companion
