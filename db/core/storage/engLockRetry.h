#pragma once
// Byte-range locks are tried, never waited on: a lock that another holder
// has is tried again after a pause, a bounded number of times.

#include <cstdint>
#include <functional>

#include "engFileHandler.h"

// The tries and pause of the files' own header, exclusive and shared locks.
inline constexpr int FileLockTries = 8193;
inline constexpr uint32_t FileLockPauseMs = 3;

// Calls tryLock until it returns true, at most tries times (once at the
// least), pausing pauseMs between two tries; false when every try failed.
bool RetryLock(const std::function<bool()>& tryLock, int tries, uint32_t pauseMs);

// Locks one byte just below top, top - byteNumber with byteNumber drawn
// anew (1 to 65534) on each of the files' tries, so that shared holders
// rarely meet on one byte. byteNumber keeps the drawn number for the unlock.
bool LockSharedByte(TFileHandler& file, int32_t top, uint16_t& byteNumber);
