#include "BaseThread.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <utility>

#include "osApc.h"
#include "osDispatcher.h"
#include "rtlAssert.h"
#include "rtlFormat.h"

// What the thread's body and an abandoning thread still reach once the
// object may be gone.
struct TBaseThread::TShared {
  enum TLife { Running, Ended, Abandoned };

  explicit TShared(TBaseThread* owner) : thread(owner) {}
  // Null when the object was freed before its thread started.
  std::atomic<TBaseThread*> thread;
  std::atomic<TLife> life{Running};
  std::atomic<bool> counted{false};
};

namespace {

int32_t gSequence = 0;  // under the running-thread counter's lock

// Never freed: a thread may route an exception while the process ends.
struct TAppHandler {
  std::mutex mutex;
  TThreadExceptionEvent handler;
};
TAppHandler& AppHandler() {
  static auto* const appHandler = new TAppHandler;
  return *appHandler;
}

int32_t RegisterBaseThread() {
  TIntCriticalSection& counter = RunningThreads();
  counter.EnterPumping();
  if (counter.GetValue() == 0) {
    NoThreadsEvent().ResetEvent();
    AppTerminateEvent().ResetEvent();
  }
  counter.Inc();
  const int32_t sequence = ++gSequence;
  counter.Release();
  return sequence;
}

void UnregisterBaseThread() {
  TIntCriticalSection& counter = RunningThreads();
  counter.EnterPumping();
  counter.Dec();
  if (counter.GetValue() == 0) NoThreadsEvent().SetEvent();
  counter.Release();
}

void UnregisterOnce(std::atomic<bool>& counted) {
  if (counted.exchange(false)) UnregisterBaseThread();
}

void ShowException(const Exception& e) { std::fprintf(stderr, "%s\n", e.Message.c_str()); }

// Hands the exception to handler as an Exception, whatever was thrown.
template <class THandler>
void WithException(const std::exception_ptr& error, THandler handler) {
  try {
    std::rethrow_exception(error);
  } catch (EAbort&) {
  } catch (Exception& e) {
    handler(e);
  } catch (std::exception& e) {
    Exception wrapped(e.what());
    handler(wrapped);
  } catch (...) {
    Exception wrapped("Unknown exception");
    handler(wrapped);
  }
}

}  // namespace

void WakeApc() {}

void SetApplicationExceptionHandler(TThreadExceptionEvent handler) {
  TAppHandler& app = AppHandler();
  std::lock_guard guard(app.mutex);
  app.handler = std::move(handler);
}

TBaseThread::TBaseThread() : shared(std::make_shared<TShared>(this)) {
  handle = CreateThread(
      [shared = shared]() -> uint32_t {
        TBaseThread* thread = shared->thread.load();
        return thread ? ThreadProc(thread) : 0;
      },
      true);
  if (!handle) throw ECTHREADS_OUTOFRESOURCES(SCannotCreateThread);
  sequence = RegisterBaseThread();
  shared->counted = true;
}

TBaseThread::~TBaseThread() {
  if (!started) {
    // The body never ran: let the held thread end without it.
    shared->thread = nullptr;
    ResumeThread(handle);
  }
  handle.reset();
  UnregisterOnce(shared->counted);
}

void TBaseThread::AfterConstruction(bool createSuspended) {
  try {
    Initialize();
  } catch (...) {
    Free();
    throw;
  }
  if (!createSuspended) Resume();
}

uint32_t TBaseThread::ThreadProc(TBaseThread* thread) {
  // Run routes the body's exceptions; one escaping here came from a handler
  // and must not end the process.
  const auto report = [] { WithException(std::current_exception(), ShowException); };
  try {
    thread->Run();
  } catch (...) {
    report();
  }
  const uint32_t result = thread->ReturnValue;
  const bool freeOnTerminate = thread->FreeOnTerminate;
  if (thread->shared->life.exchange(TShared::Ended) == TShared::Abandoned || freeOnTerminate) {
    try {
      thread->Free();
    } catch (...) {
      report();
    }
  }
  return result;
}

void TBaseThread::Free() {
  struct TDeleteAtEnd {
    TBaseThread* thread;
    ~TDeleteAtEnd() { delete thread; }
  } deleteAtEnd{this};
  state = tsDestroying;
  DoTerminate();
}

void TBaseThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

void TBaseThread::Run() {
  if (Terminated()) return;
  try {
    DoStart();
    try {
      if (!Terminated()) {
        if (UseTimedLoop) {
          RunTimedLoop();
        } else {
          Execute();
        }
      }
    } catch (...) {
      DoFinish();
      throw;
    }
    DoFinish();
  } catch (...) {
    HandleException();
  }
}

void TBaseThread::HandleException() {
  if (!PendingException) PendingException = std::current_exception();
  if (!PendingException) return;
  const std::exception_ptr error = std::exchange(PendingException, nullptr);
  WithException(error, [this](Exception& e) { DoHandleException(e); });
}

void RouteToApplication(TBaseThread* sender, Exception& e) {
  TThreadExceptionEvent handler;
  {
    TAppHandler& app = AppHandler();
    std::lock_guard guard(app.mutex);
    handler = app.handler;
  }
  if (handler) {
    handler(sender, e);
  } else {
    ShowException(e);
  }
}

void TBaseThread::DoHandleException(Exception& e) {
  if (DoException(e)) return;
  RouteToApplication(this, e);
}

bool TBaseThread::DoException(Exception& e) {
  if (!OnException) return false;
  OnException(this, e);
  return true;
}

