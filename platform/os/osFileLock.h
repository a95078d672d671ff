#pragma once
// Open-file-description byte-range locks. They belong to one open file
// description rather than to the process, so closing another descriptor of
// the same file never drops them, and they vanish when the last descriptor of
// their description closes, also when the process dies. Only the
// non-blocking form is used: callers retry by their own rules.

#include <sys/types.h>

#include "osErrors.h"

static_assert(sizeof(off_t) == 8, "lock offsets above 2 GB need a 64-bit off_t");

// The byte that carries the share mode, one above every range the engine
// locks; engine ranges must end at or below it.
inline constexpr off_t kOsShareLockOffset = 0x80000000;

enum class OsLockKind { Read, Write };

// ERROR_LOCK_VIOLATION when another description holds a conflicting lock.
[[nodiscard]] OsError OsTryLockBytes(int fd, OsLockKind kind, off_t offset, off_t length);
[[nodiscard]] OsError OsUnlockBytes(int fd, off_t offset, off_t length);

// Whether a description other than fd's holds any lock that overlaps the range.
[[nodiscard]] OsError OsBytesLockedByOthers(int fd, off_t offset, off_t length, bool& locked);
