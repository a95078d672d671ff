#pragma once
// Waiting in tests: for a condition or a thread's end, always with a
// limit, never a fixed sleep. The kit of every layer above the os layer.

#include <functional>

#include "osSyncTicks.h"
#include "osSyncWait.h"
#include "osThread.h"
#include "osThreadContext.h"

inline constexpr uint32_t TestTimeoutMs = 10000;

// True once condition holds; false when limitMs pass first. Between looks
// the main thread serves its dispatcher (so work posted to it goes on);
// another thread waits a moment.
inline bool WaitUntil(const std::function<bool()>& condition, uint32_t limitMs = TestTimeoutMs) {
  constexpr uint32_t LookIntervalMs = 2;
  const uint32_t start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > limitMs) return false;
    WaitForObjects({}, LookIntervalMs, TWaitOptions{.serveDispatcher = IsMainThread()});
  }
  return true;
}

inline TThreadHandle StartThread(std::function<void()> body) {
  return CreateThread(
      [body = std::move(body)]() -> uint32_t {
        body();
        return 0;
      },
      false);
}

inline bool Ended(const TThreadHandle& thread) { return WaitForSingleObject(thread.get(), TestTimeoutMs) == WAIT_OBJECT_0; }
