#include "osFileHead.h"

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "osFileSystem.h"

namespace {

// A guarded read in progress on this thread: where a bus error returns to.
// Volatile, so that setting and clearing it around the read are not merged
// away or moved across the read's loads.
thread_local sigjmp_buf* volatile guardedRead = nullptr;
struct sigaction earlierBusAction {};
std::once_flag busHandlerInstalled;

void OnBusError(int signal, siginfo_t* info, void* context) {
  if (sigjmp_buf* resume = guardedRead) {
    guardedRead = nullptr;
    siglongjmp(*resume, 1);
  }
  // Not ours: as if this handler had never been installed. Restoring the
  // default and returning faults again, which then ends the process.
  if (earlierBusAction.sa_flags & SA_SIGINFO) {
    earlierBusAction.sa_sigaction(signal, info, context);
  } else if (earlierBusAction.sa_handler == SIG_DFL) {
    ::signal(signal, SIG_DFL);
  } else if (earlierBusAction.sa_handler != SIG_IGN) {
    earlierBusAction.sa_handler(signal);
  }
}

void InstallBusHandler() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  // Not deferred: the jump out of the handler leaves the signal unblocked.
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &earlierBusAction);
}

}  // namespace

OsFileHead::~OsFileHead() { Unmap(); }

OsFileHeadMap OsFileHead::Map(int fd) {
  Unmap();
  if (!OsLocalFileSystemOf(fd)) return OsFileHeadMap::Unavailable;
  struct stat status {};
  if (fstat(fd, &status) != 0) return OsFileHeadMap::Unavailable;
  if (status.st_size == 0) return OsFileHeadMap::Empty;
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  void* mapped = mmap(nullptr, page, PROT_READ, MAP_SHARED, fd, 0);
  if (mapped == MAP_FAILED) return OsFileHeadMap::Unavailable;
  std::call_once(busHandlerInstalled, InstallBusHandler);
  base = static_cast<const uint8_t*>(mapped);
  length = page;
  return OsFileHeadMap::Mapped;
}

void OsFileHead::Unmap() {
  if (base) munmap(const_cast<uint8_t*>(base), length);
  base = nullptr;
  length = 0;
}

bool OsFileHead::Read(void* buffer, size_t count) const {
  if (!base || count > length) return false;
  sigjmp_buf resume;
  if (sigsetjmp(resume, 0) != 0) {
    // Back from the handler by a jump: the signal may still be blocked
    // (a handler installed in front of ours need not defer it), and a bus
    // error that comes while it is blocked ends the process.
    sigset_t bus;
    sigemptyset(&bus);
    sigaddset(&bus, SIGBUS);
    pthread_sigmask(SIG_UNBLOCK, &bus, nullptr);
    return false;
  }
  guardedRead = &resume;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  // Byte by byte through volatile, so that every load of the page happens
  // while the guard is set.
  const volatile uint8_t* from = base;
  uint8_t* to = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < count; ++i) to[i] = from[i];
  std::atomic_signal_fence(std::memory_order_seq_cst);
  guardedRead = nullptr;
  return true;
}
