// Name resolution on a thread of its own and non-blocking TCP connections for the reachability
// check, over Winsock.

// One select() waits on every connection of a check: room for 512 addresses' two ports.
#define FD_SETSIZE 1024
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include "winsock_reach.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>

#include "com_failure.h"
#include "this_computer.h"
#include "win32_owners.h"

namespace quillmark::companion {
namespace {

using Clock = std::chrono::steady_clock;
using Outcome = ConnectResult::Outcome;

// Every address is asked on two ports at most.
constexpr std::size_t kMostAddresses = FD_SETSIZE / 2;

// A resolving thread's stack: room for the system's resolver, and small, since a thread whose name
// server is slow is left behind with its stack (which Wine commits whole).
constexpr SIZE_T kResolverStack = 128 * 1024;

std::int32_t WinsockCode(int error) {
  return static_cast<std::int32_t>(HRESULT_FROM_WIN32(static_cast<unsigned long>(error)));
}

std::wstring ComputerName(COMPUTER_NAME_FORMAT format) {
  DWORD size = 0;
  GetComputerNameExW(format, nullptr, &size);
  if (size == 0) return {};
  std::wstring name(size, L'\0');
  if (!GetComputerNameExW(format, name.data(), &size)) return {};
  name.resize(size);
  return name;
}

// The address alone, without port or scope: what identifies a computer.
std::string AddressKey(const sockaddr* address, std::size_t length) {
  if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    return "4" + std::string(reinterpret_cast<const char*>(&v4->sin_addr), sizeof v4->sin_addr);
  }
  if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    return "6" + std::string(reinterpret_cast<const char*>(&v6->sin6_addr), sizeof v6->sin6_addr);
  }
  return {};
}

std::string AddressKey(const NetworkAddress& address) {
  if (address.size() < sizeof(sockaddr)) return {};
  sockaddr_storage storage{};
  std::memcpy(&storage, address.data(), std::min(address.size(), sizeof storage));
  return AddressKey(reinterpret_cast<const sockaddr*>(&storage), address.size());
}

// The addresses of this computer's interfaces, loopback included, read once for the process.
const std::set<std::string>& OwnAddresses() {
  static const std::set<std::string> own = [] {
    std::set<std::string> keys;
    sockaddr_in loopback4{};
    loopback4.sin_family = AF_INET;
    loopback4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    keys.insert(AddressKey(reinterpret_cast<const sockaddr*>(&loopback4), sizeof loopback4));
    sockaddr_in6 loopback6{};
    loopback6.sin6_family = AF_INET6;
    loopback6.sin6_addr.s6_addr[15] = 1;
    keys.insert(AddressKey(reinterpret_cast<const sockaddr*>(&loopback6), sizeof loopback6));
    ULONG size = 16 * 1024;
    for (int attempt = 0; attempt < 3; ++attempt) {
      std::vector<unsigned char> buffer(size);
      auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
      const ULONG flags =
          GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
      const ULONG result = GetAdaptersAddresses(AF_UNSPEC, flags, nullptr, adapters, &size);
      if (result == ERROR_BUFFER_OVERFLOW) continue;
      if (result != NO_ERROR) break;
      for (auto* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
          const SOCKET_ADDRESS& address = unicast->Address;
          keys.insert(
              AddressKey(address.lpSockaddr, static_cast<std::size_t>(address.iSockaddrLength)));
        }
      }
      break;
    }
    keys.erase(std::string());
    return keys;
  }();
  return own;
}

// Closing a socket of the check resets its connection rather than waiting out TIME_WAIT.
void CloseAbortively(SOCKET socket) noexcept {
  const linger abortive{1, 0};
  setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
             sizeof abortive);
  closesocket(socket);
}
bool HoldsSocket(SOCKET socket) noexcept { return socket != 0 && socket != INVALID_SOCKET; }
void FreeAddresses(ADDRINFOW* list) noexcept { FreeAddrInfoW(list); }

