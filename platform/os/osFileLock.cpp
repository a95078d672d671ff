#include "osFileLock.h"

#include <fcntl.h>

#include <cerrno>

namespace {

struct flock Range(short type, off_t offset, off_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = length;
  return lock;  // l_pid stays 0, as these lock commands require
}

OsError SetLock(int fd, struct flock lock) {
  if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return ERROR_SUCCESS;
  return errno == EAGAIN || errno == EACCES ? ERROR_LOCK_VIOLATION : OsErrorFromErrno(errno);
}

}  // namespace

OsError OsTryLockBytes(int fd, OsLockKind kind, off_t offset, off_t length) {
  return SetLock(fd, Range(kind == OsLockKind::Write ? F_WRLCK : F_RDLCK, offset, length));
}

OsError OsUnlockBytes(int fd, off_t offset, off_t length) {
  return SetLock(fd, Range(F_UNLCK, offset, length));
}

OsError OsBytesLockedByOthers(int fd, off_t offset, off_t length, bool& locked) {
  // Asking about a write lock reports readers and writers alike.
  struct flock probe = Range(F_WRLCK, offset, length);
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return OsErrorFromErrno(errno);
  locked = probe.l_type != F_UNLCK;
  return ERROR_SUCCESS;
}
