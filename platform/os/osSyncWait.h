#pragma once
// Waiting on kernel-like objects, with the results and the alertable mode
// of the Windows waits.
//
// Every waitable object keeps the threads that wait on it; a change of
// state raises the waiting thread's wake descriptor. A wait polls that
// descriptor together with:
//  - the thread's asynchronous-call descriptor when the wait is alertable:
//    queued calls run in the waiting thread, first thing, and the wait
//    returns WAIT_IO_COMPLETION;
//  - the main-thread dispatcher's descriptor when the waiting thread is the
//    main thread: pending tasks run (ProcessMessages) and the wait goes on,
//    so a worker blocked in a synchronous call to the main thread is served
//    while the main thread waits for it;
//  - the descriptors of descriptor-backed objects.
// A thread suspended by SuspendThread stops at the start of its next wait.
//
// The last error of a failed wait is errno: EBADF for a missing object,
// EINVAL for a bad object count.

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

inline constexpr uint32_t INFINITE = 0xFFFFFFFF;
inline constexpr uint32_t MAXIMUM_WAIT_OBJECTS = 64;

inline constexpr uint32_t WAIT_OBJECT_0 = 0;
// A critical section whose owner thread ended while holding it.
inline constexpr uint32_t WAIT_ABANDONED_0 = 0x80;
inline constexpr uint32_t WAIT_IO_COMPLETION = 0xC0;
inline constexpr uint32_t WAIT_TIMEOUT = 0x102;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;

class TThreadContext;
class TWaiter;

class TWaitable {
public:
  TWaitable(const TWaitable&) = delete;
  TWaitable& operator=(const TWaitable&) = delete;
  virtual ~TWaitable() = default;

protected:
  TWaitable() = default;

  enum class TClaim { None, Signalled, Abandoned };

  // Guards the subclass's state together with the list of waiters.
  std::mutex& StateLock() const { return stateLock; }
  // Under StateLock: whether taker may take the object now.
  virtual TClaim ClaimLocked(const TThreadContext& taker) const = 0;
  // Under StateLock, after a claim: consumes what the object's kind consumes.
  virtual void TakeLocked(TThreadContext& taker) {}
  // A descriptor that polls readable when the object may have become
  // signalled, or -1.
  virtual int PollDescriptor() const { return -1; }

  // Under StateLock: every waiter tests the object again.
  void WakeWaitersLocked();
  // Under StateLock: ends the waits of up to maxWaiters threads waiting at
  // this moment as if they had taken the object; returns how many.
  size_t GrantWaitersLocked(size_t maxWaiters);

private:
  friend class TWaitPass;
  struct TRegistration {
    TWaiter* waiter;
    uint32_t index;
  };
  mutable std::mutex stateLock;
  std::vector<TRegistration> waiters;
};

// An object signalled while a descriptor polls readable; a wait does not
// read from it. The descriptor stays the caller's.
class TDescriptorWaitable : public TWaitable {
public:
  explicit TDescriptorWaitable(int fd) : fd(fd) {}

private:
  TClaim ClaimLocked(const TThreadContext& taker) const override;
  int PollDescriptor() const override { return fd; }
  const int fd;
};

// The wait itself. Alertable runs the thread's queued asynchronous calls;
// serveDispatcher runs the main thread's pending tasks (main thread only).
// An empty object list waits for the timeout alone.
struct TWaitOptions {
  bool alertable = false;
  bool serveDispatcher = false;
};
uint32_t WaitForObjects(std::span<TWaitable* const> objects, uint32_t timeoutMs, TWaitOptions options);

// The Windows calls: non-alertable unless asked; on the main thread they
// serve the dispatcher.
uint32_t WaitForSingleObject(TWaitable* object, uint32_t timeoutMs);
uint32_t WaitForSingleObjectEx(TWaitable* object, uint32_t timeoutMs, bool alertable);
// Waits for any one of the objects (there is no wait for all); the result is
// WAIT_OBJECT_0 or WAIT_ABANDONED_0 plus the index of the object taken.
uint32_t WaitForMultipleObjectsEx(std::span<TWaitable* const> objects, uint32_t timeoutMs, bool alertable);
