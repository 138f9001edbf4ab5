// The reachability check's verdicts and the choice of transport, with a fake resolver, connector
// and transports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "lookup_deadline.h"
#include "platform_failure.h"
#include "protocol_choice.h"
#include "reachability.h"

namespace quillmark::companion {
namespace {

using Outcome = ConnectResult::Outcome;
using Kind = Reach::Kind;

constexpr ProtocolChoice kAuto = ProtocolChoice::kAuto;
constexpr ProtocolChoice kDcom = ProtocolChoice::kDcom;
constexpr ProtocolChoice kWsMan = ProtocolChoice::kWsMan;
constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005);
constexpr std::int32_t kNoBufferSpace = static_cast<std::int32_t>(0x80072747);
const SteadyTime kStart{std::chrono::hours(1)};
using Ms = std::chrono::milliseconds;

// Names resolve as the map says, "gone" does not exist, and any other name fails for a passing
// reason; "own" names and addresses are this computer's.
struct FakeResolver : NameResolver {
  std::map<std::wstring, std::vector<NetworkAddress>> names;
  std::vector<std::wstring> resolved;
  SteadyTime deadline;
  bool IsThisComputerName(const std::wstring& name) override { return name == L"own"; }
  Resolution Resolve(const std::wstring& name, SteadyTime by) override {
    resolved.push_back(name);
    deadline = by;
    if (names.count(name) == 0) return {{}, name == L"gone"};
    return {names.at(name), false};
  }
  bool IsThisComputerAddress(const NetworkAddress& address) override { return address == "own"; }
};

// Each "address:port" answers as the map says, and stays pending otherwise.
struct FakeConnector : Connector {
  std::map<std::string, ConnectResult> answers;
  std::vector<std::string> asked;
  bool settled_at_end = false;
  SteadyTime deadline;
  std::vector<ConnectResult> ConnectAll(const std::vector<Endpoint>& endpoints, SteadyTime by,
                                        const ReachSettled& settled) override {
    deadline = by;
    std::vector<ConnectResult> results;
    for (const Endpoint& endpoint : endpoints) {
      const std::string key = endpoint.address + ":" + std::to_string(endpoint.port);
      asked.push_back(key);
      results.push_back(answers.count(key) != 0 ? answers.at(key) : ConnectResult{});
    }
    settled_at_end = settled(endpoints, results);
    return results;
  }
};

const ConnectResult kAccepted{Outcome::kAccepted, 0};
const ConnectResult kRefused{Outcome::kRefused, 0};
const ConnectResult kNoRoute = ResultOfConnectError(kNetworkUnreachableCode);
const ConnectResult kNoHost = ResultOfConnectError(kHostUnreachableCode);
const ConnectResult kNoBuffers = ResultOfConnectError(kNoBufferSpace);

struct VerdictCase {
  const char* promise;
  ProtocolChoice choice;
  std::map<std::string, ConnectResult> answers;  // of the addresses "a" and "b"
  Kind kind;
  bool dcom;
  bool wsman;
  std::int32_t code;
  bool settled;
};

TEST(ReachVerdict, EachMixOfAnswersGivesItsVerdictAndCode) {
  const VerdictCase cases[] = {
      {"135 on one address is DCOM",
       kAuto,
       {{"b:135", kAccepted}},
       Kind::kReachable,
       true,
       false,
       0,
       true},
      {"5985 alone is WS-Management, waited for 135",
       kAuto,
       {{"a:5985", kAccepted}},
       Kind::kReachable,
       false,
       true,
       0,
       false},
      {"both",
       kAuto,
       {{"a:135", kAccepted}, {"a:5985", kAccepted}},
       Kind::kReachable,
       true,
       true,
       0,
       true},
      {"silence everywhere", kAuto, {}, Kind::kUnreachable, false, false, kSilenceCode, false},
      {"a refusal says the computer is there",
       kAuto,
       {{"a:135", kRefused}, {"b:5985", kNoRoute}},
       Kind::kUnreachable,
       false,
       false,
       kRefusalCode,
       false},
      {"no route to the network or host is silence, known at once",
       kAuto,
       {{"a:135", kNoRoute}, {"a:5985", kNoRoute}, {"b:135", kNoHost}, {"b:5985", kNoHost}},
       Kind::kUnreachable,
       false,
       false,
       kSilenceCode,
       true},
      // This computer's own failure is no verdict: the lookup goes ahead.
      {"local failure", kAuto, {{"a:135", kNoBuffers}}, Kind::kNotChecked, false, false, 0, false},
      {"dcom asks 135 only",
       kDcom,
       {{"a:5985", kAccepted}},
       Kind::kUnreachable,
       false,
       false,
       kSilenceCode,
       false},
      {"wsman asks 5985 only",
       kWsMan,
       {{"a:135", kAccepted}, {"b:5985", kAccepted}},
       Kind::kReachable,
       false,
       true,
       0,
       true},
  };
  for (const VerdictCase& test : cases) {
    FakeResolver resolver;
    resolver.names[L"pc"] = {"a", "b"};
    FakeConnector connector;
    connector.answers = test.answers;
    const Reach reach = CheckReach(L"pc", test.choice, kStart, resolver, connector);
    EXPECT_EQ(reach.kind, test.kind) << test.promise;
    EXPECT_EQ(reach.dcom, test.dcom) << test.promise;
    EXPECT_EQ(reach.wsman, test.wsman) << test.promise;
    EXPECT_EQ(reach.code, test.code) << test.promise;
    EXPECT_EQ(connector.settled_at_end, test.settled) << test.promise;
    EXPECT_EQ(resolver.deadline, kStart);
    EXPECT_EQ(connector.deadline, kStart) << "one deadline for resolving and connecting";
  }
}

TEST(ReachCheck, ConnectsToThePortsOfTheChoiceOnEveryAddress) {
  const std::pair<ProtocolChoice, std::vector<std::string>> cases[] = {
      {kAuto, {"a:135", "a:5985", "b:135", "b:5985"}},
      {kDcom, {"a:135", "b:135"}},
      {kWsMan, {"a:5985", "b:5985"}},
  };
  for (const auto& [choice, endpoints] : cases) {
    FakeResolver resolver;
    resolver.names[L"pc"] = {"a", "b"};
    FakeConnector connector;
    CheckReach(L"pc", choice, kStart, resolver, connector);
    EXPECT_EQ(connector.asked, endpoints);
  }
}

TEST(ReachCheck, LeavesToTheLookupThisComputerNamesThatDoNotResolveAndACheckTurnedOff) {
  const struct {
    const char* promise;
    std::wstring name;
    int budget_ms;
    bool resolved;
    Kind kind = Kind::kNotChecked;
    std::int32_t code = 0;
  } cases[] = {
      {"this computer's name is never resolved", L"own", 1500, false},
      {"a name not resolved for a passing reason goes to the lookup", L"nosuch", 1500, true},
      {"a name of this computer's address", L"alias", 1500, true},
      {"a check turned off", L"pc", 0, false},
      {"a name that does not exist is unreachable", L"gone", 1500, true, Kind::kUnreachable,
       kNoSuchHostCode},
  };
  for (const auto& test : cases) {
    FakeResolver resolver;
    resolver.names[L"alias"] = {"a", "own"};
    resolver.names[L"pc"] = {"a"};
    FakeConnector connector;
    const Reach reach =
        CheckReach(test.name, kAuto, CheckDeadline(kStart, Ms(test.budget_ms), SteadyTime::max()),
                   resolver, connector);
    EXPECT_EQ(reach.kind, test.kind) << test.promise;
    EXPECT_EQ(reach.code, test.code) << test.promise;
    EXPECT_TRUE(connector.asked.empty()) << test.promise;
    EXPECT_EQ(resolver.resolved.size(), test.resolved ? 1u : 0u) << test.promise;
  }
}

TEST(ReachHints, NameThePortsThatWereTriedForTheProtocolAskedFor) {
  const struct {
    std::int32_t code;
    ProtocolChoice choice;
    const wchar_t* names;
    const wchar_t* never;
  } cases[] = {
      {kSilenceCode, ProtocolChoice::kDcom, L"TCP 135 (DCOM) did not answer", L"5985"},
      {kSilenceCode, ProtocolChoice::kWsMan, L"TCP 5985 (WS-Management) did not answer", L"135"},
      {kRefusalCode, ProtocolChoice::kDcom, L"connections on TCP 135 (DCOM):", L"5985"},
      {kRefusalCode, ProtocolChoice::kWsMan, L"connections on TCP 5985 (WS-Management):", L"135"},
  };
  for (const auto& test : cases) {
    const std::wstring hint = UnreachableHint(test.code, test.choice);
    EXPECT_NE(hint.find(test.names), std::wstring::npos) << testing::PrintToString(hint);
    EXPECT_EQ(hint.find(test.never), std::wstring::npos) << testing::PrintToString(hint);
  }
  // Auto tries both ports: the code's own hint, which names both, stands.
  EXPECT_EQ(UnreachableHint(kRefusalCode, kAuto), L"");
  EXPECT_EQ(UnreachableHint(kNoSuchHostCode, ProtocolChoice::kDcom), L"");
}

TEST(ReachCheck, EndsByTheTimeOutOrTheComputersDeadlineIfThatComesFirst) {
  const std::tuple<int, SteadyTime, std::optional<SteadyTime>> cases[] = {
      {1500, SteadyTime::max(), kStart + Ms(1500)},
      {5000, kStart + Ms(2000), kStart + Ms(2000)},
      {1000, kStart - Ms(10), kStart - Ms(10)},
      {0, kStart + Ms(2000), std::nullopt},
  };
  for (const auto& [timeout_ms, computer, check] : cases) {
    EXPECT_EQ(CheckDeadline(kStart, Ms(timeout_ms), computer), check);
  }
}

// Counts the calls made of it; its walk gives one member.
struct CountingBinder : ManagementBinder, MemberWalk {
  explicit CountingBinder(int& counter) : calls(counter) {}
  int& calls;
  ManagementObjectRef Count() { return ++calls, std::make_unique<ManagementObject>(); }
  ManagementObjectRef BindMoniker(const std::wstring&) override { return Count(); }
  ManagementObjectRef CallMethod(ManagementObject&, const std::wstring&,
                                 const std::wstring&) override {
    return Count();
  }
  std::unique_ptr<MemberWalk> WalkMembers(ManagementObject&) override {
    return Count(), std::make_unique<CountingBinder>(calls);
  }
  ManagementObjectRef Next() override { return calls == 3 ? Count() : (Count(), nullptr); }
  std::wstring ReadPropertyText(ManagementObject&, const std::wstring&) override {
    return Count(), L"SN";
  }
};

TEST(LookupDeadline, NoManagementCallStartsOnceTheComputersDeadlineHasPassed) {
  // Bind, InstancesOf, the walk, its first step, the read and the last step: six calls, each
  // a millisecond after the one before on the fake clock.
  for (int allowed = 0; allowed <= 6; ++allowed) {
    int calls = 0;
    CountingBinder inner(calls);
    DeadlineBinder binder(inner, SteadyTime() + Ms(allowed),
                          [&] { return SteadyTime() + Ms(calls); });
    std::optional<std::int32_t> code;
    try {
      ForEachSerial(L"pc", binder, [](const std::wstring&) {});
    } catch (const PlatformFailure& failure) {
      code = failure.code();
    }
    EXPECT_EQ(calls, allowed);
    EXPECT_EQ(code, allowed < 6 ? std::optional<std::int32_t>(kTimedOutCode) : std::nullopt);
  }
}

TEST(TransportChoice, AutoFollowsTheCheckAndFallsBackOnlyWithoutOne) {
  const Reach none{};
  const Reach dcom{Kind::kReachable, true, false, 0};
  const Reach wsman{Kind::kReachable, false, true, 0};
  const Reach both{Kind::kReachable, true, true, 0};
  const struct {
    ProtocolChoice choice;
    Reach reach;
    Protocol first;
    std::optional<Protocol> fallback;
  } cases[] = {
      {kAuto, none, Protocol::kDcom, Protocol::kWsMan},
      {kAuto, dcom, Protocol::kDcom, {}},
      {kAuto, wsman, Protocol::kWsMan, {}},
      {kAuto, both, Protocol::kDcom, {}},
      {kDcom, wsman, Protocol::kDcom, {}},
      {kWsMan, dcom, Protocol::kWsMan, {}},
      {kWsMan, none, Protocol::kWsMan, {}},
  };
  for (const auto& test : cases) {
    const TransportPlan plan = PlanTransports(test.choice, test.reach);
    EXPECT_EQ(plan.first, test.first);
    EXPECT_EQ(plan.fallback, test.fallback);
  }
  EXPECT_EQ(ProtocolChoiceNamed(L"WSMAN"), kWsMan);
  EXPECT_EQ(ProtocolChoiceNamed(L"wmi"), std::nullopt);
}

// Gives its serials, then fails with `code` unless it is 0 (kTimedOutCode as the deadline itself,
// unless `deadline` is false); or cannot start at all.
struct FakeTransport : SerialTransport {
  FakeTransport(std::vector<std::wstring> given, std::int32_t failure, bool can_start = true,
                bool at_deadline = true)
      : serials(std::move(given)), code(failure), starts(can_start), deadline(at_deadline) {}
  std::vector<std::wstring> serials;
  std::int32_t code = 0;
  bool starts = true;
  bool deadline = true;
  int calls = 0;
  FactReadings ForEachSerial(const std::wstring&, const AskedFacts&,
                             const InstanceReceiver& receive) override {
    ++calls;
    if (!starts) throw TransportNotStarted(PlatformFailure(code, L""));
    for (const std::wstring& serial : serials) receive(serial, {});
    if (code == kTimedOutCode && deadline) throw DeadlinePassed();
    if (code != 0) throw PlatformFailure(code, L"");
    return {};
  }
};

TEST(TransportRows, TheFallbackFollowsOnlyAnUnavailableServerThatGaveNothing) {
  const struct {
    const char* promise;
    FakeTransport dcom;
    std::vector<std::wstring> statuses;  // status and protocol of each row
    FakeTransport wsman{{L"W"}, 0};
    std::wstring description = {};  // of the last row, where given
  } cases[] = {
      {"serials over DCOM", {{L"A", L"B"}, 0}, {L"ok dcom", L"ok dcom"}},
      {"unavailable: WS-Management's rows", {{}, kRpcServerUnavailable}, {L"ok wsman"}},
      {"serials before the failure are kept, no fallback",
       {{L"A"}, kRpcServerUnavailable},
       {L"ok dcom", L"failed dcom"}},
      {"another failure is reported", {{}, kAccessDenied}, {L"failed dcom"}},
      {"nothing at all", {{}, 0}, {L"no instance dcom"}},
      // WS-Management that cannot start here keeps DCOM's failure; a deadline's is its own.
      {"cannot start", {{}, kRpcServerUnavailable}, {L"failed dcom"}, {{}, kAccessDenied, false}},
      {"both fail: DCOM's failure, and WS-Management's told too",
       {{}, kRpcServerUnavailable},
       {L"failed dcom"},
       {{}, kAccessDenied},
       L"The RPC server is unavailable. WS-Management was tried too: 0x80070005 Access is denied."},
      {"the deadline met: timed out, as if given up",
       {{}, kRpcServerUnavailable},
       {L"timed out "},
       {{}, kTimedOutCode}},
      {"a failure with the time-out's code is no deadline: DCOM's row stands",
       {{}, kRpcServerUnavailable},
       {L"failed dcom"},
       {{}, kTimedOutCode, true, false}},
  };
  for (const auto& test : cases) {
    FakeTransport dcom = test.dcom;
    FakeTransport wsman = test.wsman;
    const ComputerRows rows = RowsOverTransports(
        L"pc", {Protocol::kDcom, Protocol::kWsMan}, {}, [&](Protocol protocol) -> SerialTransport& {
          return protocol == Protocol::kDcom ? static_cast<SerialTransport&>(dcom) : wsman;
        });
    std::vector<std::wstring> statuses;
    for (const LookupRow& row : rows) {
      statuses.push_back(std::wstring(StatusWord(row.status)) + L" " + row.protocol);
    }
    EXPECT_EQ(statuses, test.statuses) << test.promise;
    EXPECT_EQ(dcom.calls, 1) << test.promise;
    if (!test.description.empty()) {
      EXPECT_EQ(rows.back().description, test.description) << test.promise;
    }
  }
}

}  // namespace
}  // namespace quillmark::companion
