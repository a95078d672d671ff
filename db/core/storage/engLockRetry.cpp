#include "engLockRetry.h"

#include <algorithm>
#include <chrono>
#include <numeric>
#include <random>
#include <thread>

#include "rtlAssert.h"
#include "osApc.h"

namespace {

// The innermost install of this thread, nullptr while none is: an
// operation of one session may run inside another's.
thread_local const TSessionLockWait* innermostLockWait = nullptr;

uint16_t DrawSharedByteNumber() {
  thread_local std::minstd_rand random{std::random_device{}()};
  const uint16_t r = uint16_t(std::uniform_int_distribution<int>(0, 65534)(random));
  return r == 0 ? 1 : r;
}

constexpr uint32_t EarlyTriesUs = std::accumulate(std::begin(EarlyTryWaitsUs), std::end(EarlyTryWaitsUs), 0u);
static_assert(EarlyTriesUs == 1000, "the early tries fill a pause's first millisecond");

// One pause between two counted tries, with or without early tries; true
// when an early try got the lock. The pause's rest is the ordinary sleep,
// which serves the main thread's dispatcher.
bool Pause(TLockTry tryLock, uint32_t pauseMs, bool earlyTries) {
  if (earlyTries && pauseMs >= EarlyTriesUs / 1000) {
    for (const uint32_t waitUs : EarlyTryWaitsUs) {
      std::this_thread::sleep_for(std::chrono::microseconds(waitUs));
      if (tryLock()) return true;
    }
    pauseMs -= EarlyTriesUs / 1000;
  }
  Sleep(pauseMs);
  return false;
}

bool Retry(TLockTry tryLock, int tries, uint32_t pauseMs, bool earlyTries) {
  // Mostly the first try gets the lock; only a wait needs the bound.
  if (tryLock()) return true;
  if (innermostLockWait) tries = innermostLockWait->Settings().TriesFor(pauseMs);
  for (int attempt = 1; attempt < tries; ++attempt) {
    if (Pause(tryLock, pauseMs, earlyTries) || tryLock()) return true;
  }
  return false;
}

}  // namespace

int TLockWaitSettings::TriesFor(uint32_t pauseMs) const {
  const int64_t whole = (int64_t(RetryCount) + 1) * WaitTimeMs;
  return int(std::max<int64_t>(1, whole / std::max<uint32_t>(pauseMs, 1)));
}

void TSessionLockWait::Enter(const TLockWaitSettings& given) {
  ORV_ASSERT(innermostLockWait != this);
  // Field by field: the caller has just stored them one by one, and a copy
  // of the whole (padded) struct would wait for those stores to drain.
  settings.RetryCount = given.RetryCount;
  settings.WaitTimeMs = given.WaitTimeMs;
  outer = innermostLockWait;
  innermostLockWait = this;
}

void TSessionLockWait::Leave() {
  ORV_ASSERT(innermostLockWait == this);
  innermostLockWait = outer;
}

bool RetryLock(TLockTry tryLock, int tries, uint32_t pauseMs) {
  return Retry(tryLock, tries, pauseMs, false);
}

bool RetryLockEarly(TLockTry tryLock, int tries, uint32_t pauseMs) {
  return Retry(tryLock, tries, pauseMs, true);
}

bool LockSharedByte(TFileHandler& file, int32_t top, uint16_t& byteNumber) {
  return RetryLockEarly(
      [&] {
        byteNumber = DrawSharedByteNumber();
        return file.LockRange(top - byteNumber, 1, true);
      },
      FileLockTries, FileLockPauseMs);
}
