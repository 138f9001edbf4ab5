// The reachability check's seams over Winsock: names resolved by the system's resolver on a thread
// of their own, this computer's names and addresses, and non-blocking connections by one deadline.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "reachability.h"

namespace quillmark::companion {

// This computer's own names (NetBIOS, DNS host and fully qualified), read once for the process.
const std::vector<std::wstring>& ThisComputersNames();

// Winsock for the calling thread, from construction to destruction. Throws PlatformFailure when
// Winsock cannot be started.
class WinsockSession {
 public:
  WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  ~WinsockSession();
};

// Needs a WinsockSession on the calling thread. An address is a sockaddr's bytes.
class WinsockResolver : public NameResolver {
 public:
  // As NamesThisComputer says, with ThisComputersNames().
  bool IsThisComputerName(const std::wstring& name) override;
  // The system's resolver takes no time-out before Windows 8 (GetAddrInfoExW's), so it is asked on
  // a small thread of its own, waited for until the deadline and then left behind: a name server
  // that answers late costs the check no more than its deadline.
  Resolution Resolve(const std::wstring& name, SteadyTime deadline) override;
  bool IsThisComputerAddress(const NetworkAddress& address) override;
};

// Needs a WinsockSession on the calling thread. Connections it made are closed abortively, so that
// thousands of checks leave no local ports waiting out TCP's TIME_WAIT.
class WinsockConnector : public Connector {
 public:
  std::vector<ConnectResult> ConnectAll(const std::vector<Endpoint>& endpoints, SteadyTime deadline,
                                        const ReachSettled& settled) override;
};

}  // namespace quillmark::companion
