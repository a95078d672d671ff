#include "engLockRetry.h"

#include <random>

#include "osApc.h"

namespace {

uint16_t DrawSharedByteNumber() {
  thread_local std::minstd_rand random{std::random_device{}()};
  const uint16_t r = uint16_t(std::uniform_int_distribution<int>(0, 65534)(random));
  return r == 0 ? 1 : r;
}

}  // namespace

bool RetryLock(const std::function<bool()>& tryLock, int tries, uint32_t pauseMs) {
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
