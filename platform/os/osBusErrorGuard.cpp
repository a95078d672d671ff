#include "osBusErrorGuard.h"

#include <setjmp.h>
#include <signal.h>

#include <atomic>
#include <mutex>

namespace {

// A guarded access in progress on this thread: where a bus error returns
// to. Volatile, so that setting and clearing it around the access are not
// merged away or moved across the access's loads and stores.
thread_local sigjmp_buf* volatile guardedAccess = nullptr;
struct sigaction earlierBusAction {};
std::once_flag busHandlerInstalled;

void OnBusError(int signal, siginfo_t* info, void* context) {
  if (sigjmp_buf* resume = guardedAccess) {
    guardedAccess = nullptr;
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