using UniqueSocket = UniqueAny<SOCKET, CloseAbortively, HoldsSocket>;
using UniqueAddressList = UniqueAny<ADDRINFOW*, FreeAddresses>;

ConnectResult ResultOfError(int error) { return ResultOfConnectError(WinsockCode(error)); }

// Starts a non-blocking connection; the socket is kept only while the result is pending.
ConnectResult StartConnection(const Endpoint& endpoint, UniqueSocket& socket_out) {
  sockaddr_storage target{};
  if (endpoint.address.size() > sizeof target || endpoint.address.size() < sizeof(sockaddr)) {
    return {Outcome::kFailed, WinsockCode(WSAEFAULT)};
  }
  std::memcpy(&target, endpoint.address.data(), endpoint.address.size());
  if (target.ss_family == AF_INET) {
    reinterpret_cast<sockaddr_in*>(&target)->sin_port = htons(endpoint.port);
  } else if (target.ss_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6*>(&target)->sin6_port = htons(endpoint.port);
  } else {
    return {Outcome::kFailed, WinsockCode(WSAEAFNOSUPPORT)};
  }
  UniqueSocket socket(::socket(target.ss_family, SOCK_STREAM, IPPROTO_TCP));
  if (!socket) return ResultOfError(WSAGetLastError());
  u_long non_blocking = 1;
  if (ioctlsocket(socket.get(), static_cast<long>(FIONBIO), &non_blocking) != 0) {
    return ResultOfError(WSAGetLastError());
  }
  if (connect(socket.get(), reinterpret_cast<const sockaddr*>(&target),
              static_cast<int>(endpoint.address.size())) == 0) {
    return {Outcome::kAccepted, 0};
  }
  const int error = WSAGetLastError();
  if (error != WSAEWOULDBLOCK) return ResultOfError(error);
  socket_out = std::move(socket);
  return {};
}

ConnectResult FailedConnection(SOCKET socket) {
  int error = 0;
  int length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return ResultOfError(WSAGetLastError());
  }
  // A failed connection whose error the platform does not give is taken for a refusal.
  return ResultOfError(error != 0 ? error : WSAECONNREFUSED);
}

Resolution ResolveNow(const std::wstring& name) {
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  UniqueAddressList list;
  const int result = GetAddrInfoW(name.c_str(), nullptr, &hints, list.put());
  if (result != 0) return {{}, result == WSAHOST_NOT_FOUND};
  Resolution resolution;
  std::vector<NetworkAddress>& addresses = resolution.addresses;
  std::set<std::string> seen;
  for (const ADDRINFOW* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_addr == nullptr || addresses.size() == kMostAddresses) continue;
    const std::size_t length = entry->ai_addrlen;
    const std::string key = AddressKey(entry->ai_addr, length);
    if (key.empty() || !seen.insert(key).second) continue;
    addresses.emplace_back(reinterpret_cast<const char*>(entry->ai_addr), length);
  }
  return resolution;
}

// One name being resolved, shared by the check and the resolving thread. The thread touches
// nothing else, so that a check which gave up on it may end meanwhile.
struct PendingResolution {
  std::wstring name;
  Resolution resolution;  // set before `done`
  UniqueEvent done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

DWORD WINAPI ResolveOnItsOwn(void* parameter) noexcept {
  const std::unique_ptr<std::shared_ptr<PendingResolution>> share(
      static_cast<std::shared_ptr<PendingResolution>*>(parameter));
  PendingResolution& pending = **share;
  try {
    const WinsockSession winsock;  // its own, for it may outlive the check's
    pending.resolution = ResolveNow(pending.name);
  } catch (...) {
    // Not resolved: the computer is left to the lookup.
  }
  SetEvent(pending.done.get());
  return 0;
}

// Whether `event` was set by `deadline`; never gives up before it.
bool SetBy(HANDLE event, SteadyTime deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const auto wait = static_cast<DWORD>(std::clamp<long long>(left, 0, INFINITE - 1));
    const DWORD result = WaitForSingleObject(event, wait);
    if (result == WAIT_OBJECT_0) return true;
    if (result != WAIT_TIMEOUT || left <= 0) return false;
  }
}

}  // namespace

