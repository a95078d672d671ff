#pragma once
// The base of every worker thread: a life cycle with numbered states,
// synchronous calls to the main thread through the dispatcher, alertable
// sleeps that WakeApc cuts short, an optional timed loop, exception routing,
// and the process-wide count of running threads (SynchApp.h).
//
// Making one: TBaseThread::Create<TMyThread>(suspended, args...) constructs
// the object, calls Initialize (where subclasses set their options) and
// starts the thread unless asked to hold it until Resume.
//
// Ending one: threads are never killed. A thread ends when its body
// returns; Terminate and the application terminate event only ask. One
// that does not stop in time is abandoned (Abandon): it leaves the count
// at once and frees itself whenever its body returns.
//
// Who frees the object: the thread itself at its end when FreeOnTerminate
// or abandoned; otherwise its owner, through Free, once the thread has
// ended (WaitFor) or when it never started. Free never waits.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SynchApp.h"
#include "Synchro.h"
#include "osThread.h"
#include "rtlExceptions.h"

RTL_EXCEPTION_CLASS(ECTHREADS, Exception);
RTL_EXCEPTION_CLASS(ECTHREADS_OUTOFRESOURCES, ECTHREADS);
inline constexpr const char* SCannotCreateThread = "Cannot create a thread: out of resources";
inline constexpr const char* SThreadsShuttingDown = "Application shuting down. All threads requested to terminate.";

// The timed loop's interval that means "no sleep between rounds".
inline constexpr uint32_t NoSleepInterval = 9999;

class TBaseThread;
using TThreadMethod = std::function<void()>;
using TThreadNotifyEvent = std::function<void(TBaseThread* sender)>;
using TThreadExceptionEvent = std::function<void(TBaseThread* sender, Exception& e)>;
using TTimedRound = std::function<void(TBaseThread& thread, uint32_t& interval, bool& done)>;

// The empty asynchronous call queued to wake a thread from its alertable wait.
void WakeApc();

// The application's exception handler, installed by the main window. The
// exception stays the caller's. Without a handler the message goes to
// standard error.
void SetApplicationExceptionHandler(TThreadExceptionEvent handler);
// Hands e to the application's handler as if sender (may be null) had
// raised it, for failures that are seen outside a thread's own body.
void RouteToApplication(TBaseThread* sender, Exception& e);

class TBaseThread {
public:
  // Thread states, kept in the class so that other layers' states of the
  // same names (the tree control's) can meet them in one unit.
  static constexpr int32_t tsCreated = 0;
  static constexpr int32_t tsSleeping = 2;
  static constexpr int32_t tsRunning = 3;
  static constexpr int32_t tsSuspended = 4;
  static constexpr int32_t tsDestroying = 5;
  static constexpr int32_t tsSynchronizing = 7;

  template <class T, class... TArgs>
  static T* Create(bool createSuspended, TArgs&&... args) {
    T* thread = new T(std::forward<TArgs>(args)...);
    thread->AfterConstruction(createSuspended);
    return thread;
  }

  TBaseThread(const TBaseThread&) = delete;
  TBaseThread& operator=(const TBaseThread&) = delete;

  // State 5, DoTerminate, then the object is deleted.
  void Free();

  virtual std::string GetHint() { return Hint; }
  virtual void Initialize() {}
  // Runs OnTerminate on the main thread.
  virtual void DoTerminate();
  virtual void Run();
  // Called while an exception is being handled (or with one pending):
  // routes it unless it is an EAbort, then drops it.
  virtual void HandleException();
  virtual void DoStart();
  virtual void DoFinish();
  virtual void SetRunTime(double days) { runTimeLimit = days; }
  virtual void Execute() {}
  virtual void Step(uint32_t& interval, bool& done) { done = true; }
  virtual void RunTimedLoop();
  virtual void Log(const std::string& text) {}
  virtual void Resume();
  // Takes effect at the thread's next wait.
  virtual void Suspend();
  // Alertable unless AlertableSleep is off: a queued asynchronous call ends
  // it early. Sleeps over 50 ms show stateWhileSleeping meanwhile. On the
  // thread itself.
  virtual void Sleep(uint32_t ms, int32_t stateWhileSleeping);
  virtual std::string GetName();
  virtual std::string GetDisplayName();
  // OnException takes e: true when assigned.
  virtual bool DoException(Exception& e);
  virtual int32_t FilterState(int32_t newState) { return newState; }
  virtual void StateChanged(int32_t newState) {}

