#pragma once
// Asynchronous procedure calls: each thread has a queue of calls that run in
// that thread, in order, at its next alertable wait (which then returns
// WAIT_IO_COMPLETION). A queued call with an empty body is the usual way to
// cut another thread's alertable wait short.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "osSyncEventFd.h"

class TThreadContext;
using TThreadHandle = std::shared_ptr<TThreadContext>;

class TApcQueue {
public:
  // False once the queue's thread has ended.
  bool Queue(std::function<void()> call);
  // Runs the queued calls, also those queued while they run; true when any ran.
  bool RunPending();
  // Polls readable while calls are queued.
  int Fd() const { return ready.Fd(); }
  // At the thread's end: drops the calls still queued and refuses new ones.
  void Close();

private:
  std::mutex mutex;
  std::deque<std::function<void()>> calls;
  bool closed = false;
  TEventFd ready;
};

// Queues call to thread; false for an empty handle or an ended thread.
bool QueueUserAPC(std::function<void()> call, const TThreadHandle& thread);

// Sleeps ms (INFINITE: without limit). Alertable, it returns
// WAIT_IO_COMPLETION as soon as queued calls ran, else 0. On the main
// thread it serves the dispatcher meanwhile.
uint32_t SleepEx(uint32_t ms, bool alertable);
void Sleep(uint32_t ms);
