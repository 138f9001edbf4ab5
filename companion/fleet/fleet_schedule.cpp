// The coordinating thread's work: starting lookups while there is room, giving up on them at their
// deadlines, and handing their rows on in input order.
#include "fleet_schedule.h"

#include <map>
#include <new>
#include <unordered_map>
#include <utility>

#include "input_order.h"
#include "reachability.h"

namespace quillmark::companion {

EndedLookups::~EndedLookups() {
  while (posted_ != nullptr) {
    const std::unique_ptr<LookupJob> job(posted_);
    posted_ = job->next;
  }
}

void EndedLookups::Post(std::unique_ptr<LookupJob> job) noexcept {
  const std::lock_guard<std::mutex> lock(mutex);
  job->next = posted_;
  posted_ = job.release();
  changed.notify_all();
  if (wakeup_) wakeup_->Wake();
}

void EndedLookups::Stop() noexcept {
  const std::lock_guard<std::mutex> lock(mutex);
  stopped = true;
  changed.notify_all();
  if (wakeup_) wakeup_->Wake();
}

void EndedLookups::SetWakeup(std::shared_ptr<Wakeup> wakeup) {
  const std::lock_guard<std::mutex> lock(mutex);
  wakeup_ = std::move(wakeup);
}

std::vector<std::unique_ptr<LookupJob>> EndedLookups::Take() {
  std::vector<std::unique_ptr<LookupJob>> taken;
  const std::lock_guard<std::mutex> lock(mutex);
  std::size_t count = 0;
  for (const LookupJob* job = posted_; job != nullptr; job = job->next) ++count;
  taken.reserve(count);  // may throw, before anything is taken
  while (posted_ != nullptr) {
    taken.emplace_back(posted_);
    posted_ = posted_->next;
  }
  return taken;
}

namespace {

LookupRow RowWithoutSerial(std::wstring_view computer, RowStatus status,
                           const PlatformFailure& failure, std::uint64_t milliseconds) {
  return {std::wstring(computer), L"", status, failure.code(), failure.description(), milliseconds};
}

class Coordinator {
 public:
  Coordinator(const FleetPlan& plan, RunClock& clock, LookupLauncher& launcher,
              const std::shared_ptr<EndedLookups>& ended, const RowsReceiver& rows,
              const ProgressReceiver& progress)
      : plan_(plan),
        clock_(clock),
        launcher_(launcher),
        ended_(ended),
        rows_(rows),
        progress_(progress) {
    progress_state_.total = plan.computers.size();
  }

  FleetOutcome Run() {
    try {
      Schedule();
    } catch (const std::bad_alloc&) {
      outcome_.out_of_memory = true;
      TryToTakeWhatEnded();
    }
    if (!outcome_.receiver_stopped) HandOnEverythingEnded();
    return outcome_;
  }

 private:
  struct Running {
    LookupJob* job;  // alive until taken from `ended_`
    std::multimap<TimePoint, std::size_t>::iterator deadline;
  };

  void Schedule() {
    for (;;) {
      if (!HandOn()) return;
      StartWhileRoom();
      if (!HandOn()) return;
      if (next_ == plan_.computers.size() && running_.empty()) return;
      if (!WaitForChange()) {
        outcome_.interrupted = true;
        // The stop may have come while rows were being written: lookups that ended meanwhile are
        // posted but not taken, and are handed on with the rest.
        TakeEnded();
        return;
      }
      TakeEnded();
      AbandonPastDeadline();
    }
  }

  void StartWhileRoom() {
    while (!start_blocked_ && running_.size() < static_cast<std::size_t>(plan_.parallel) &&
           next_ < plan_.computers.size()) {
      if (IsStopped()) return;
      Start();
    }
  }

  void Start() {
    auto job = std::make_unique<LookupJob>();
    job->index = next_;
    job->computer = std::wstring(plan_.computers[next_]);
    LookupJob* const started = job.get();
    const TimePoint ends = clock_.Now() + plan_.timeout;
    job->settings = {plan_.protocol, plan_.reach_timeout, ends,
                     [started] { started->checking.store(false); }, plan_.with};
    job->checking.store(plan_.reach_timeout.count() > 0);
    // Booked first, so that nothing can fail between the thread's start and its booking.
    const auto deadline = deadlines_.emplace(ends, next_);
    std::unordered_map<std::size_t, Running>::iterator booked;
    try {
      booked = running_.emplace(next_, Running{started, deadline}).first;
    } catch (const std::bad_alloc&) {
      deadlines_.erase(deadline);
      throw;
    }
    std::optional<PlatformFailure> failure;
    try {
      failure = launcher_.Launch(job, ended_);
    } catch (const std::bad_alloc&) {
      running_.erase(booked);
      deadlines_.erase(deadline);
      throw;
    }
    if (!failure) {
      ++next_;
      return;
    }
    running_.erase(booked);
    deadlines_.erase(deadline);
    if (!running_.empty()) {
      // Room comes when a lookup ends or is given up: try this computer again then.
      start_blocked_ = true;
      return;
    }
    // Nothing runs that could make room: no computer left can be looked up.
    for (; next_ < plan_.computers.size(); ++next_) {
      Finish(next_,
             {RowWithoutSerial(plan_.computers[next_], RowStatus::kNotLookedUp, *failure, 0)});
    }
    outcome_.no_thread = std::move(failure);
  }

