#pragma once
// The one main-thread dispatcher: other threads hand it work that must run
// on the main thread (the process's first thread).
//
// Who serves it: the application's event loop, watching EventFd and calling
// ProcessPending; tests, calling ProcessPending by hand; and every wait of
// the main thread (see osSyncWait.h), so that a main thread waiting for a
// worker never deadlocks with a worker waiting for the main thread.

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "osSyncEventFd.h"

class TMainDispatcher {
public:
  TMainDispatcher() = default;
  TMainDispatcher(const TMainDispatcher&) = delete;
  TMainDispatcher& operator=(const TMainDispatcher&) = delete;

  // Polls readable while tasks are pending.
  int EventFd() const { return ready.Fd(); }

  // Queues task from any thread. Posted tasks run inside other code's
  // waits, so they must not throw: one that does ends the program.
  void Post(std::function<void()> task);

  // Runs task on the main thread and returns once it ran; its exception is
  // raised again here. On the main thread it runs at once. The calling
  // thread waits without running its asynchronous calls: a call queued
  // meanwhile stays queued and cuts its next alertable wait short, so no
  // wake-up is lost.
  void Send(std::function<void()> task);

  // On the main thread: runs the tasks pending at entry, in order, and
  // returns how many ran. Elsewhere it runs nothing and returns 0.
  size_t ProcessPending();

private:
  std::mutex mutex;
  std::deque<std::function<void()>> tasks;
  TEventFd ready;
};

// The process's dispatcher; it lives as long as the process.
TMainDispatcher& MainDispatcher();

// On the main thread: the dispatcher's pending tasks, then the hook that
// the window layer installs to serve its own events. Elsewhere nothing.
void ProcessMessages();
// Main thread only; an empty hook removes it.
void SetProcessMessagesHook(std::function<void()> hook);
