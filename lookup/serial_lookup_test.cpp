// The lookup's promises, checked against a recording fake of the management service and the user.
#include "serial_lookup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform_failure.h"

namespace quillmark {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

enum class Step { kBind, kInstancesOf, kWalk, kNext, kRead, kShow };

// Every call and every release, in order, as one log shared by the fakes.
struct Record {
  std::vector<std::wstring> events;
  int live_objects = 0;
};

class FakeObject : public ManagementObject {
 public:
  FakeObject(Record& record, std::wstring name) : record_(record), name_(std::move(name)) {
    ++record_.live_objects;
  }
  ~FakeObject() override {
    --record_.live_objects;
    record_.events.push_back(L"release " + name_);
  }
  const std::wstring& name() const { return name_; }

 private:
  Record& record_;
  std::wstring name_;
};

struct Script {
  std::vector<std::wstring> serials{L"SN-1"};
  std::optional<Step> failing_step;
  int failing_occurrence = 1;  // for kNext, kRead and kShow: which call fails
};

Script Members(std::vector<std::wstring> serials) {
  Script script;
  script.serials = std::move(serials);
  return script;
}

const PlatformFailure kInjected{static_cast<std::int32_t>(0x80041015), L"Injected failure."};

class FakeWalk : public MemberWalk {
 public:
  FakeWalk(Record& record, const Script& script, int& next_calls)
      : record_(record), script_(script), next_calls_(next_calls) {
    ++record_.live_objects;
  }
  ~FakeWalk() override {
    --record_.live_objects;
    record_.events.push_back(L"release walk");
  }
  ManagementObjectRef Next() override {
    const int call = ++next_calls_;
    record_.events.push_back(L"next");
    if (script_.failing_step == Step::kNext && script_.failing_occurrence == call) throw kInjected;
    if (static_cast<size_t>(call) > script_.serials.size()) return nullptr;
    return std::make_unique<FakeObject>(record_, L"member" + std::to_wstring(call));
  }

 private:
  Record& record_;
  const Script& script_;
  int& next_calls_;
};

class FakeBinder : public ManagementBinder, public UserNotifier {
 public:
  explicit FakeBinder(Script script) : script_(std::move(script)) {}

  ManagementObjectRef BindMoniker(const std::wstring& display_name) override {
    record.events.push_back(L"bind " + display_name);
    next_calls_ = reads_ = shows_ = 0;  // each binding serves a fresh lookup
    FailAt(Step::kBind, 1);
    return std::make_unique<FakeObject>(record, L"services");
  }
  ManagementObjectRef CallMethod(ManagementObject& target, const std::wstring& method,
                                 const std::wstring& text_argument) override {
    record.events.push_back(L"call " + NameOf(target) + L"." + method + L"(" + text_argument +
                            L")");
    FailAt(Step::kInstancesOf, 1);
    return std::make_unique<FakeObject>(record, L"collection");
  }
  std::unique_ptr<MemberWalk> WalkMembers(ManagementObject& collection) override {
    record.events.push_back(L"walk " + NameOf(collection));
    FailAt(Step::kWalk, 1);
    return std::make_unique<FakeWalk>(record, script_, next_calls_);
  }
  std::wstring ReadPropertyText(ManagementObject& object, const std::wstring& property) override {
    record.events.push_back(L"read " + NameOf(object) + L"." + property);
    FailAt(Step::kRead, ++reads_);
    return script_.serials.at(static_cast<size_t>(reads_ - 1));
  }
  void ShowMessage(const std::wstring& text) override {
    record.events.push_back(L"show " + text);
    FailAt(Step::kShow, ++shows_);
    // A message is shown only while the value it reports has been read and nothing else is pending.
    record.events.push_back(L"dismissed");
  }

  Record record;

 private:
  static std::wstring NameOf(ManagementObject& object) {
    return static_cast<FakeObject&>(object).name();
  }
  void FailAt(Step step, int occurrence) const {
    if (script_.failing_step == step && script_.failing_occurrence == occurrence) throw kInjected;
  }

