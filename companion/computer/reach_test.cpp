// The reachability check's verdicts and the choice of transport, with a fake resolver, connector
// and transports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

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
constexpr std::int32_t kUnreachableNetwork = static_cast<std::int32_t>(0x80072743);
constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005);

// Names resolve as the map says; "own" names and addresses are this computer's.
struct FakeResolver : NameResolver {
  std::map<std::wstring, std::vector<NetworkAddress>> names;
  std::vector<std::wstring> resolved;
  bool IsThisComputerName(const std::wstring& name) override { return name == L"own"; }
  std::vector<NetworkAddress> Resolve(const std::wstring& name) override {
    resolved.push_back(name);
    return names.count(name) != 0 ? names.at(name) : std::vector<NetworkAddress>{};
  }
  bool IsThisComputerAddress(const NetworkAddress& address) override { return address == "own"; }
};

// Each "address:port" answers as the map says, and stays pending otherwise.
struct FakeConnector : Connector {
  std::map<std::string, ConnectResult> answers;
  std::vector<std::string> asked;
  bool settled_at_end = false;
  std::vector<ConnectResult> ConnectAll(const std::vector<Endpoint>& endpoints,
                                        std::chrono::milliseconds budget,
                                        const ReachSettled& settled) override {
    EXPECT_GT(budget.count(), 0);
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
const ConnectResult kNoRoute{Outcome::kFailed, kUnreachableNetwork};

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
      {"another failure gives its own code",
       kAuto,
       {{"a:135", kNoRoute}, {"a:5985", kNoRoute}, {"b:135", kNoRoute}, {"b:5985", kNoRoute}},
       Kind::kUnreachable,
       false,
       false,
       kUnreachableNetwork,
       true},
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
    const Reach reach =
        CheckReach(L"pc", test.choice, std::chrono::milliseconds(1500), resolver, connector);
    EXPECT_EQ(reach.kind, test.kind) << test.promise;
    EXPECT_EQ(reach.dcom, test.dcom) << test.promise;
    EXPECT_EQ(reach.wsman, test.wsman) << test.promise;
    EXPECT_EQ(reach.code, test.code) << test.promise;
    EXPECT_EQ(connector.settled_at_end, test.settled) << test.promise;
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
    CheckReach(L"pc", choice, std::chrono::milliseconds(10), resolver, connector);
    EXPECT_EQ(connector.asked, endpoints);
  }
}

TEST(ReachCheck, LeavesToTheLookupThisComputerNamesThatDoNotResolveAndACheckTurnedOff) {
  const struct {
    const char* promise;
    std::wstring name;
    int budget_ms;
    bool resolved;
  } cases[] = {
      {"this computer's name is never resolved", L"own", 1500, false},
      {"a name that does not resolve goes straight to the lookup", L"nosuch", 1500, true},
      {"a name of this computer's address", L"alias", 1500, true},
      {"a check turned off", L"pc", 0, false},
  };
  for (const auto& test : cases) {
    FakeResolver resolver;
    resolver.names[L"alias"] = {"a", "own"};
    resolver.names[L"pc"] = {"a"};
    FakeConnector connector;
    const Reach reach = CheckReach(test.name, kAuto, std::chrono::milliseconds(test.budget_ms),
                                   resolver, connector);
    EXPECT_EQ(reach.kind, Kind::kNotChecked) << test.promise;
    EXPECT_TRUE(connector.asked.empty()) << test.promise;
    EXPECT_EQ(resolver.resolved.size(), test.resolved ? 1u : 0u) << test.promise;
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

// Gives its serials, then fails with `code` unless it is 0.
struct FakeTransport : SerialTransport {
  FakeTransport(std::vector<std::wstring> given, std::int32_t failure)
      : serials(std::move(given)), code(failure) {}
  std::vector<std::wstring> serials;
  std::int32_t code = 0;
  int calls = 0;
  void ForEachSerial(const std::wstring&, const SerialReceiver& receive) override {
    ++calls;
    for (const std::wstring& serial : serials) receive(serial);
    if (code != 0) throw PlatformFailure(code, L"");
  }
};

TEST(TransportRows, TheFallbackFollowsOnlyAnUnavailableServerThatGaveNothing) {
  const struct {
    const char* promise;
    FakeTransport dcom;
    std::vector<std::wstring> statuses;  // status and protocol of each row
  } cases[] = {
      {"serials over DCOM", {{L"A", L"B"}, 0}, {L"ok dcom", L"ok dcom"}},
      {"unavailable: WS-Management's rows", {{}, kRpcServerUnavailable}, {L"ok wsman"}},
      {"serials before the failure are kept, no fallback",
       {{L"A"}, kRpcServerUnavailable},
       {L"ok dcom", L"failed dcom"}},
      {"another failure is reported", {{}, kAccessDenied}, {L"failed dcom"}},
      {"nothing at all", {{}, 0}, {L"no instance dcom"}},
  };
  for (const auto& test : cases) {
    FakeTransport dcom = test.dcom;
    FakeTransport wsman{{L"W"}, 0};
    const ComputerRows rows = RowsOverTransports(
        L"pc", {Protocol::kDcom, Protocol::kWsMan}, [&](Protocol protocol) -> SerialTransport& {
          return protocol == Protocol::kDcom ? static_cast<SerialTransport&>(dcom) : wsman;
        });
    std::vector<std::wstring> statuses;
    for (const LookupRow& row : rows) {
      statuses.push_back(std::wstring(StatusWord(row.status)) + L" " + row.protocol);
    }
    EXPECT_EQ(statuses, test.statuses) << test.promise;
    EXPECT_EQ(dcom.calls, 1) << test.promise;
  }
}

}  // namespace
}  // namespace quillmark::companion
