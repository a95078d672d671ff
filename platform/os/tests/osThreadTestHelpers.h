#pragma once
// Starting a thread for a test and waiting for its end with a limit.

#include <functional>

#include "osThread.h"

inline constexpr uint32_t TestTimeoutMs = 10000;

inline TThreadHandle StartThread(std::function<void()> body) {
  return CreateThread(
      [body = std::move(body)]() -> uint32_t {
        body();
        return 0;
      },
      false);
}

inline bool Ended(const TThreadHandle& thread) { return WaitForSingleObject(thread.get(), TestTimeoutMs) == WAIT_OBJECT_0; }
