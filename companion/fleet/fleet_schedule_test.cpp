// The scheduling of many lookups against a fake clock and fake lookups: the order rows go out in,
// deadlines, stops, and threads that cannot be made.
#include "fleet_schedule.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "input_order.h"

namespace quillmark::companion {
namespace {

using ::testing::ElementsAreArray;
using Milliseconds = std::chrono::milliseconds;

constexpr int kHangs = -1;          // the lookup hangs, after its reachability check
constexpr int kHangsChecking = -2;  // the reachability check hangs
constexpr std::int32_t kNoThread = static_cast<std::int32_t>(0x80070008);

// Lookups that take a given number of fake milliseconds, and the clock they run by. Every wait
// moves the clock on to the next thing that happens.
class FakeFleet : public RunClock, public LookupLauncher {
 public:
  std::vector<int> durations;        // by computer: milliseconds, or kHangs
  int good_launches = 0;             // launches that find a thread before the failing ones
  int failing_launches = 0;          // the launches that then find none (-1: every one)
  std::optional<int> stop_at;        // when the run is stopped
  std::vector<std::size_t> started;  // in the order their threads started
  std::vector<std::size_t> abandoned;
  std::size_t running = 0;
  std::size_t most_running = 0;

  TimePoint Now() override { return now_; }

  void WaitUntil(std::unique_lock<std::mutex>& lock, EndedLookups& ended,
                 TimePoint until) override {
    lock.unlock();
    TimePoint next = until;
    for (const Pending& pending : pending_) next = std::min(next, pending.end);
    if (stop_at) next = std::min(next, At(*stop_at));
    if (next == TimePoint::max()) {
      ADD_FAILURE() << "the coordinating thread waits for nothing that will come";
      ended.Stop();
    }
    now_ = std::max(now_, next);
    for (auto at = pending_.begin(); at != pending_.end();) {
      if (at->end > now_) {
        ++at;
        continue;
      }
      at->job->rows = {{at->job->computer, L"SN", RowStatus::kOk, std::nullopt, L"", 1}};
      --running;
      at->ended->Post(std::move(at->job));
      at = pending_.erase(at);
    }
    if (stop_at && now_ >= At(*stop_at)) ended.Stop();
    lock.lock();
  }

  std::optional<PlatformFailure> Launch(std::unique_ptr<LookupJob>& job,
                                        const std::shared_ptr<EndedLookups>& ended) override {
    if (good_launches > 0) {
      --good_launches;
    } else if (failing_launches != 0) {
      if (failing_launches > 0) --failing_launches;
      return PlatformFailure(kNoThread, L"Not enough memory resources are available.");
    }
    started.push_back(job->index);
    most_running = std::max(most_running, ++running);
    const int duration = durations.at(job->index);
    if (duration != kHangsChecking) job->settings.on_checked();
    const TimePoint end = duration < 0 ? TimePoint::max() : now_ + Milliseconds(duration);
    pending_.push_back({end, std::move(job), ended});
    return std::nullopt;
  }

  void Abandon(LookupJob& job) noexcept override {
    abandoned.push_back(job.index);
    --running;
  }

  int MillisecondsNow() const {
    return static_cast<int>(std::chrono::duration_cast<Milliseconds>(now_ - TimePoint()).count());
  }

 private:
  struct Pending {
    TimePoint end;
    std::unique_ptr<LookupJob> job;
    std::shared_ptr<EndedLookups> ended;
  };
  static TimePoint At(int milliseconds) { return TimePoint() + Milliseconds(milliseconds); }