void TBaseThread::DoStart() {
  state = tsRunning;
  startTime = std::chrono::system_clock::now();
  runTimeLimit = 0;
}

void TBaseThread::DoFinish() { SetRunTime(-runTimeLimit); }

void TBaseThread::RunTimedLoop() {
  if (Terminated()) return;
  TimedWaitLoop(
      *this, [](TBaseThread& thread, uint32_t& interval, bool& done) { thread.Step(interval, done); }, Interval, true,
      runTimeLimit);
}

void TBaseThread::Resume() {
  if (!suspended) return;
  suspended = false;
  started = true;
  // Only a state that still shows the suspension: the running thread may
  // have moved on (and reused the saved state) already.
  int32_t shown = tsSuspended;
  if (savedState != tsCreated) state.compare_exchange_strong(shown, savedState.load());
  // A self-freeing thread may end and free this object as soon as it runs:
  // nothing of the object is touched once the thread is let go.
  const TThreadHandle running = handle;
  ResumeThread(running);
}

void TBaseThread::Suspend() {
  if (suspended) return;
  suspended = true;
  savedState = state.load();
  state = tsSuspended;
  SuspendThread(handle);
}

void TBaseThread::Sleep(uint32_t ms, int32_t stateWhileSleeping) {
  ORV_ASSERT(OnOwnThread());
  if (terminatedLatched) {
    SleepEx(ms, AlertableSleep);
    return;
  }
  lastSleep = ms;
  const bool showsState = ms > 50;
  if (showsState) {
    savedState = state.load();
    state = stateWhileSleeping;
  }
  SleepEx(ms, AlertableSleep);
  if (showsState) state = savedState.load();
}

bool TBaseThread::Terminated() {
  ++terminatedChecks;
  if (terminateRequested) terminatedLatched = true;
  if (!terminatedLatched && AutoTerminate && IsAppTerminating()) {
    terminatedLatched = true;
    Log(SThreadsShuttingDown);
  }
  return terminatedLatched;
}

void TBaseThread::SetState(int32_t newState) {
  newState = FilterState(newState);
  if (newState == state) return;
  state = newState;
  StateChanged(newState);
}

void TBaseThread::Synchronize(const TThreadMethod& method) {
  PendingException = nullptr;
  syncMethod = method;
  savedState = state.load();
  state = tsSynchronizing;
  MainDispatcher().Send([this] {
    try {
      syncMethod();
    } catch (...) {
      PendingException = std::current_exception();
    }
  });
  state = savedState.load();
  // Raised from the field, not left in it: a later, unrelated exception
  // must not find it there.
  if (PendingException) std::rethrow_exception(std::exchange(PendingException, nullptr));
}

uint32_t TBaseThread::WaitFor(uint32_t timeout) {
  // The handle outlives an object that frees itself at its end.
  const TThreadHandle thread = handle;
  WaitForSingleObject(thread.get(), timeout);
  uint32_t exitCode = STILL_ACTIVE;
  GetExitCodeThread(thread, exitCode);
  return exitCode;
}

bool TBaseThread::IsStalled() {
  const uint32_t checks = terminatedChecks;
  const bool stalled = checks == lastSeenChecks;
  lastSeenChecks = checks;
  return stalled;
}

bool TBaseThread::Abandon() {
  const std::shared_ptr<TShared> keep = shared;
  const TThreadHandle thread = handle;
  Terminate();
  auto running = TShared::Running;
  if (!keep->life.compare_exchange_strong(running, TShared::Abandoned)) return false;
  // From here on the thread may free the object at any moment.
  while (ResumeThread(thread) > 1) {
  }
  QueueUserAPC(WakeApc, thread);
  UnregisterOnce(keep->counted);
  return true;
}

std::string TBaseThread::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : mangled;
  std::free(demangled);
  // Without its namespaces, as the class was declared.
  if (const size_t scope = name.rfind("::"); scope != std::string::npos) name.erase(0, scope + 2);
  return name;
}

std::string TBaseThread::GetName() {
  const std::string name = ClassName();
  return name.size() > 7 ? name.substr(7) : std::string();
}

std::string TBaseThread::GetDisplayName() { return Format("%s (%d)", {GetName(), sequence}); }

void TimedWaitLoop(TBaseThread& thread, const TTimedRound& round, uint32_t interval, bool checkTerminated,
                   double limitDays) {
  using Clock = std::chrono::steady_clock;
  constexpr double msPerDay = 86400000.0;
  std::optional<Clock::time_point> deadline;
  if (limitDays > 0) {
    if (interval / msPerDay > limitDays) interval = static_cast<uint32_t>(limitDays * msPerDay);
    deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double, std::milli>(limitDays * msPerDay));
  }
  bool done = false;
  const auto finished = [&] {
    return done || (deadline && Clock::now() >= *deadline) || (checkTerminated && thread.Terminated());
  };
  while (!finished()) {
    if (interval != NoSleepInterval) {
      thread.Sleep(interval, TBaseThread::tsSleeping);
      if (finished()) return;
    }
    round(thread, interval, done);
  }
}

void TBaseThreadList::Add(TBaseThread* thread) {
  LockList();
  if (std::find(threads.begin(), threads.end(), thread) == threads.end()) threads.push_back(thread);
  UnlockList();
}

void TBaseThreadList::Remove(TBaseThread* thread) {
  LockList();
  if (const auto found = std::find(threads.begin(), threads.end(), thread); found != threads.end()) {
    threads.erase(found);
  }
  UnlockList();
}

std::vector<TBaseThread*>& TBaseThreadList::LockList() {
  lock.Acquire();
  return threads;
}