  bool IsStopped() {
    const std::lock_guard<std::mutex> lock(ended_->mutex);
    return ended_->stopped;
  }

  // Waits until a lookup ends, the nearest deadline passes or the run is stopped; false if stopped.
  bool WaitForChange() {
    const TimePoint until = deadlines_.empty() ? TimePoint::max() : deadlines_.begin()->first;
    std::unique_lock<std::mutex> lock(ended_->mutex);
    if (!ended_->stopped && !ended_->any_posted() && clock_.Now() < until) {
      clock_.WaitUntil(lock, *ended_, until);
    }
    return !ended_->stopped;
  }

  void TakeEnded() {
    for (std::unique_ptr<LookupJob>& job : ended_->Take()) {
      const auto running = running_.find(job->index);
      if (running == running_.end()) continue;  // given up at its deadline already
      deadlines_.erase(running->second.deadline);
      running_.erase(running);
      Finish(job->index, std::move(job->rows));
    }
  }

  void AbandonPastDeadline() {
    const TimePoint now = clock_.Now();
    while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
      const std::size_t index = deadlines_.begin()->second;
      deadlines_.erase(deadlines_.begin());
      const auto running = running_.find(index);
      if (running == running_.end()) continue;
      const bool checking = running->second.job->checking.load();
      launcher_.Abandon(*running->second.job);
      running_.erase(running);
      const auto limit = static_cast<std::uint64_t>(plan_.timeout.count());
      if (checking) {
        // Nothing answered the check by the computer's deadline: silence, as the check says.
        LookupRow silent = UnreachableRow(std::wstring(plan_.computers[index]), kSilenceCode,
                                          DescribeFailureCode(kSilenceCode));
        silent.milliseconds = limit;
        Finish(index, {std::move(silent)});
        continue;
      }
      const PlatformFailure timed_out(kTimedOutCode, DescribeFailureCode(kTimedOutCode));
      Finish(index,
             {RowWithoutSerial(plan_.computers[index], RowStatus::kTimedOut, timed_out, limit)});
    }
  }

  void Finish(std::size_t index, ComputerRows rows) {
    start_blocked_ = false;
    ++progress_state_.done;
    RowStatus status = RowStatus::kOk;
    for (const LookupRow& row : rows) {
      if (row.status != RowStatus::kOk) status = row.status;
    }
    if (status == RowStatus::kTimedOut) {
      ++progress_state_.timed_out;
    } else if (status != RowStatus::kOk) {
      ++progress_state_.failed;
    }
    order_.Put(index, std::move(rows));
    if (progress_) progress_(progress_state_);
  }

  bool HandOn() {
    if (order_.HandOnReady(rows_)) return true;
    outcome_.receiver_stopped = true;
    return false;
  }

  // After a memory failure: whatever ended and can still be taken.
  void TryToTakeWhatEnded() {
    try {
      TakeEnded();
    } catch (const std::bad_alloc&) {
      // What could not be taken is lost with the memory it needed.
    }
  }

  void HandOnEverythingEnded() {
    try {
      if (!order_.HandOnAll(rows_)) outcome_.receiver_stopped = true;
    } catch (const std::bad_alloc&) {
      outcome_.out_of_memory = true;
    }
  }

  const FleetPlan& plan_;
  RunClock& clock_;
  LookupLauncher& launcher_;
  const std::shared_ptr<EndedLookups>& ended_;
  const RowsReceiver& rows_;
  const ProgressReceiver& progress_;
  std::size_t next_ = 0;  // the next computer to start
  bool start_blocked_ = false;
  std::unordered_map<std::size_t, Running> running_;
  std::multimap<TimePoint, std::size_t> deadlines_;  // of the lookups running
  InputOrder order_;
  LookupProgress progress_state_;
  FleetOutcome outcome_;
};

}  // namespace

FleetOutcome ScheduleFleet(const FleetPlan& plan, RunClock& clock, LookupLauncher& launcher,
                           const std::shared_ptr<EndedLookups>& ended, const RowsReceiver& rows,
                           const ProgressReceiver& progress) {
  return Coordinator(plan, clock, launcher, ended, rows, progress).Run();
}

}  // namespace quillmark::companion
