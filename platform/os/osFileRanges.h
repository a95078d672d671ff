#pragma once
// The ranges this process holds locked on one shared descriptor. The kernel
// lets a description lock over its own locks (merging or splitting them), so
// overlap and exact unlocking are checked here first, which gives the
// Windows behaviour inside one process as well.

#include <sys/types.h>

#include <mutex>
#include <vector>

#include "osFileLock.h"

class OsFileRangeTable {
public:
  // ERROR_LOCK_VIOLATION when the range overlaps one held here or another
  // process's lock; ERROR_INVALID_PARAMETER for an empty or negative range
  // or one that reaches past kOsShareLockOffset.
  [[nodiscard]] OsError Lock(int fd, OsLockKind kind, off_t offset, off_t length);
  // ERROR_NOT_LOCKED unless a held range has exactly this start and length.
  [[nodiscard]] OsError Unlock(int fd, off_t offset, off_t length);
  // Unlocks adjacent held ranges that together cover exactly this span, in
  // one call; ERROR_NOT_LOCKED (nothing released) when the held ranges
  // leave a gap in it or reach past either end.
  [[nodiscard]] OsError UnlockRun(int fd, off_t offset, off_t length);

private:
  struct Range {
    off_t offset;
    off_t length;
  };

  std::mutex mutex;
  std::vector<Range> held;
};
