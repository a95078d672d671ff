#pragma once
// The one process-wide session lock that serialises every engine call the
// components make. It is re-entrant and taken on every call; each thread
// counts its own depth per session, so a second thread always waits for
// the lock instead of mistaking another thread's nesting for its own.

#include <mutex>

class TMDBSession;

class TMDBSessionLock {
public:
  static TMDBSessionLock& Instance();

  void Enter() { mutex.lock(); }
  void Leave() { mutex.unlock(); }

  // The calling thread's nesting on behalf of session, after the change;
  // called with the lock held.
  static int IncrementDepth(const TMDBSession* session);
  static int DecrementDepth(const TMDBSession* session);

  // Sessions one thread may hold nested at once.
  static constexpr int MaxNestedSessions = 16;

private:
  TMDBSessionLock() = default;
  std::recursive_mutex mutex;
};

// Enter on construction, leave on every way out.
class TMDBSessionLockGuard {
public:
  TMDBSessionLockGuard() { TMDBSessionLock::Instance().Enter(); }
  ~TMDBSessionLockGuard() { TMDBSessionLock::Instance().Leave(); }
  TMDBSessionLockGuard(const TMDBSessionLockGuard&) = delete;
  TMDBSessionLockGuard& operator=(const TMDBSessionLockGuard&) = delete;
};
