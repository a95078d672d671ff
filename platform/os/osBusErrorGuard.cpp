#include "osBusErrorGuard.h"

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace {

// A guarded access in progress on this thread: where a bus error returns
// to. Volatile, so that setting and clearing it around the access are not
// merged away or moved across the access's loads and stores.
thread_local sigjmp_buf* volatile guardedAccess = nullptr;
struct sigaction earlierBusAction {};
std::once_flag busHandlerInstalled;

// The watched mappings. The handler reads them without a lock, so each is
// written under a sequence count, odd while it changes: the handler takes
// a range only when the count was even and the same before and after.
struct TWatch {
  std::atomic<bool> taken{false};
  std::atomic<uint32_t> sequence{0};
  std::atomic<uintptr_t> start{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> faulted{false};
};
constexpr int MostWatched = 1024;
TWatch watches[MostWatched];
static_assert(std::atomic<uintptr_t>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free);

// Set before the handler is installed (the page size is asked outside it).
std::atomic<uintptr_t> pageBytes{0};

void SetWatchRange(TWatch& watch, uintptr_t start, uintptr_t end) {
  watch.sequence.fetch_add(1, std::memory_order_acq_rel);
  watch.start.store(start, std::memory_order_relaxed);
  watch.end.store(end, std::memory_order_relaxed);
  watch.faulted.store(false, std::memory_order_relaxed);
  watch.sequence.fetch_add(1, std::memory_order_release);
}

// Zeros over the faulting page of a watched mapping; false when the
// address is in none or the page could not be replaced.
bool ZeroWatchedPage(uintptr_t address) {
  for (TWatch& watch : watches) {
    const uint32_t before = watch.sequence.load(std::memory_order_acquire);
    if (before % 2 != 0) continue;
    const uintptr_t start = watch.start.load(std::memory_order_relaxed);
    const uintptr_t end = watch.end.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (watch.sequence.load(std::memory_order_relaxed) != before) continue;
    if (address < start || address >= end) continue;
    const uintptr_t page = pageBytes.load(std::memory_order_relaxed);
    void* zeros = reinterpret_cast<void*>(address / page * page);
    if (mmap(zeros, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) return false;
    watch.faulted.store(true, std::memory_order_release);
    return true;
  }
  return false;
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  if (sigjmp_buf* resume = guardedAccess) {
    guardedAccess = nullptr;
    siglongjmp(*resume, 1);
  }
  const int savedErrno = errno;
  const bool zeroed = info && ZeroWatchedPage(reinterpret_cast<uintptr_t>(info->si_addr));
  errno = savedErrno;
  // Returning runs the access again, on the zeros.
  if (zeroed) return;
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
  pageBytes.store(uintptr_t(sysconf(_SC_PAGESIZE)), std::memory_order_relaxed);
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  // Not deferred: the jump out of the handler leaves the signal unblocked.
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &earlierBusAction);
}

}  // namespace

bool OsGuardBusErrors(void (*access)(void* context), void* context) {
  std::call_once(busHandlerInstalled, InstallBusHandler);
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
  guardedAccess = &resume;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  access(context);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  guardedAccess = nullptr;
  return true;
}

int OsWatchMapping(const void* start, size_t length) {
  std::call_once(busHandlerInstalled, InstallBusHandler);
  for (int i = 0; i < MostWatched; ++i) {
    TWatch& watch = watches[i];
    if (watch.taken.load(std::memory_order_relaxed) || watch.taken.exchange(true, std::memory_order_acquire)) continue;
    const auto from = reinterpret_cast<uintptr_t>(start);
    SetWatchRange(watch, from, from + length);
    return i;
  }
  return -1;
}

void OsUnwatchMapping(int watch) {
  if (watch < 0) return;
  SetWatchRange(watches[watch], 0, 0);
  watches[watch].taken.store(false, std::memory_order_release);
}

bool OsWatchedMappingFaulted(int watch) {
  return watch >= 0 && watches[watch].faulted.load(std::memory_order_acquire);
}
