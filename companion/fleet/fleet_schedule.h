// The scheduling of many lookups, free of any platform: at most `parallel` at once, each with a
// deadline, and each computer's rows handed on in input order as soon as they can be. The thread a
// lookup runs on and the clock are seams, so that the scheduling is tested with fakes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "computer_lookup.h"
#include "computer_names.h"
#include "lookup_row.h"
#include "platform_failure.h"

namespace quillmark::companion {

using TimePoint = std::chrono::steady_clock::time_point;

// One computer's lookup, from its start until the coordinating thread takes its rows. Everything a
// lookup's failure path needs is made before its thread starts, so that path allocates nothing.
struct LookupJob {
  std::size_t index = 0;
  std::wstring computer;
  LookupSettings settings;     // the transport, the reachability check and the deadline
  ComputerRows rows;           // the lookup's result, set by its thread
  ComputerRows out_of_memory;  // the row for a lookup that ran out of memory
  ComputerRows unexpected;     // the row for a lookup ended by anything else unforeseen
  // Whether the lookup is still in its reachability check: a deadline that comes then gives the
  // check's verdict so far, silence, rather than a lookup's time-out.
  std::atomic<bool> checking{false};
  // The platform's handle for cancelling the lookup's call; 0 while it cannot be cancelled.
  std::atomic<std::uint32_t> cancel_token{0};
  LookupJob* next = nullptr;  // in the list of ended lookups
};

// What else wakes the coordinating thread when a lookup ends or a stop is asked for, for a wait
// that is not on a condition variable (a platform's wait that dispatches messages meanwhile).
class Wakeup {
 public:
  virtual ~Wakeup() = default;
  virtual void Wake() noexcept = 0;  // allocates nothing
};

// Where lookups that ended are left for the coordinating thread, and where a stop is asked for.
// Every lookup still running shares it, so that one left behind at its deadline never outlives it.
class EndedLookups {
 public:
  EndedLookups() = default;
  EndedLookups(const EndedLookups&) = delete;
  EndedLookups& operator=(const EndedLookups&) = delete;
  ~EndedLookups();

  // Takes the job, which its thread has finished with. Allocates nothing.
  void Post(std::unique_ptr<LookupJob> job) noexcept;
  // Ends the run soon: no more lookups start, and the ones running are no longer waited for. Safe
  // from any thread, including a console control handler.
  void Stop() noexcept;
  // Woken too by every Post and Stop from now on, for as long as this lives.
  void SetWakeup(std::shared_ptr<Wakeup> wakeup);

  // For the coordinating thread: every job posted since the last call, in any order.
  std::vector<std::unique_ptr<LookupJob>> Take();

  std::mutex mutex;
  std::condition_variable changed;                        // notified by Post and Stop
  bool stopped = false;                                   // guarded by `mutex`
  bool any_posted() const { return posted_ != nullptr; }  // call with `mutex` held

 private:
  LookupJob* posted_ = nullptr;     // owned, linked through `next`
  std::shared_ptr<Wakeup> wakeup_;  // guarded by `mutex`
};

// The time, and the coordinating thread's wait.
class RunClock {
 public:
  virtual ~RunClock() = default;
  virtual TimePoint Now() = 0;
  // Waits, with `lock` on `ended.mutex`, until `ended.changed` is notified or `until` comes (a
  // spurious return is allowed: the caller looks again).
  virtual void WaitUntil(std::unique_lock<std::mutex>& lock, EndedLookups& ended,
                         TimePoint until) = 0;
};

// Starts each lookup on a thread that runs no other lookup meanwhile.
class LookupLauncher {
 public:
  virtual ~LookupLauncher() = default;
  // Starts the job's lookup, which leaves its rows in the job and posts it to `ended` when it
  // ends. Returns nullopt once it runs (the job is then its thread's); otherwise why no thread
  // could be made, with `job` left to the caller.
  virtual std::optional<PlatformFailure> Launch(std::unique_ptr<LookupJob>& job,
                                                const std::shared_ptr<EndedLookups>& ended) = 0;
  // Asks the lookup of a job past its deadline to give up where the platform can; never waits.
  // The job stays alive until the coordinating thread takes it from `ended`.
  virtual void Abandon(LookupJob& job) noexcept = 0;
};

struct FleetPlan {
  ComputerNames computers;
  int parallel = 1;  // lookups in flight at once
  std::chrono::milliseconds timeout{30000};
  ProtocolChoice protocol = ProtocolChoice::kAuto;
  std::chrono::milliseconds reach_timeout{0};  // the reachability check's; zero: no check
  AskedFacts with = {};                        // the facts read beside each serial
};

// Called on the coordinating thread with each computer's rows, in input order; false stops the
// run (the output is gone).
using RowsReceiver = std::function<bool(std::size_t index, const ComputerRows& rows)>;
// Called on the coordinating thread each time a computer's lookup ends.
using ProgressReceiver = std::function<void(const LookupProgress&)>;

struct FleetOutcome {
  bool interrupted = false;       // stopped through EndedLookups::Stop
  bool receiver_stopped = false;  // the receiver said stop
  bool out_of_memory = false;     // the coordinating thread ran out of memory
  // Why the computers reported "not looked up" were not: no thread could be made with nothing
  // running.
  std::optional<PlatformFailure> no_thread;
};

// Runs every lookup of the plan. A computer whose thread cannot be made waits for room (a lookup
// ending or a deadline passing) and is tried again; only when nothing runs and no thread can be
// made does every computer not yet started get a "not looked up" row. A lookup still running at
// its deadline gets a "timed out" row and is abandoned, never waited for. Stopped, out of memory
// or not, every computer that ended is handed on before it returns, except after the receiver said
// stop.
FleetOutcome ScheduleFleet(const FleetPlan& plan, RunClock& clock, LookupLauncher& launcher,
                           const std::shared_ptr<EndedLookups>& ended, const RowsReceiver& rows,
                           const ProgressReceiver& progress);

}  // namespace quillmark::companion