  TimePoint now_{};
  std::vector<Pending> pending_;
};

// What a computer's rows said when they went out, and when they went.
struct HandedOn {
  std::size_t index;
  RowStatus status;
  int at_ms;
  bool operator==(const HandedOn& other) const {
    return index == other.index && status == other.status && at_ms == other.at_ms;
  }
};

void PrintTo(const HandedOn& handed, std::ostream* out) {
  *out << "{" << handed.index << ", " << static_cast<int>(handed.status) << ", " << handed.at_ms
       << " ms}";
}

struct ScheduleCase {
  const char* promise;
  std::vector<int> durations;
  int parallel;
  int timeout_ms;
  int good_launches;
  int failing_launches;
  std::optional<int> stop_at;
  std::vector<HandedOn> handed_on;
  bool no_thread;
};

constexpr RowStatus kOk = RowStatus::kOk;
constexpr RowStatus kTimedOut = RowStatus::kTimedOut;
constexpr RowStatus kNotLookedUp = RowStatus::kNotLookedUp;
constexpr RowStatus kUnreachable = RowStatus::kUnreachable;

class Schedules : public ::testing::TestWithParam<ScheduleCase> {};

TEST_P(Schedules, HandOnEachComputerInInputOrderAsSoonAsEveryEarlierOneHasEnded) {
  const ScheduleCase& test = GetParam();
  FakeFleet fake;
  fake.durations = test.durations;
  fake.good_launches = test.good_launches;
  fake.failing_launches = test.failing_launches;
  fake.stop_at = test.stop_at;
  FleetPlan plan;
  for (std::size_t index = 0; index < test.durations.size(); ++index) {
    plan.computers.Add(L"pc" + std::to_wstring(index));
  }
  plan.parallel = test.parallel;
  plan.timeout = Milliseconds(test.timeout_ms);
  plan.reach_timeout = Milliseconds(1500);
  std::vector<HandedOn> handed_on;
  std::size_t progress_reports = 0;
  const auto ended = std::make_shared<EndedLookups>();
  const FleetOutcome outcome = ScheduleFleet(
      plan, fake, fake, ended,
      [&](std::size_t index, const ComputerRows& rows) {
        EXPECT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows.front().computer, plan.computers[index]);
        handed_on.push_back({index, rows.front().status, fake.MillisecondsNow()});
        return true;
      },
      [&](const LookupProgress&) { ++progress_reports; });

