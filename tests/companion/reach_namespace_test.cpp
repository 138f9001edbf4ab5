// The reachability check against real listeners on loopback addresses, inside the private network
// namespace that reach-namespace.sh makes, whose /etc/hosts names them: both.reach.test
// (127.0.0.2) listens on 135 and 5985, winrm.reach.test (127.0.0.3) on 5985 alone,
// refusing.reach.test (127.0.0.4) on neither, and silent.reach.test (127.0.0.5) drops every
// connection request. Its name server knows no other name, and answers for slowdns.test after 3 s.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "companion_support.h"

namespace quillmark::companion_endtoend {
namespace {

using standin::Serial;
using standin::Transport;
using ::testing::ElementsAreArray;

// A listening socket; its connections are accepted by the system alone, never read.
class Listener {
 public:
  Listener(const char* address, unsigned short port) : socket_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    inet_pton(AF_INET, address, &local.sin_addr);
    listening_ = socket_ != INVALID_SOCKET &&
                 bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
                 listen(socket_, SOMAXCONN) == 0;
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  ~Listener() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
  }
  bool listening() const { return listening_; }

 private:
  SOCKET socket_;
  bool listening_ = false;
};

class Reachability : public CompanionEndToEnd {
 protected:
  void SetUp() override {
    if (GetEnvironmentVariableW(L"QUILLMARK_REACH_NAMESPACE", nullptr, 0) == 0) {
      GTEST_SKIP() << "runs only inside the private network namespace that reach-namespace.sh "
                      "makes (the test companion_reach_namespace)";
    }
    CompanionEndToEnd::SetUp();
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    for (const auto& [address, port] : {std::pair<const char*, unsigned short>{"127.0.0.2", 135},
                                        {"127.0.0.2", 5985},
                                        {"127.0.0.3", 5985}}) {
      listeners_.push_back(std::make_unique<Listener>(address, port));
      ASSERT_TRUE(listeners_.back()->listening()) << address << ":" << port;
    }
  }
  void TearDown() override {
    listeners_.clear();
    WSACleanup();
  }