  void Terminate() { terminateRequested = true; }
  // Also true once the application terminate event is set (AutoTerminate);
  // stays true once true.
  bool Terminated();
  void SetState(int32_t state);
  int32_t State() const { return state; }
  // Runs method on the main thread and waits; its exception is raised again
  // here. The thread's queued asynchronous calls wait for its next
  // alertable wait.
  void Synchronize(const TThreadMethod& method);
  // The exit code, STILL_ACTIVE when the thread did not end within timeout.
  // On the main thread the dispatcher is served meanwhile.
  uint32_t WaitFor(uint32_t timeout);
  // True when the thread has not tested Terminated since the previous call.
  bool IsStalled();
  // For a thread that did not stop in time: asks it to stop, wakes it,
  // takes it out of the running count and leaves the object to it. True
  // when abandoned; false when its body had already returned (then the
  // usual freeing rule holds). After true, do not touch the object again.
  bool Abandon();

  // The class's name, such as "TThreadJobs".
  std::string ClassName() const;
  const TThreadHandle& Handle() const { return handle; }
  uint32_t ThreadID() const { return GetThreadId(handle); }
  // What only the thread's own body may touch asserts this.
  bool OnOwnThread() const { return GetCurrentThreadId() == ThreadID(); }
  int32_t Sequence() const { return sequence; }
  bool Suspended() const { return suspended; }
  double RunTimeLimit() const { return runTimeLimit; }
  std::chrono::system_clock::time_point StartTime() const { return startTime; }
  uint32_t LastSleep() const { return lastSleep; }

  bool FreeOnTerminate = false;
  uint32_t ReturnValue = 0;
  bool UseTimedLoop = false;
  std::string Hint = "Hint";
  uint32_t Interval = 1000;
  bool AutoTerminate = true;
  TThreadExceptionEvent OnException;
  TThreadNotifyEvent OnTerminate;

protected:
  // Starts the thread held; an ECTHREADS_OUTOFRESOURCES when none can be made.
  TBaseThread();
  virtual ~TBaseThread();

  // An exception caught in a synchronous call or in the body.
  std::exception_ptr PendingException;
  // Off for a thread whose queued calls each ask for work that only its
  // own wait does: a sleep that ran one would drop the request.
  bool AlertableSleep = true;

private:
  struct TShared;
  static uint32_t ThreadProc(TBaseThread* thread);
  void AfterConstruction(bool createSuspended);
  void DoHandleException(Exception& e);

  std::shared_ptr<TShared> shared;
  TThreadHandle handle;
  int32_t sequence = 0;
  std::atomic<bool> suspended{true};
  std::atomic<bool> started{false};
  std::atomic<bool> terminateRequested{false};
  std::atomic<bool> terminatedLatched{false};
  std::atomic<int32_t> state{tsCreated};
  std::atomic<int32_t> savedState{tsCreated};
  std::atomic<uint32_t> terminatedChecks{0};
  std::atomic<uint32_t> lastSeenChecks{0};
  std::atomic<uint32_t> lastSleep{0};
  TThreadMethod syncMethod;
  double runTimeLimit = 0;
  std::chrono::system_clock::time_point startTime;
};

// Rounds of round with alertable sleeps of interval between them (none for
// NoSleepInterval), until a round says done, limitDays have passed (when
// positive) or, with checkTerminated, the thread is terminated.
void TimedWaitLoop(TBaseThread& thread, const TTimedRound& round, uint32_t interval, bool checkTerminated,
                   double limitDays);

// A lock-protected list of threads.
class TBaseThreadList {
public:
  // A thread listed already is not added twice.
  void Add(TBaseThread* thread);
  void Remove(TBaseThread* thread);
  // Returns with the lock held: pair with UnlockList.
  std::vector<TBaseThread*>& LockList();
  void UnlockList() { lock.Release(); }
  bool HeldByCurrentThread() const { return lock.HeldByCurrentThread(); }

private:
  TCriticalSection lock;
  std::vector<TBaseThread*> threads;
};

// Holds a thread list locked for a scope.
class THeldList {
public:
  explicit THeldList(TBaseThreadList& threadList) : list(threadList) { list.LockList(); }
  ~THeldList() { list.UnlockList(); }
  THeldList(const THeldList&) = delete;
  THeldList& operator=(const THeldList&) = delete;

private:
  TBaseThreadList& list;
};
