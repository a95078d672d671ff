#include "osThreadContext.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "osSyncCriticalSection.h"

namespace {

std::atomic<uint32_t> gLastThreadId{0};

// Keeps a thread's context alive until the thread's own end, and ends it
// there when nobody did before.
struct TContextBinding {
  TThreadHandle context;
  ~TContextBinding() {
    if (context) context->End(0);
  }
};

thread_local TThreadContext* tCurrent = nullptr;
thread_local TContextBinding tBinding;

}  // namespace

TThreadContext::TThreadContext(uint32_t suspendCount) : id(++gLastThreadId), suspendCount(suspendCount) {}

uint32_t TThreadContext::Suspend() {
  std::lock_guard guard(suspendMutex);
  return suspendCount++;
}

uint32_t TThreadContext::Resume() {
  std::lock_guard guard(suspendMutex);
  const uint32_t previous = suspendCount;
  if (previous > 0 && --suspendCount == 0) resumed.notify_all();
  return previous;
}

void TThreadContext::WaitWhileSuspended() {
  if (suspendCount.load() == 0) return;
  std::unique_lock guard(suspendMutex);
  resumed.wait(guard, [this] { return suspendCount.load() == 0; });
}

void TThreadContext::End(uint32_t code) {
  {
    std::lock_guard guard(StateLock());
    if (ended) return;
  }
  apcs.Close();
  for (TOsCriticalSection* section : std::exchange(heldLocks, {})) section->AbandonBy(*this);
  std::lock_guard guard(StateLock());
  exitCode = code;
  ended = true;
  WakeWaitersLocked();
}

uint32_t TThreadContext::ExitCode() const {
  std::lock_guard guard(StateLock());
  return exitCode;
}

void TThreadContext::NoteLockReleased(TOsCriticalSection* section) {
  // Sections are left in the reverse order of entering as a rule.
  const auto found = std::find(heldLocks.rbegin(), heldLocks.rend(), section);
  if (found != heldLocks.rend()) heldLocks.erase(std::next(found).base());
}

bool IsMainThread() { return ::syscall(SYS_gettid) == ::getpid(); }

TThreadContext& CurrentThreadContext() {
  if (tCurrent) return *tCurrent;
  if (IsMainThread()) {
    // Never freed: waits at the process's end still need it.
    static TThreadContext* const mainContext = new TThreadContext(0);
    tCurrent = mainContext;
  } else {
    BindCurrentThread(std::make_shared<TThreadContext>(0));
  }
  return *tCurrent;
}

void BindCurrentThread(const TThreadHandle& context) {
  tBinding.context = context;
  tCurrent = context.get();
}

uint32_t GetCurrentThreadId() { return CurrentThreadContext().Id(); }
