// The choice of transport for one computer, and its rows over the transports chosen.
#include "protocol_choice.h"

#include <utility>

#include "lookup_deadline.h"
#include "platform_failure.h"
#include "text_encoding.h"

namespace quillmark::companion {
namespace {

// The rows of one attempt, and how it failed before any serial, if it did.
struct Attempt {
  ComputerRows rows;
  std::optional<std::int32_t> failed_at_once;  // the failure's code
  bool not_started = false;
  bool deadline_passed = false;  // the computer's deadline came, not merely its code
};

const wchar_t* ProtocolName(Protocol protocol) {
  return protocol == Protocol::kWsMan ? L"WS-Management" : L"DCOM";
}

// The computer's own facts, beside what the row's instance gave.
void AddComputerFacts(const FactReadings& computer_facts, LookupRow& row) {
  for (std::size_t index = 0; index < kFactCount; ++index) {
    if (!computer_facts.values[index].empty()) row.facts[index] = computer_facts.values[index];
  }
  row.fact_failures.insert(row.fact_failures.end(), computer_facts.failures.begin(),
                           computer_facts.failures.end());
}

Attempt AttemptOver(const std::wstring& computer, Protocol protocol, const AskedFacts& with,
                    SerialTransport& transport) {
  Attempt attempt;
  const std::wstring word = ProtocolWord(protocol);
  try {
    const FactReadings computer_facts =
        transport.ForEachSerial(computer, with, [&](const std::wstring& serial, FactReadings bios) {
          LookupRow row{computer, serial, RowStatus::kOk, std::nullopt, L"", 0, word};
          row.facts = std::move(bios.values);
          row.fact_failures = std::move(bios.failures);
          attempt.rows.push_back(std::move(row));
        });
    if (attempt.rows.empty()) {
      attempt.rows.push_back({computer, L"", RowStatus::kNoInstance, std::nullopt, L"", 0, word});
    }
    for (LookupRow& row : attempt.rows) AddComputerFacts(computer_facts, row);
  } catch (const PlatformFailure& failure) {
    // Serials read before the failure are kept: nothing that was learnt is lost.
    if (attempt.rows.empty()) attempt.failed_at_once = failure.code();
    attempt.not_started = dynamic_cast<const TransportNotStarted*>(&failure) != nullptr;
    // Met at the deadline before a call, as it would have been given up during one: timed out,
    // with no protocol, whichever of the two came first.
    const bool timed_out = dynamic_cast<const DeadlinePassed*>(&failure) != nullptr;
    attempt.deadline_passed = timed_out;
    attempt.rows.push_back({computer, L"", timed_out ? RowStatus::kTimedOut : RowStatus::kFailed,
                            failure.code(), failure.description(), 0, timed_out ? L"" : word});
  }
  return attempt;
}

}  // namespace

const wchar_t* ProtocolWord(Protocol protocol) {
  return protocol == Protocol::kWsMan ? L"wsman" : L"dcom";
}

std::optional<ProtocolChoice> ProtocolChoiceNamed(const std::wstring& name) {
  const std::wstring lower = AsciiLowerCase(name);
  if (lower == L"auto") return ProtocolChoice::kAuto;
  if (lower == L"dcom") return ProtocolChoice::kDcom;
  if (lower == L"wsman") return ProtocolChoice::kWsMan;
  return std::nullopt;
}

TransportPlan PlanTransports(ProtocolChoice choice, const Reach& reach) {
  switch (choice) {
    case ProtocolChoice::kDcom:
      return {Protocol::kDcom, std::nullopt};
    case ProtocolChoice::kWsMan:
      return {Protocol::kWsMan, std::nullopt};
    case ProtocolChoice::kAuto:
      break;
  }
  if (reach.kind != Reach::Kind::kReachable) return {Protocol::kDcom, Protocol::kWsMan};
  return {reach.dcom || !reach.wsman ? Protocol::kDcom : Protocol::kWsMan, std::nullopt};
}

ComputerRows RowsOverTransports(const std::wstring& computer, const TransportPlan& plan,
                                const AskedFacts& with, const TransportFor& transport_for) {
  Attempt first = AttemptOver(computer, plan.first, with, transport_for(plan.first));
  if (first.failed_at_once != kRpcServerUnavailable || !plan.fallback) return std::move(first.rows);
  Attempt fallback = AttemptOver(computer, *plan.fallback, with, transport_for(*plan.fallback));
  // A fallback that never reached the computer says nothing about it.
  if (fallback.not_started) return std::move(first.rows);
  if (!fallback.failed_at_once || fallback.deadline_passed) {
    return std::move(fallback.rows);
  }
  // Both failed: the first transport is the one asked for first, and its failure says why the
  // computer could not be reached over it; the description goes on with the fallback's.
  const LookupRow& second = fallback.rows.back();
  first.rows.back().description += std::wstring(L" ") + ProtocolName(*plan.fallback) +
                                   L" was tried too: " + FormatFailureCode(*second.code) + L" " +
                                   second.description;
  return std::move(first.rows);
}

LookupRow UnreachableRow(const std::wstring& computer, std::int32_t code,
                         std::wstring description) {
  return {computer, L"", RowStatus::kUnreachable, code, std::move(description), 0, L""};
}

}  // namespace quillmark::companion
