// The lock that guards the stand-in's process-wide state, which bindings on many threads share.
#pragma once

#include <windows.h>

namespace standin {

// A slim reader/writer lock used exclusively; usable with std::lock_guard. It needs no set-up or
// clean-up, so a lock at namespace scope is ready before any thread can reach it.
class ExclusiveLock {
 public:
  constexpr ExclusiveLock() = default;
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

  void lock() { AcquireSRWLockExclusive(&lock_); }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace standin
