// The platform's side of a fleet lookup: a thread and a single-threaded apartment for each lookup,
// and the cancellation of a call at its deadline.
#include "fleet_lookup.h"

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <new>
#include <utility>

#include "com_failure.h"
#include "com_management_binder.h"
#include "com_owners.h"
#include "win32_owners.h"

namespace quillmark::companion {
namespace {

// A worker's stack: ample for a lookup's COM calls, and a quarter of the program's default, so that
// hundreds of lookups in flight, or left behind at their deadlines, hold little address space
// (where threads' stacks are committed whole, little memory too).
constexpr SIZE_T kWorkerStack = 512 * 1024;

// Whether a call can be cancelled from another thread here. Wine accepts the request to allow it
// but exports the cancellation itself as a stub that aborts the process when called.
bool PlatformCancelsCalls() {
  static const bool cancels = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
  }();
  return cancels;
}

// A lookup's single-threaded apartment, as the management service's scripting objects are
// registered for, whose outgoing calls the coordinating thread may cancel where the platform
// offers that at all.
class WorkerApartment {
 public:
  explicit WorkerApartment(LookupJob& job) : job_(job) {
    cancellable_ = PlatformCancelsCalls() && SUCCEEDED(CoEnableCallCancellation(nullptr));
    if (cancellable_) job_.cancel_token.store(GetCurrentThreadId());
  }
  WorkerApartment(const WorkerApartment&) = delete;
  WorkerApartment& operator=(const WorkerApartment&) = delete;
  ~WorkerApartment() {
    if (!cancellable_) return;
    // Waits out a cancellation in progress: the thread's next call may be another lookup's.
    for (std::uint32_t own = GetCurrentThreadId(); !job_.cancel_token.compare_exchange_weak(own, 0);
         own = GetCurrentThreadId()) {
      SwitchToThread();
    }
    CoDisableCallCancellation(nullptr);
  }

 private:
  ComApartment apartment_;
  LookupJob& job_;
  bool cancellable_ = false;
};

// The cancellation token while the coordinating thread cancels a call: no thread's id.
constexpr std::uint32_t kCancelling = 0xFFFFFFFF;

std::uint64_t MillisecondsSince(ULONGLONG start) { return GetTickCount64() - start; }

ComputerRows LookUpInOwnApartment(LookupJob& job) {
  const ULONGLONG started = GetTickCount64();
  try {
    const WorkerApartment apartment(job);
    return LookUpComputer(job.computer, job.settings);
  } catch (const PlatformFailure& failure) {
    return {{job.computer, L"", RowStatus::kFailed, failure.code(), failure.description(),
             MillisecondsSince(started)}};
  }
}

struct WorkerStart;

// An exclusive hold of a slim reader/writer lock, for as long as this lives.
class ExclusiveHold {
 public:
  explicit ExclusiveHold(SRWLOCK& lock) noexcept : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;
  ~ExclusiveHold() { ReleaseSRWLockExclusive(&lock_); }

 private:
  SRWLOCK& lock_;
};

// Workers that have ended a lookup wait a little for the next one before their threads end. A
// lookup that answers at once costs less than making and ending a thread, and threads that end
// queue in the platform's exit path, each still holding its stack. Its waits and locks are the
// platform's own, which throw nothing, as a worker must not.
class IdleWorkers {
 public:
  // Gives the start to a worker that waits for one; false, with `start` untouched, when none does.
  bool HandOn(std::unique_ptr<WorkerStart>& start) {
    const ExclusiveHold hold(lock_);
    if (waiting_ <= handed_.size()) return false;
    handed_.push_back(std::move(start));
    WakeConditionVariable(&handed_on_);
    return true;
  }

  // Counts a worker whose lookup has ended as waiting, before that end is posted: the coordinating
  // thread, woken by the post, then hands the next start to it rather than make a thread.
  void StartWaiting() noexcept {
    const ExclusiveHold hold(lock_);
    ++waiting_;
  }

  // For a worker counted as waiting: the next start handed on within kIdleMilliseconds, or none,
  // and then the worker ends. Allocates nothing.
  std::unique_ptr<WorkerStart> Next() noexcept {
    const ExclusiveHold hold(lock_);
    const ULONGLONG until = GetTickCount64() + kIdleMilliseconds;
    for (ULONGLONG now = GetTickCount64(); handed_.empty() && now < until; now = GetTickCount64()) {
      // False on the timeout and on a failure alike: either way the loop looks again.
      SleepConditionVariableSRW(&handed_on_, &lock_, static_cast<DWORD>(until - now), 0);
    }
    --waiting_;
    if (handed_.empty()) return nullptr;
    std::unique_ptr<WorkerStart> start = std::move(handed_.front());
    handed_.pop_front();
    return start;
  }