WinsockSession::WinsockSession() {
  WSADATA data{};
  const int result = WSAStartup(MAKEWORD(2, 2), &data);
  if (result != 0) throw FailureFromHresult(WinsockCode(result));
}

WinsockSession::~WinsockSession() { WSACleanup(); }

const std::vector<std::wstring>& ThisComputersNames() {
  static const std::vector<std::wstring> names = {ComputerName(ComputerNameNetBIOS),
                                                  ComputerName(ComputerNameDnsHostname),
                                                  ComputerName(ComputerNameDnsFullyQualified)};
  return names;
}

bool WinsockResolver::IsThisComputerName(const std::wstring& name) {
  return NamesThisComputer(name, ThisComputersNames());
}

Resolution WinsockResolver::Resolve(const std::wstring& name, SteadyTime deadline) {
  // A name with a NUL in it would be resolved as its first part only.
  if (name.find(L'\0') != std::wstring::npos) return {};
  const auto pending = std::make_shared<PendingResolution>();
  if (!pending->done) return {};
  pending->name = name;
  auto share = std::make_unique<std::shared_ptr<PendingResolution>>(pending);
  const HANDLE thread = CreateThread(nullptr, kResolverStack, ResolveOnItsOwn, share.get(),
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  // Without a thread the check cannot be made: the computer is left to the lookup.
  if (thread == nullptr) return {};
  share.release();      // the thread owns it now
  CloseHandle(thread);  // never joined: a thread still resolving at the deadline is left behind
  if (!SetBy(pending->done.get(), deadline)) return {};
  return std::move(pending->resolution);
}

bool WinsockResolver::IsThisComputerAddress(const NetworkAddress& address) {
  return OwnAddresses().count(AddressKey(address)) != 0;
}

std::vector<ConnectResult> WinsockConnector::ConnectAll(const std::vector<Endpoint>& endpoints,
                                                        SteadyTime deadline,
                                                        const ReachSettled& settled) {
  std::vector<ConnectResult> results(endpoints.size());
  std::vector<UniqueSocket> sockets(endpoints.size());
  for (std::size_t index = 0; index < endpoints.size() && index < FD_SETSIZE; ++index) {
    results[index] = StartConnection(endpoints[index], sockets[index]);
  }
  while (!settled(endpoints, results)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    for (const UniqueSocket& socket : sockets) {
      if (!socket) continue;
      FD_SET(socket.get(), &writable);
      FD_SET(socket.get(), &failed);
    }
    if (writable.fd_count == 0) break;
    timeval wait{static_cast<long>(left.count() / 1000000),
                 static_cast<long>(left.count() % 1000000)};
    if (select(0, nullptr, &writable, &failed, &wait) == SOCKET_ERROR) {
      // This computer could not wait for the answers: what is unknown is no silence.
      const ConnectResult unknown = {Outcome::kFailed, WinsockCode(WSAGetLastError())};
      for (std::size_t index = 0; index < sockets.size(); ++index) {
        if (sockets[index]) results[index] = unknown;
      }
      break;
    }
    for (std::size_t index = 0; index < sockets.size(); ++index) {
      if (!sockets[index]) continue;
      const SOCKET socket = sockets[index].get();
      if (FD_ISSET(socket, &writable)) {
        results[index] = {Outcome::kAccepted, 0};
      } else if (FD_ISSET(socket, &failed)) {
        results[index] = FailedConnection(socket);
      } else {
        continue;
      }
      sockets[index].reset();
    }
  }
  return results;
}

}  // namespace quillmark::companion
