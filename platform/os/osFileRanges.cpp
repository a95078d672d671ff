#include "osFileRanges.h"

#include <algorithm>

OsError OsFileRangeTable::Lock(int fd, OsLockKind kind, off_t offset, off_t length) {
  if (offset < 0 || length < 1 || length > kOsShareLockOffset - offset) return ERROR_INVALID_PARAMETER;
  std::lock_guard guard(mutex);
  const bool overlaps = std::any_of(held.begin(), held.end(), [&](const Range& range) {
    return offset < range.offset + range.length && range.offset < offset + length;
  });
  if (overlaps) return ERROR_LOCK_VIOLATION;
  const OsError error = OsTryLockBytes(fd, kind, offset, length);
  if (error == ERROR_SUCCESS) held.push_back({offset, length});
  return error;
}

OsError OsFileRangeTable::Unlock(int fd, off_t offset, off_t length) {
  std::lock_guard guard(mutex);
  const auto match = std::find_if(held.begin(), held.end(), [&](const Range& range) {
    return range.offset == offset && range.length == length;
  });
  if (match == held.end()) return ERROR_NOT_LOCKED;
  const OsError error = OsUnlockBytes(fd, offset, length);
  if (error == ERROR_SUCCESS) held.erase(match);
  return error;
}

OsError OsFileRangeTable::UnlockRun(int fd, off_t offset, off_t length) {
  // A length of 0 would unlock to the end of the file, the share byte too.
  if (length < 1) return ERROR_NOT_LOCKED;
  std::lock_guard guard(mutex);
  // Held ranges never overlap, so ranges inside the span whose lengths add
  // up to the span's cover it without a gap.
  off_t covered = 0;
  for (const Range& range : held) {
    if (range.offset + range.length <= offset || offset + length <= range.offset) continue;
    if (range.offset < offset || offset + length < range.offset + range.length) return ERROR_NOT_LOCKED;
    covered += range.length;
  }
  if (covered != length) return ERROR_NOT_LOCKED;
  const OsError error = OsUnlockBytes(fd, offset, length);
  if (error == ERROR_SUCCESS)
    std::erase_if(held, [&](const Range& range) { return offset <= range.offset && range.offset < offset + length; });
  return error;
}
