// The parallel lookup of many computers, with a deadline for each.
#include "fleet_lookup.h"

#include <objbase.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>

#include "com_failure.h"
#include "com_management_binder.h"
#include "computer_lookup.h"

namespace quillmark::companion {
namespace {

using Clock = std::chrono::steady_clock;

// A worker's stack: ample for a lookup's COM calls, and a quarter of the program's default, so that
// hundreds of lookups in flight, or left behind at their deadlines, hold little address space
// (where threads' stacks are committed whole, little memory too).
constexpr SIZE_T kWorkerStack = 512 * 1024;

std::uint64_t MillisecondsSince(Clock::time_point start) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  return static_cast<std::uint64_t>(elapsed.count());
}

LookupRow FailedRow(const std::wstring& computer, RowStatus status, const PlatformFailure& failure,
                    std::uint64_t milliseconds) {
  return {computer, L"", status, failure.code(), failure.description(), milliseconds};
}

// What the workers and the coordinating thread share. Each worker holds it too, so that a worker
// left behind at its deadline never outlives what it writes to.
struct Board {
  enum class State { kWaiting, kRunning, kEnded, kAbandoned };
  struct Job {
    State state = State::kWaiting;
    ComputerRows rows;
    Clock::time_point deadline;
    DWORD thread_id = 0;
    bool cancellable = false;  // the worker's calls can be cancelled from another thread
  };

  std::mutex mutex;
  std::vector<Job> jobs;
  std::vector<std::size_t> ended;  // jobs whose worker has ended, not yet taken
  UniqueEvent wake{false};         // set whenever `ended` grows
};

struct WorkerStart {
  std::shared_ptr<Board> board;
  std::size_t job;
  std::wstring computer;
  LookupSettings settings;
};

// Whether a call can be cancelled from another thread here. Wine accepts the request to allow it
// but exports the cancellation itself as a stub that aborts the process when called.
bool PlatformCancelsCalls() {
  static const bool cancels = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
  }();
  return cancels;
}

// COM for one thread: a single-threaded apartment of its own, as the management service's
// scripting objects are registered for.
class WorkerApartment {
 public:
  WorkerApartment() {
    const HRESULT result =
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(result)) throw FailureFromHresult(result);
    // Lets the coordinating thread cancel this thread's outgoing call at its deadline, where the
    // platform offers that at all.
    cancellable_ = PlatformCancelsCalls() && SUCCEEDED(CoEnableCallCancellation(nullptr));
  }
  WorkerApartment(const WorkerApartment&) = delete;
  WorkerApartment& operator=(const WorkerApartment&) = delete;
  ~WorkerApartment() {
    if (cancellable_) CoDisableCallCancellation(nullptr);
    CoUninitialize();
  }
  bool cancellable() const noexcept { return cancellable_; }

 private:
  bool cancellable_ = false;
};

void MarkCancellable(Board& board, std::size_t job) {
  const std::lock_guard<std::mutex> lock(board.mutex);
  board.jobs[job].cancellable = true;
}

ComputerRows LookUpInOwnApartment(const WorkerStart& start) {
  const Clock::time_point started = Clock::now();
  try {
    const WorkerApartment apartment;
    if (apartment.cancellable()) MarkCancellable(*start.board, start.job);
    return LookUpComputer(start.computer, start.settings);
  } catch (const PlatformFailure& failure) {
    return {FailedRow(start.computer, RowStatus::kFailed, failure, MillisecondsSince(started))};
  }
}

DWORD WINAPI Worker(void* parameter) noexcept {
  const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
  ComputerRows rows;
  try {
    rows = LookUpInOwnApartment(*start);
  } catch (...) {
    rows = {FailedRow(start->computer, RowStatus::kFailed, PlatformFailure(E_OUTOFMEMORY, L""), 0)};
  }
  Board& board = *start->board;
  const std::lock_guard<std::mutex> lock(board.mutex);
  Board::Job& job = board.jobs[start->job];
  if (job.state == Board::State::kRunning) {
    job.rows = std::move(rows);
    job.state = Board::State::kEnded;
    board.ended.push_back(start->job);
    SetEvent(board.wake.get());
  }
  return 0;
}

class Coordinator {
 public:
  Coordinator(const FleetPlan& plan, HANDLE stop, const ProgressReceiver& progress)
      : plan_(plan), stop_(stop), progress_(progress), board_(std::make_shared<Board>()) {
    board_->jobs.resize(plan.computers.size());
    progress_state_.total = plan.computers.size();
  }

  FleetResult Run() {
    FleetResult result;
    while (next_ < plan_.computers.size() || running_ > 0) {
      StartWhileRoom();
      if (running_ == 0) continue;
      if (WaitForChange()) {
        result.interrupted = true;
        break;
      }
      TakeEnded();
      AbandonPastDeadline();
    }
    const std::lock_guard<std::mutex> lock(board_->mutex);
    for (Board::Job& job : board_->jobs) {
      const bool over = job.state == Board::State::kEnded || job.state == Board::State::kAbandoned;
      result.computers.push_back(over ? std::optional<ComputerRows>(job.rows) : std::nullopt);
    }
    return result;
  }

