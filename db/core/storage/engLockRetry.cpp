#include "engLockRetry.h"

#include <algorithm>
#include <random>
#include <vector>

#include "engAssert.h"
#include "osApc.h"

namespace {

// Innermost last: an operation of one session may run inside another's.
thread_local std::vector<TLockWaitSettings> sessionLockWaits;

uint16_t DrawSharedByteNumber() {
  thread_local std::minstd_rand random{std::random_device{}()};
  const uint16_t r = uint16_t(std::uniform_int_distribution<int>(0, 65534)(random));
  return r == 0 ? 1 : r;
}

}  // namespace

int TLockWaitSettings::TriesFor(uint32_t pauseMs) const {
  const int64_t whole = (int64_t(RetryCount) + 1) * WaitTimeMs;
  return int(std::max<int64_t>(1, whole / std::max<uint32_t>(pauseMs, 1)));
}

void EnterSessionLockWait(const TLockWaitSettings& settings) { sessionLockWaits.push_back(settings); }

void LeaveSessionLockWait() {
  ENG_ASSERT(!sessionLockWaits.empty());
  sessionLockWaits.pop_back();
}

bool RetryLock(const std::function<bool()>& tryLock, int tries, uint32_t pauseMs) {
  if (!sessionLockWaits.empty()) tries = sessionLockWaits.back().TriesFor(pauseMs);
  for (int attempt = 1;; ++attempt) {
    if (tryLock()) return true;
    if (attempt >= tries) return false;
    Sleep(pauseMs);
  }
}

bool LockSharedByte(TFileHandler& file, int32_t top, uint16_t& byteNumber) {
  return RetryLock(
      [&] {
        byteNumber = DrawSharedByteNumber();
        return file.LockRange(top - byteNumber, 1, true);
      },
      FileLockTries, FileLockPauseMs);
}