 private:
  static constexpr ULONGLONG kIdleMilliseconds = 250;
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE handed_on_ = CONDITION_VARIABLE_INIT;
  std::size_t waiting_ = 0;                          // workers between StartWaiting and Next's end
  std::deque<std::unique_ptr<WorkerStart>> handed_;  // never more than `waiting_`
};

struct WorkerStart {
  std::unique_ptr<LookupJob> job;
  std::shared_ptr<EndedLookups> ended;
  std::shared_ptr<IdleWorkers> idle;  // outlives the run for a worker that returns late
};

void LookUp(LookupJob& job) noexcept {
  try {
    job.rows = LookUpInOwnApartment(job);
  } catch (const std::bad_alloc&) {
    job.rows.swap(job.out_of_memory);  // made before the thread started: nothing to allocate
  } catch (...) {
    job.rows.swap(job.unexpected);
  }
}

DWORD WINAPI Worker(void* parameter) noexcept {
  std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
  const std::shared_ptr<IdleWorkers> idle = start->idle;
  while (start) {
    LookUp(*start->job);
    idle->StartWaiting();
    start->ended->Post(std::move(start->job));
    start = idle->Next();
  }
  return 0;
}

ComputerRows FailureRows(const std::wstring& computer, const PlatformFailure& failure) {
  return {{computer, L"", RowStatus::kFailed, failure.code(), failure.description(), 0}};
}

class ThreadLauncher : public LookupLauncher {
 public:
  std::optional<PlatformFailure> Launch(std::unique_ptr<LookupJob>& job,
                                        const std::shared_ptr<EndedLookups>& ended) override {
    job->out_of_memory = FailureRows(job->computer, FailureFromHresult(E_OUTOFMEMORY));
    job->unexpected = FailureRows(job->computer, FailureFromHresult(E_UNEXPECTED));
    auto start = std::make_unique<WorkerStart>();  // before the job moves: it may throw
    start->job = std::move(job);
    start->ended = ended;
    start->idle = idle_;
    try {
      if (idle_->HandOn(start)) return std::nullopt;
    } catch (...) {
      job = std::move(start->job);
      throw;
    }
    const HANDLE thread = CreateThread(nullptr, kWorkerStack, Worker, start.get(),
                                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
      const DWORD error = GetLastError();
      job = std::move(start->job);
      return FailureFromHresult(
          HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_NOT_ENOUGH_MEMORY));
    }
    start.release();      // the worker owns it now
    CloseHandle(thread);  // never joined: a worker past its deadline is left behind
    return std::nullopt;
  }

  // Where the call is one COM can cancel, the worker ends the lookup soon. The token reads
  // "cancelling" meanwhile, so that the worker cannot end this lookup and start another call on
  // its thread before the cancellation is made.
  void Abandon(LookupJob& job) noexcept override {
    std::uint32_t thread_id = job.cancel_token.load();
    if (thread_id == 0 || !job.cancel_token.compare_exchange_strong(thread_id, kCancelling)) return;
    CoCancelCall(thread_id, 0);
    job.cancel_token.store(thread_id);
  }

 private:
  const std::shared_ptr<IdleWorkers> idle_ = std::make_shared<IdleWorkers>();
};

}  // namespace

// The coordinating thread's clock: a wait that dispatches the messages its single-threaded
// apartment receives meanwhile, woken by an event that every lookup's end and a stop set.
class PumpingClock : public RunClock, public Wakeup {
 public:
  PumpingClock() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!event_) ThrowLastError(L"CreateEventW");
  }
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void Wake() noexcept override { SetEvent(event_.get()); }

  void WaitUntil(std::unique_lock<std::mutex>& lock, EndedLookups&, TimePoint until) override {
    DWORD wait = INFINITE;
    if (until != TimePoint::max()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Now()).count();
      wait = static_cast<DWORD>(std::clamp<long long>(left, 0, INFINITE - 1));
    }
    HANDLE handles[] = {event_.get()};
    DWORD signalled = 0;
    lock.unlock();
    // A timeout or a failure alike only sends the caller to look again.
    CoWaitForMultipleHandles(0, wait, 1, handles, &signalled);
    lock.lock();
  }

 private:
  UniqueEvent event_;
};

FleetOutcome RunFleet(const FleetPlan& plan, const std::shared_ptr<EndedLookups>& ended,
                      const RowsReceiver& rows, const ProgressReceiver& progress) {
  // The scheme's handler is loaded once, here, before the workers start: first loads of the
  // management libraries racing in many threads at once can deadlock in the loader. Loading it
  // binds nothing, so it cannot hang on any computer.
  const ComApartment apartment;
  try {
    LoadMonikerHandler(kMonikerScheme);
  } catch (const PlatformFailure&) {
    // Each lookup meets the same failure and reports it as its own.
  }
  const auto clock = std::make_shared<PumpingClock>();
  ended->SetWakeup(clock);
  ThreadLauncher launcher;
  return ScheduleFleet(plan, *clock, launcher, ended, rows, progress);
}

}  // namespace quillmark::companion
