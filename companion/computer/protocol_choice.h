// Which transport a computer's lookup goes over, DCOM or WS-Management, and the rows it gives.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "fact_reading.h"
#include "lookup_row.h"
#include "platform_failure.h"
#include "serial_lookup.h"

namespace quillmark::companion {

enum class Protocol { kDcom, kWsMan };

// What --protocol asks for.
enum class ProtocolChoice { kAuto, kDcom, kWsMan };

// "dcom" or "wsman", as the protocol column shows it.
const wchar_t* ProtocolWord(Protocol protocol);

// The choice a --protocol value names ("auto", "dcom" or "wsman", in any case), if any.
std::optional<ProtocolChoice> ProtocolChoiceNamed(const std::wstring& name);

// What the reachability check found out about a computer.
struct Reach {
  enum class Kind {
    kNotChecked,   // the check is off, this is this computer, or its name did not resolve in time
    kReachable,    // at least one of the ports wanted accepted a connection
    kUnreachable,  // none did
  };
  Kind kind = Kind::kNotChecked;
  bool dcom = false;      // TCP 135, DCOM's endpoint mapper, accepted on some address
  bool wsman = false;     // TCP 5985, WS-Management over HTTP, accepted on some address
  std::int32_t code = 0;  // when unreachable: why, as an HRESULT (silence, refusal, no such name)
};

// The transports to try, in order: the fallback only when the first could not reach the computer.
struct TransportPlan {
  Protocol first = Protocol::kDcom;
  std::optional<Protocol> fallback;
};

// DCOM's "The RPC server is unavailable": the failure after which `auto`, with the check off, tries
// WS-Management.
inline constexpr std::int32_t kRpcServerUnavailable = static_cast<std::int32_t>(0x800706BA);

// `dcom` and `wsman` use their one transport. `auto` uses DCOM where TCP 135 answered and
// WS-Management where only 5985 did; with no check made, DCOM, and WS-Management after
// kRpcServerUnavailable.
TransportPlan PlanTransports(ProtocolChoice choice, const Reach& reach);

// The failure of a transport that cannot even start here, its platform object missing or not
// creatable: nothing was asked of the computer.
class TransportNotStarted : public PlatformFailure {
 public:
  explicit TransportNotStarted(const PlatformFailure& failure) : PlatformFailure(failure) {}
};

// One way of reading a computer's BIOS serial numbers and the facts asked beside them, over one
// connection: each instance's serial and BIOS facts to `receive`, then the computer's own facts
// returned, as ForEachSerialWithFacts. Throws PlatformFailure, as it does, or TransportNotStarted.
class SerialTransport {
 public:
  virtual ~SerialTransport() = default;
  virtual FactReadings ForEachSerial(const std::wstring& computer, const AskedFacts& with,
                                     const InstanceReceiver& receive) = 0;
};

// The transport that carries a protocol; called at most once for each protocol of the plan.
using TransportFor = std::function<SerialTransport&(Protocol)>;

// The rows of one computer over the plan's transports, each row naming the protocol that gave it:
// the serials, "no instance", or the failure's row after the serials read before it. A lookup that
// ends without failure puts the computer's facts on each of its rows, a serial's BIOS facts on its
// own; a fact that could not be read stays empty and is listed in the row's fact failures. The
// fallback is tried only when the first transport failed with kRpcServerUnavailable before giving
// any serial. Where the fallback cannot start, or fails too before any serial, the first
// transport's failure row stands, and in the second case its description tells the fallback's
// failure as well; a fallback that ran out of the computer's time (DeadlinePassed, not merely its
// code) gives its own row. Milliseconds are left 0 for the caller.
ComputerRows RowsOverTransports(const std::wstring& computer, const TransportPlan& plan,
                                const AskedFacts& with, const TransportFor& transport_for);

// The row of a computer that the reachability check found unreachable: no lookup was made.
LookupRow UnreachableRow(const std::wstring& computer, std::int32_t code, std::wstring description);

}  // namespace quillmark::companion