 private:
  void StartWhileRoom() {
    while (running_ < static_cast<std::size_t>(plan_.parallel) && next_ < plan_.computers.size()) {
      Start(next_++);
    }
  }

  void Start(std::size_t index) {
    const std::wstring& computer = plan_.computers[index];
    const Clock::time_point deadline = Clock::now() + plan_.timeout;
    auto start = std::make_unique<WorkerStart>(
        WorkerStart{board_, index, computer, {plan_.protocol, plan_.reach_timeout, deadline}});
    const std::lock_guard<std::mutex> lock(board_->mutex);
    Board::Job& job = board_->jobs[index];
    job.state = Board::State::kRunning;
    job.deadline = deadline;
    ++running_;
    HANDLE thread = CreateThread(nullptr, kWorkerStack, Worker, start.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, &job.thread_id);
    if (thread == nullptr) {
      const PlatformFailure failure = FailureFromHresult(HRESULT_FROM_WIN32(GetLastError()));
      job.rows = {FailedRow(computer, RowStatus::kFailed, failure, 0)};
      job.state = Board::State::kEnded;
      board_->ended.push_back(index);
      return;
    }
    start.release();      // the worker owns it now
    CloseHandle(thread);  // never joined: a worker past its deadline is left behind
  }

  // Waits until a worker ends, the nearest deadline passes or the run is stopped; true if stopped.
  bool WaitForChange() {
    Clock::time_point nearest = Clock::time_point::max();
    {
      const std::lock_guard<std::mutex> lock(board_->mutex);
      if (!board_->ended.empty()) return IsStopped();
      for (const Board::Job& job : board_->jobs) {
        if (job.state == Board::State::kRunning) nearest = std::min(nearest, job.deadline);
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nearest - Clock::now());
    const DWORD wait = static_cast<DWORD>(std::max<long long>(0, left.count()) + 1);
    const HANDLE handles[] = {board_->wake.get(), stop_};
    WaitForMultipleObjects(stop_ != nullptr ? 2 : 1, handles, FALSE, wait);
    return IsStopped();
  }

  bool IsStopped() const {
    return stop_ != nullptr && WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0;
  }

  void TakeEnded() {
    std::vector<std::size_t> ended;
    {
      const std::lock_guard<std::mutex> lock(board_->mutex);
      ended.swap(board_->ended);
    }
    for (const std::size_t index : ended) Finish(index);
  }

  void AbandonPastDeadline() {
    std::vector<std::size_t> abandoned;
    {
      const std::lock_guard<std::mutex> lock(board_->mutex);
      const Clock::time_point now = Clock::now();
      for (std::size_t index = 0; index < board_->jobs.size(); ++index) {
        Board::Job& job = board_->jobs[index];
        if (job.state != Board::State::kRunning || job.deadline > now) continue;
        job.state = Board::State::kAbandoned;
        job.rows = {TimedOutRow(plan_.computers[index])};
        // Where the call is one COM can cancel, the worker ends soon and its thread with it.
        if (job.cancellable) CoCancelCall(job.thread_id, 0);
        abandoned.push_back(index);
      }
    }
    for (const std::size_t index : abandoned) Finish(index);
  }

  LookupRow TimedOutRow(const std::wstring& computer) const {
    const auto limit = static_cast<std::uint64_t>(plan_.timeout.count());
    return FailedRow(computer, RowStatus::kTimedOut, FailureFromHresult(kTimedOutCode), limit);
  }

  void Finish(std::size_t index) {
    --running_;
    ++progress_state_.done;
    RowStatus status = RowStatus::kOk;
    {
      const std::lock_guard<std::mutex> lock(board_->mutex);
      for (const LookupRow& row : board_->jobs[index].rows) {
        if (row.status != RowStatus::kOk) status = row.status;
      }
    }
    if (status == RowStatus::kFailed || status == RowStatus::kNoInstance ||
        status == RowStatus::kUnreachable) {
      ++progress_state_.failed;
    }
    if (status == RowStatus::kTimedOut) ++progress_state_.timed_out;
    if (progress_) progress_(progress_state_);
  }

  const FleetPlan& plan_;
  HANDLE stop_;
  const ProgressReceiver& progress_;
  std::shared_ptr<Board> board_;
  std::size_t next_ = 0;
  std::size_t running_ = 0;
  LookupProgress progress_state_;
};

}  // namespace

UniqueEvent::UniqueEvent(bool manual_reset)
    : event_(CreateEventW(nullptr, manual_reset, FALSE, nullptr)) {
  if (event_ == nullptr) throw FailureFromHresult(HRESULT_FROM_WIN32(GetLastError()));
}

FleetResult RunFleet(const FleetPlan& plan, HANDLE stop, const ProgressReceiver& progress) {
  // The scheme's handler is loaded once, here, before the workers start: first loads of the
  // management libraries racing in many threads at once can deadlock in the loader. Loading it
  // binds nothing, so it cannot hang on any computer.
  const WorkerApartment apartment;
  try {
    LoadMonikerHandler(kMonikerScheme);
  } catch (const PlatformFailure&) {
    // Each lookup meets the same failure and reports it as its own.
  }
  return Coordinator(plan, stop, progress).Run();
}

}  // namespace quillmark::companion
