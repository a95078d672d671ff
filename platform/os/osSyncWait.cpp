#include "osSyncWait.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>

#include "osApc.h"
#include "osDispatcher.h"
#include "osThreadContext.h"

// One thread's part in one wait. Its registrations never outlive the pass
// that made them, so nested waits (a task run while waiting) get their own.
class TWaiter {
public:
  explicit TWaiter(TThreadContext& context) : context(context) {}

  // The first claim wins: an object taken by the waiter itself, or one
  // granted to it by another thread.
  bool TryClaim(uint32_t index) {
    int64_t none = -1;
    return claimed.compare_exchange_strong(none, index);
  }
  int64_t Claimed() const { return claimed.load(); }
  void Wake() { context.WakeFd().Raise(); }

  TThreadContext& context;

private:
  std::atomic<int64_t> claimed{-1};
};

void TWaitable::WakeWaitersLocked() {
  for (const TRegistration& entry : waiters) entry.waiter->Wake();
}

size_t TWaitable::GrantWaitersLocked(size_t maxWaiters) {
  size_t granted = 0;
  for (const TRegistration& entry : waiters) {
    if (granted == maxWaiters) break;
    if (entry.waiter->TryClaim(entry.index)) {
      entry.waiter->Wake();
      ++granted;
    }
  }
  return granted;
}

namespace {

bool PollsReadable(int fd) {
  pollfd probe{fd, POLLIN, 0};
  return ::poll(&probe, 1, 0) > 0 && (probe.revents & POLLIN) != 0;
}

class TDeadline {
public:
  explicit TDeadline(uint32_t timeoutMs) {
    if (timeoutMs != INFINITE) end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  }
  bool Passed() const { return end && Clock::now() >= *end; }
  // Null for no limit; points into this object.
  const timespec* Remaining() {
    if (!end) return nullptr;
    const auto left = std::max(Clock::duration::zero(), *end - Clock::now());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    remaining.tv_sec = seconds.count();
    remaining.tv_nsec = std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count();
    return &remaining;
  }

private:
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> end;
  timespec remaining{};
};

struct TPollOutcome {
  bool failed = false;
  int error = 0;
  bool dispatcherReady = false;
};

}  // namespace

TWaitable::TClaim TDescriptorWaitable::ClaimLocked(const TThreadContext&) const {
  return PollsReadable(fd) ? TClaim::Signalled : TClaim::None;
}

// Tests the objects in order under their locks and registers the waiter
// with each one it passes, so that no change after the test goes unseen.
class TWaitPass {
public:
  TWaitPass(std::span<TWaitable* const> objects, TWaiter& waiter) : objects(objects), waiter(waiter) {}
  ~TWaitPass() {
    for (size_t i = 0; i < registered; ++i) {
      TWaitable& object = *objects[i];
      std::lock_guard guard(object.stateLock);
      std::erase_if(object.waiters, [this](const TWaitable::TRegistration& entry) { return entry.waiter == &waiter; });
    }
  }

  void Run() {
    for (uint32_t i = 0; i < objects.size(); ++i) {
      TWaitable& object = *objects[i];
      std::lock_guard guard(object.stateLock);
      if (waiter.Claimed() >= 0) return;
      const TWaitable::TClaim claim = object.ClaimLocked(waiter.context);
      if (claim != TWaitable::TClaim::None) {
        if (waiter.TryClaim(i)) {
          object.TakeLocked(waiter.context);
          taken = i;
          abandoned = claim == TWaitable::TClaim::Abandoned;
        }
        return;
      }
      object.waiters.push_back({&waiter, i});
      registered = i + 1;
    }
  }

  // Descriptors of descriptor-backed objects, for the blocking poll.
  void AddDescriptors(std::vector<pollfd>& fds) const {
    for (TWaitable* object : objects) {
      if (const int fd = object->PollDescriptor(); fd >= 0) fds.push_back({fd, POLLIN, 0});
    }
  }

  std::optional<uint32_t> taken;
  bool abandoned = false;

private:
  std::span<TWaitable* const> objects;
  TWaiter& waiter;
  size_t registered = 0;
};

namespace {

TPollOutcome Block(TThreadContext& self, const TWaitPass& pass, TWaitOptions options, TDeadline& deadline) {
  std::vector<pollfd> fds;
  fds.push_back({self.WakeFd().Fd(), POLLIN, 0});
  if (options.alertable) fds.push_back({self.Apcs().Fd(), POLLIN, 0});
  const size_t dispatcherSlot = fds.size();
  if (options.serveDispatcher) fds.push_back({MainDispatcher().EventFd(), POLLIN, 0});
  pass.AddDescriptors(fds);
  TPollOutcome outcome;
  if (::ppoll(fds.data(), fds.size(), deadline.Remaining(), nullptr) < 0 && errno != EINTR) {
    outcome.failed = true;
    outcome.error = errno;
    return outcome;
  }
  self.WakeFd().Clear();
  outcome.dispatcherReady = options.serveDispatcher && (fds[dispatcherSlot].revents & POLLIN) != 0;
  return outcome;
}

}  // namespace

uint32_t WaitForObjects(std::span<TWaitable* const> objects, uint32_t timeoutMs, TWaitOptions options) {
  if (objects.size() > MAXIMUM_WAIT_OBJECTS) {
    errno = EINVAL;
    return WAIT_FAILED;
  }
  if (std::find(objects.begin(), objects.end(), nullptr) != objects.end()) {
    errno = EBADF;
    return WAIT_FAILED;
  }
  // Only the main thread serves; elsewhere the ready dispatcher would spin.
  options.serveDispatcher = options.serveDispatcher && IsMainThread();
  TThreadContext& self = CurrentThreadContext();
  self.WaitWhileSuspended();
  TDeadline deadline(timeoutMs);
  for (;;) {
    if (options.alertable && self.Apcs().RunPending()) return WAIT_IO_COMPLETION;
    TWaiter waiter(self);
    TPollOutcome polled;
    bool abandoned = false;
    {
      TWaitPass pass(objects, waiter);
      pass.Run();
      if (waiter.Claimed() < 0 && !deadline.Passed()) polled = Block(self, pass, options, deadline);
      abandoned = pass.taken && pass.abandoned;
    }
    // Read only now that the waiter is unregistered: a grant made up to
    // this point is honoured, none can come later.
    if (const int64_t claimed = waiter.Claimed(); claimed >= 0) {
      return (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + static_cast<uint32_t>(claimed);
    }
    if (polled.failed) {
      errno = polled.error;
      return WAIT_FAILED;
    }
    if (polled.dispatcherReady) ProcessMessages();
    if (deadline.Passed()) return WAIT_TIMEOUT;
  }
}

uint32_t WaitForSingleObject(TWaitable* object, uint32_t timeoutMs) {
  return WaitForSingleObjectEx(object, timeoutMs, false);
}

uint32_t WaitForSingleObjectEx(TWaitable* object, uint32_t timeoutMs, bool alertable) {
  return WaitForMultipleObjectsEx({&object, 1}, timeoutMs, alertable);
}

uint32_t WaitForMultipleObjectsEx(std::span<TWaitable* const> objects, uint32_t timeoutMs, bool alertable) {
  if (objects.empty()) {
    errno = EINVAL;
    return WAIT_FAILED;
  }
  return WaitForObjects(objects, timeoutMs, {alertable, IsMainThread()});
}
