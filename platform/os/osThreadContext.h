#pragma once
// What the platform keeps per thread: the descriptor that wakes its waits,
// its queue of asynchronous calls, its suspension count, its end (the
// context is signalled once the thread has ended) and the critical sections
// it holds, which are abandoned when it ends holding them.
//
// Threads made by CreateThread get their context from their creator; any
// other thread gets one on first use.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "osApc.h"
#include "osSyncEventFd.h"
#include "osSyncWait.h"

inline constexpr uint32_t STILL_ACTIVE = 259;

class TOsCriticalSection;

class TThreadContext : public TWaitable {
public:
  explicit TThreadContext(uint32_t suspendCount);

  uint32_t Id() const { return id; }
  TEventFd& WakeFd() { return wake; }
  TApcQueue& Apcs() { return apcs; }

  // Each returns the previous count. A running thread stops at its next
  // wait while the count is above 0: no thread is stopped from outside.
  uint32_t Suspend();
  uint32_t Resume();
  void WaitWhileSuspended();

  // Records the exit code, abandons the critical sections still held,
  // drops queued calls and signals the end. Only the first call counts.
  void End(uint32_t exitCode);
  // STILL_ACTIVE until the end.
  uint32_t ExitCode() const;

private:
  friend class TOsCriticalSection;
  // Touched only by the thread itself.
  void NoteLockTaken(TOsCriticalSection* section) { heldLocks.push_back(section); }
  void NoteLockReleased(TOsCriticalSection* section);

  TClaim ClaimLocked(const TThreadContext&) const override { return ended ? TClaim::Signalled : TClaim::None; }

  const uint32_t id;
  TEventFd wake;
  TApcQueue apcs;
  std::atomic<uint32_t> suspendCount;
  std::mutex suspendMutex;
  std::condition_variable resumed;
  bool ended = false;               // under StateLock
  uint32_t exitCode = STILL_ACTIVE;  // under StateLock
  std::vector<TOsCriticalSection*> heldLocks;
};

// The calling thread's context.
TThreadContext& CurrentThreadContext();
// Makes context the calling thread's; it ends with the thread at the latest.
void BindCurrentThread(const TThreadHandle& context);

// The process's first thread, which owns the dispatcher.
bool IsMainThread();
uint32_t GetCurrentThreadId();