  EXPECT_THAT(handed_on, ElementsAreArray(test.handed_on));
  EXPECT_EQ(outcome.interrupted, test.stop_at.has_value());
  EXPECT_EQ(outcome.no_thread.has_value(), test.no_thread);
  EXPECT_LE(fake.most_running, static_cast<std::size_t>(test.parallel));
  // Each computer started once at most, in input order.
  std::vector<std::size_t> in_order = fake.started;
  std::sort(in_order.begin(), in_order.end());
  EXPECT_EQ(fake.started, in_order);
  EXPECT_EQ(std::unique(in_order.begin(), in_order.end()), in_order.end());
  // A computer is "not looked up" only if it never started.
  for (const HandedOn& handed : handed_on) {
    const bool started = std::count(fake.started.begin(), fake.started.end(), handed.index) != 0;
    EXPECT_EQ(handed.status == kNotLookedUp, !started) << handed.index;
  }
  if (!test.stop_at) {
    EXPECT_EQ(progress_reports, test.durations.size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Schedules,
    ::testing::Values(
        ScheduleCase{"out of order ends wait for the earlier ones",
                     {30, 10, 20, 5},
                     4,
                     1000,
                     0,
                     0,
                     std::nullopt,
                     {{0, kOk, 30}, {1, kOk, 30}, {2, kOk, 30}, {3, kOk, 30}},
                     false},
        ScheduleCase{"one at a time goes out as each ends",
                     {30, 10, 20},
                     1,
                     1000,
                     0,
                     0,
                     std::nullopt,
                     {{0, kOk, 30}, {1, kOk, 40}, {2, kOk, 60}},
                     false},
        ScheduleCase{"a hung first computer holds the rest until its deadline",
                     {kHangs, 10, 10, 10},
                     2,
                     500,
                     0,
                     0,
                     std::nullopt,
                     {{0, kTimedOut, 500}, {1, kOk, 500}, {2, kOk, 500}, {3, kOk, 500}},
                     false},
        ScheduleCase{"a deadline during the check gives the check's silence",
                     {kHangsChecking, 10},
                     2,
                     500,
                     0,
                     0,
                     std::nullopt,
                     {{0, kUnreachable, 500}, {1, kOk, 500}},
                     false},
        ScheduleCase{"a lookup ending after its deadline is reported once, timed out",
                     {700, 100, 900},
                     3,
                     500,
                     0,
                     0,
                     std::nullopt,
                     {{0, kTimedOut, 500}, {1, kOk, 500}, {2, kTimedOut, 500}},
                     false},
        ScheduleCase{"a thread that cannot be made is tried again when room comes",
                     {50, 10, 30, 10},
                     3,
                     1000,
                     2,
                     1,
                     std::nullopt,
                     {{0, kOk, 50}, {1, kOk, 50}, {2, kOk, 50}, {3, kOk, 50}},
                     false},
        ScheduleCase{"no thread with nothing running: the rest are not looked up",
                     {10, 10, 10, 10},
                     2,
                     1000,
                     2,
                     -1,
                     std::nullopt,
                     {{0, kOk, 10}, {1, kOk, 10}, {2, kNotLookedUp, 10}, {3, kNotLookedUp, 10}},
                     true},
        ScheduleCase{"no thread at all: nothing is looked up",
                     {10, 10},
                     2,
                     1000,
                     0,
                     -1,
                     std::nullopt,
                     {{0, kNotLookedUp, 0}, {1, kNotLookedUp, 0}},
                     true},
        ScheduleCase{"a stop hands on what ended, passing over what runs",
                     {10, kHangs, 10, 10, 10, 100, 10},
                     3,
                     100000,
                     0,
                     0,
                     50,
                     {{0, kOk, 10}, {2, kOk, 50}, {3, kOk, 50}, {4, kOk, 50}, {6, kOk, 50}},
                     false},
        ScheduleCase{"a stop hands on the lookups that ended but were not yet taken",
                     {kHangs, 50, 50},
                     3,
                     100000,
                     0,
                     0,
                     50,
                     {{1, kOk, 50}, {2, kOk, 50}},
                     false}),
    [](const ::testing::TestParamInfo<ScheduleCase>& param_info) {
      std::string name = param_info.param.promise;
      std::replace_if(
          name.begin(), name.end(),
          [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; }, '_');
      return name;
    });

TEST(Schedule, StopsStartingLookupsOnceTheReceiverSaysStop) {
  FakeFleet fake;
  fake.durations.assign(100, 10);
  FleetPlan plan;
  for (int index = 0; index < 100; ++index) plan.computers.Add(L"pc");
  plan.parallel = 2;
  std::size_t received = 0;
  const FleetOutcome outcome = ScheduleFleet(
      plan, fake, fake, std::make_shared<EndedLookups>(),
      [&](std::size_t, const ComputerRows&) { return ++received < 3; }, nullptr);
  EXPECT_TRUE(outcome.receiver_stopped);
  EXPECT_EQ(received, 3u);
  EXPECT_LE(fake.started.size(), received + 2) << "lookups started after the stop";
}

TEST(InputOrder, HandsOnRowsOnlyOnceEveryEarlierComputerIsThere) {
  InputOrder order;
  std::vector<std::size_t> handed;
  const auto receive = [&](std::size_t index, const ComputerRows&) {
    handed.push_back(index);
    return true;
  };
  const std::vector<std::pair<std::size_t, std::vector<std::size_t>>> steps = {
      {2, {}}, {1, {}}, {0, {0, 1, 2}}, {0, {}}, {4, {}}, {3, {3, 4}}, {6, {}}};
  for (const auto& [put, expected] : steps) {
    handed.clear();
    order.Put(put, {});
    EXPECT_TRUE(order.HandOnReady(receive));
    EXPECT_EQ(handed, expected) << "after " << put;
  }
  order.Put(8, {});
  handed.clear();
  EXPECT_TRUE(order.HandOnAll(receive));
  EXPECT_EQ(handed, (std::vector<std::size_t>{6, 8})) << "the end of a stopped run passes gaps";
  EXPECT_EQ(order.held(), 0u);
}

}  // namespace
}  // namespace quillmark::companion