  std::vector<std::unique_ptr<Listener>> listeners_;
};

constexpr wchar_t kRefused[] = L"0x8007274D";
constexpr wchar_t kSilent[] = L"0x8007274C";

TEST_F(Reachability, ComputersThatAnswerNeitherPortAreUnreachableAndTheRestAreLookedUp) {
  Use({standin::For(L"both.reach.test").Member(Serial::Text(L"BOTH")),
       standin::For(L"winrm.reach.test").Only(Transport::kWsMan).Member(Serial::Text(L"WINRM")),
       standin::ForPrefix(L"re").Member(Serial::Text(L"NEVER")),
       standin::ForPrefix(L"si").Member(Serial::Text(L"NEVER")),
       standin::For(L"127.0.0.5").Member(Serial::Text(L"LOOPBACK")),
       standin::For(L".").Member(Serial::Text(L"LOCAL")),
       standin::For(L"unresolvable.invalid").Member(Serial::Text(L"NEVER"))});
  const std::vector<std::wstring> names = {L"both.reach.test",     L"winrm.reach.test",
                                           L"refusing.reach.test", L"silent.reach.test",
                                           L"127.0.0.5",           L".",
                                           L"unresolvable.invalid"};
  const Row loopback{L"127.0.0.5", L"LOOPBACK", L"ok", L"", L""};
  const Row local{L".", L"LOCAL", L"ok", L"", L""};
  // The name server answers at once that no such name exists.
  const Row unresolvable{L"unresolvable.invalid", L"", L"unreachable", L"0x80072AF9", L""};
  const struct {
    const wchar_t* protocol;
    std::vector<Row> rows;
    std::vector<std::wstring> protocols;
  } cases[] = {
      {L"auto",
       {{L"both.reach.test", L"BOTH", L"ok", L"", L""},
        {L"winrm.reach.test", L"WINRM", L"ok", L"", L""},
        {L"refusing.reach.test", L"", L"unreachable", kRefused, L""},
        {L"silent.reach.test", L"", L"unreachable", kSilent, L""},
        loopback,
        local,
        unresolvable},
       {L"dcom", L"wsman", L"", L"", L"dcom", L"dcom", L""}},
      {L"dcom",
       {{L"both.reach.test", L"BOTH", L"ok", L"", L""},
        {L"winrm.reach.test", L"", L"unreachable", kRefused, L""},
        {L"refusing.reach.test", L"", L"unreachable", kRefused, L""},
        {L"silent.reach.test", L"", L"unreachable", kSilent, L""},
        loopback,
        local,
        unresolvable},
       {L"dcom", L"", L"", L"", L"dcom", L"dcom", L""}},
  };
  for (const auto& test : cases) {
    std::vector<std::wstring> arguments = {L"--reach-timeout", L"1000", L"--protocol",
                                           test.protocol};
    arguments.insert(arguments.end(), names.begin(), names.end());
    const CompanionRun run = RunCompanion(arguments);
    ASSERT_TRUE(run.finished) << Printable(test.protocol);
    EXPECT_EQ(run.exit_code, 1u) << Printable(test.protocol);
    CsvOutput output = ReadCompanionCsv(run.out);
    ASSERT_EQ(output.problem, "") << run.out.substr(0, 2000);
    // An unreachable computer's description is the platform's own: it must be there.
    for (Row& row : output.rows) {
      if (row[2] != L"unreachable") continue;
      EXPECT_FALSE(row[4].empty()) << Printable(row[0]);
      row[4].clear();
    }
    EXPECT_THAT(output.rows, ElementsAreArray(test.rows)) << Printable(test.protocol);
    EXPECT_THAT(output.protocols, ElementsAreArray(test.protocols)) << Printable(test.protocol);
  }
  // Unreachable computers were never looked up.
  for (const wchar_t* name :
       {L"refusing.reach.test", L"silent.reach.test", L"unresolvable.invalid"}) {
    EXPECT_THAT(Record(), ::testing::Not(::testing::Contains(standin::BindLine(name))));
  }
}

TEST_F(Reachability, ASlowNameServerHoldsTheCheckNoLongerThanItsDeadline) {
  Use({standin::For(L"slowdns.test").Member(Serial::Text(L"SLOW")),
       standin::For(L"both.reach.test").Delay(1800).Member(Serial::Text(L"NEXT"))});
  // At the computer's deadline, reached while resolving, the check's verdict so far stands:
  // silence. The computer is never contacted after its row said so, while the run goes on past the
  // name server's answer.
  CompanionRun run = RunCompanion({L"--timeout", L"2", L"--parallel", L"1", L"--reach-timeout",
                                   L"5000", L"slowdns.test", L"both.reach.test"});
  CsvOutput output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.rows.size(), 2u) << run.out.substr(0, 2000);
  EXPECT_EQ(output.rows[0],
            (Row{L"slowdns.test", L"", L"unreachable", kSilent, output.rows[0][4]}));
  EXPECT_EQ(output.rows[1][1], L"NEXT");
  EXPECT_THAT(Record(), ::testing::Not(::testing::Contains(standin::BindLine(L"slowdns.test"))));
  // The check gives the name up at its time-out, and leaves the computer to the lookup.
  run = RunCompanion({L"--reach-timeout", L"1000", L"slowdns.test"});
  output = ReadCompanionCsv(run.out);
  ASSERT_EQ(output.rows.size(), 1u) << run.out.substr(0, 2000);
  EXPECT_EQ(output.rows[0], (Row{L"slowdns.test", L"SLOW", L"ok", L"", L""}));
  EXPECT_LT(output.milliseconds[0], 2000u);
}

}  // namespace
}  // namespace quillmark::companion_endtoend
