#include "splWait.h"

#include <poll.h>

#include <cerrno>

ChangeWait WaitForPrinterChange(TSpooler& Spooler, ChangeHandle Change, int TimeoutMs, int WakeFd) {
  const int changeFd = Spooler.ChangeNotificationFd(Change);
  if (changeFd < 0) return ChangeWait::Failed;
  pollfd fds[2] = {{WakeFd, POLLIN, 0}, {changeFd, POLLIN, 0}};
  pollfd* first = WakeFd >= 0 ? fds : fds + 1;
  const nfds_t count = WakeFd >= 0 ? 2 : 1;
  for (;;) {
    const int n = ::poll(first, count, TimeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ChangeWait::Failed;
    if (n == 0) return ChangeWait::TimedOut;
    if (WakeFd >= 0 && fds[0].revents) return ChangeWait::Woken;
    return ChangeWait::Changed;
  }
}

bool IsChangeSignalled(TSpooler& Spooler, ChangeHandle Change) {
  return WaitForPrinterChange(Spooler, Change, 0, -1) == ChangeWait::Changed;
}