  Script script_;
  int next_calls_ = 0;
  int reads_ = 0;
  int shows_ = 0;
};

std::vector<std::wstring> RunLookup(FakeBinder& fake, const std::wstring& name = L"pc1") {
  SerialLookup(name, fake, fake);
  return fake.record.events;
}

std::wstring BoundMoniker(const std::wstring& name) {
  FakeBinder fake{Script{}};
  return RunLookup(fake, name).front();
}

TEST(Moniker, IsThePrefixFollowedByTheNameExactlyAsTyped) {
  EXPECT_EQ(BoundMoniker(L""), L"bind winmgmts:{impersonationLevel=impersonate}!//");
  EXPECT_EQ(BoundMoniker(L"  pc1 "), L"bind winmgmts:{impersonationLevel=impersonate}!//  pc1 ");
  EXPECT_EQ(BoundMoniker(L"\\\\pc1"), L"bind winmgmts:{impersonationLevel=impersonate}!//\\\\pc1");
  EXPECT_EQ(BoundMoniker(L"//PC1"), L"bind winmgmts:{impersonationLevel=impersonate}!////PC1");
  EXPECT_EQ(BoundMoniker(L"r\u00e9seau-\u4e2d"),
            L"bind winmgmts:{impersonationLevel=impersonate}!//r\u00e9seau-\u4e2d");
}

TEST(Moniker, PrefixAndPromptHaveTheirExactLengths) {
  EXPECT_EQ(std::wstring(kMonikerPrefix).size(), 44u);
  EXPECT_EQ(std::wstring(kResultPrompt).size(), 49u);
  EXPECT_EQ(MonikerFor(std::wstring(100000, L'x')).size(), 100044u);
}

TEST(Lookup, OneMemberGivesOneMessageAndReleasesEverythingInOrder) {
  FakeBinder fake{Script{}};
  EXPECT_THAT(
      RunLookup(fake),
      ElementsAre(L"bind winmgmts:{impersonationLevel=impersonate}!//pc1",
                  L"call services.InstancesOf(Win32_BIOS)",
                  L"release services",  // before the walk starts
                  L"walk collection", L"next", L"read member1.SerialNumber",
                  L"show The serial number for the specified computer is: SN-1", L"dismissed",
                  L"next", L"release member1", L"release walk", L"release collection"));
  EXPECT_EQ(fake.record.live_objects, 0);
}

TEST(Lookup, TwoMembersGiveTwoMessagesInEnumeratorOrderEachAfterThePreviousIsDismissed) {
  FakeBinder fake{Members({L"FIRST", L"SECOND"})};
  const auto events = RunLookup(fake);
  std::vector<std::wstring> shown;
  for (const auto& event : events) {
    if (event.rfind(L"show ", 0) == 0 || event == L"dismissed" || event == L"next") {
      shown.push_back(event);
    }
  }
  EXPECT_THAT(shown,
              ElementsAre(L"next", L"show " + ResultMessageFor(L"FIRST"), L"dismissed", L"next",
                          L"show " + ResultMessageFor(L"SECOND"), L"dismissed", L"next"));
  EXPECT_EQ(fake.record.live_objects, 0);
}

TEST(Lookup, NoMemberGivesNoMessageAndNoFailure) {
  FakeBinder fake{Members({})};
  const auto events = RunLookup(fake);
  for (const auto& event : events) EXPECT_NE(event.rfind(L"show", 0), 0u) << event.c_str();
  EXPECT_EQ(fake.record.live_objects, 0);
}

TEST(Lookup, SerialTextIsJoinedToThePromptUnchanged) {
  FakeBinder fake{Members({L"", L"12345", L"  ABC  "})};
  std::vector<std::wstring> shown;
  for (const auto& event : RunLookup(fake)) {
    if (event.rfind(L"show ", 0) == 0) shown.push_back(event.substr(5));
  }
  EXPECT_THAT(shown, ElementsAre(L"The serial number for the specified computer is: ",
                                 L"The serial number for the specified computer is: 12345",
                                 L"The serial number for the specified computer is:   ABC  "));
}

TEST(SerialsAlone, ArriveUnpromptedInOrderEachBeforeTheNextIsRead) {
  FakeBinder fake{Members({L"  A  ", L"", L"B"})};
  std::vector<std::wstring> events;
  ForEachSerial(L"pc1", fake, [&](const std::wstring& serial) {
    fake.record.events.push_back(L"got [" + serial + L"]");
  });
  for (const auto& event : fake.record.events) {
    if (event.rfind(L"got ", 0) == 0 || event.rfind(L"read ", 0) == 0) events.push_back(event);
  }
  EXPECT_THAT(events, ElementsAre(L"read member1.SerialNumber", L"got [  A  ]",
                                  L"read member2.SerialNumber", L"got []",
                                  L"read member3.SerialNumber", L"got [B]"));
  EXPECT_EQ(fake.record.live_objects, 0);
}

TEST(SerialsAlone, AFailingReceiverEndsTheWalkWithEverythingReleased) {
  FakeBinder fake{Members({L"A", L"B"})};
  int received = 0;
  EXPECT_THROW(ForEachSerial(L"pc1", fake,
                             [&](const std::wstring&) {
                               ++received;
                               throw PlatformFailure(1, L"stop");
                             }),
               PlatformFailure);
  EXPECT_EQ(received, 1);
  EXPECT_EQ(fake.record.live_objects, 0);
}

TEST(Lookup, KeepsNothingBetweenCalls) {
  FakeBinder fake{Script{}};
  RunLookup(fake, L"a");
  const size_t first_length = fake.record.events.size();
  SerialLookup(L"b", fake, fake);
  const auto& events = fake.record.events;
  ASSERT_EQ(events.size(), 2 * first_length);
  EXPECT_EQ(events[first_length], L"bind " + MonikerFor(L"b"));
  EXPECT_TRUE(std::equal(events.begin() + 1, events.begin() + static_cast<long>(first_length),
                         events.begin() + static_cast<long>(first_length) + 1));
}

struct FailureCase {
  Step step;
  int occurrence;
  std::vector<std::wstring> tail;  // the events from the failing call to the end
};

void PrintTo(const FailureCase& failure, std::ostream* out) {
  *out << "step " << static_cast<int>(failure.step) << " #" << failure.occurrence;
}

class LookupFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(LookupFailure, EndsAtTheFailingStepReleasesAllAndPassesTheFailureOnUnchanged) {
  const FailureCase& failure = GetParam();
  FakeBinder fake{Script{{L"FIRST", L"SECOND"}, failure.step, failure.occurrence}};
  try {
    SerialLookup(L"pc1", fake, fake);
    FAIL() << "the failure did not reach the caller";
  } catch (const PlatformFailure& caught) {
    EXPECT_EQ(caught.code(), kInjected.code());
    EXPECT_EQ(caught.description(), kInjected.description());
  }
  const auto& events = fake.record.events;
  ASSERT_GE(events.size(), failure.tail.size());
  EXPECT_EQ(std::vector<std::wstring>(events.end() - static_cast<long>(failure.tail.size()),
                                      events.end()),
            failure.tail);
  EXPECT_EQ(fake.record.live_objects, 0);
}

const std::wstring kFirst = L"show " + ResultMessageFor(L"FIRST");

INSTANTIATE_TEST_SUITE_P(
    EachStep, LookupFailure,
    ::testing::Values(
        FailureCase{Step::kBind, 1, {L"bind " + MonikerFor(L"pc1")}},
        FailureCase{
            Step::kInstancesOf, 1, {L"call services.InstancesOf(Win32_BIOS)", L"release services"}},
        FailureCase{Step::kWalk, 1, {L"walk collection", L"release collection"}},
        FailureCase{
            Step::kNext, 1, {L"walk collection", L"next", L"release walk", L"release collection"}},
        FailureCase{Step::kNext,
                    2,
                    {kFirst, L"dismissed", L"next", L"release member1", L"release walk",
                     L"release collection"}},
        FailureCase{Step::kRead,
                    2,
                    {L"next", L"release member1", L"read member2.SerialNumber", L"release member2",
                     L"release walk", L"release collection"}},
        FailureCase{
            Step::kShow, 1, {kFirst, L"release member1", L"release walk", L"release collection"}}));

}  // namespace
}  // namespace quillmark
