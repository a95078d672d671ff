#include "osSyncEventFd.h"

#include <sys/eventfd.h>

#include <cstdint>

#include "rtlExceptions.h"

namespace {

int NewEventFd() {
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) RaiseLastOSError(errno);
  return fd;
}

}  // namespace

TEventFd::TEventFd() : fd(NewEventFd()) {}

// Both leave errno as they found it: callers report the last error of the
// call they made, not of our bookkeeping.
void TEventFd::Raise() {
  const int savedErrno = errno;
  const uint64_t one = 1;
  // The counter cannot overflow in practice; a raised flag stays raised.
  while (::write(fd.Get(), &one, sizeof one) < 0 && errno == EINTR) {
  }
  errno = savedErrno;
}

void TEventFd::Clear() {
  const int savedErrno = errno;
  uint64_t count;
  while (::read(fd.Get(), &count, sizeof count) < 0 && errno == EINTR) {
  }
  errno = savedErrno;
}
