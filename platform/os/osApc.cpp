#include "osApc.h"

#include "osSyncWait.h"
#include "osThreadContext.h"

bool TApcQueue::Queue(std::function<void()> call) {
  std::lock_guard guard(mutex);
  if (closed) return false;
  calls.push_back(std::move(call));
  ready.Raise();
  return true;
}

bool TApcQueue::RunPending() {
  bool ran = false;
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard guard(mutex);
      if (calls.empty()) {
        ready.Clear();
        return ran;
      }
      call = std::move(calls.front());
      calls.pop_front();
    }
    if (call) call();
    ran = true;
  }
}

void TApcQueue::Close() {
  std::deque<std::function<void()>> dropped;
  std::lock_guard guard(mutex);
  closed = true;
  dropped.swap(calls);
  ready.Clear();
}

bool QueueUserAPC(std::function<void()> call, const TThreadHandle& thread) {
  return thread && thread->Apcs().Queue(std::move(call));
}

uint32_t SleepEx(uint32_t ms, bool alertable) {
  const uint32_t result = WaitForObjects({}, ms, {alertable, IsMainThread()});
  return result == WAIT_IO_COMPLETION ? result : 0;
}

void Sleep(uint32_t ms) { SleepEx(ms, false); }
