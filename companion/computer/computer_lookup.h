// The lookup of one computer, turned into the rows the companion writes.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "lookup_row.h"
#include "lookup_deadline.h"
#include "serial_facts.h"
#include "protocol_choice.h"

namespace quillmark::companion {

// How each computer is looked up.
struct LookupSettings {
  ProtocolChoice protocol = ProtocolChoice::kAuto;
  // The reachability check's time-out; zero: no check.
  std::chrono::milliseconds reach_timeout{0};
  // When the computer's lookup is given up: the check and a WS-Management session end by then.
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  // Called once the reachability check has given its verdict, or at once where none is made.
  std::function<void()> on_checked = {};
  // The facts read beside each serial, over the same connection.
  AskedFacts with = {};
};

// The rows of one computer, looked up on the calling thread, which must be in a COM apartment:
// first the reachability check, when one is asked for, then the lookup over the transport chosen.
// Serials read before a failure are kept, followed by the failure's row. A computer found
// unreachable gets its one row at once.
ComputerRows LookUpComputer(const std::wstring& computer, const LookupSettings& settings = {});

}  // namespace quillmark::companion
