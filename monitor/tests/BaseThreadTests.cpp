#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "BaseThread.h"
#include "osApc.h"
#include "osSyncTicks.h"
#include "rtlFormat.h"

namespace {

constexpr uint32_t TestTimeoutMs = 10000;

// A thread whose parts the test supplies.
class TThreadProbe : public TBaseThread {
public:
  std::function<void(TThreadProbe&)> onStart;
  std::function<void(TThreadProbe&)> onExecute;
  std::function<void(uint32_t& interval, bool& done)> onStep;
  std::function<void(const std::string&)> onLog;
  std::function<void()> onDestroy;
  std::atomic<int> starts{0};
  std::atomic<int> finishes{0};

  void DoStart() override {
    ++starts;
    TBaseThread::DoStart();
    if (onStart) onStart(*this);
  }
  void DoFinish() override {
    ++finishes;
    TBaseThread::DoFinish();
  }
  void Execute() override {
    if (onExecute) onExecute(*this);
  }
  void Step(uint32_t& interval, bool& done) override {
    if (onStep) onStep(interval, done);
  }
  void Log(const std::string& text) override {
    if (onLog) onLog(text);
  }

protected:
  ~TThreadProbe() override {
    if (onDestroy) onDestroy();
  }
};

class TShort : public TBaseThread {};

bool Waited(TWaitable& object) { return WaitForSingleObject(&object, TestTimeoutMs) == WAIT_OBJECT_0; }

// Waits, serving the main thread, until condition holds or the limit passes.
bool Eventually(const std::function<bool()>& condition) {
  const uint32_t start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > TestTimeoutMs) return false;
    SleepEx(1, false);
  }
  return true;
}

class BaseThreadTest : public testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(0, RunningThreads().GetValue()); }
  void TearDown() override {
    SetApplicationExceptionHandler(nullptr);
    EXPECT_EQ(0, RunningThreads().GetValue());
  }
};

}  // namespace

TEST_F(BaseThreadTest, WakeApcCutsTheTimedLoopsSleepShort) {
  auto* thread = TBaseThread::Create<TThreadProbe>(true);
  std::atomic<int> rounds{0};
  TOsEvent stepped({.manualReset = false});
  TOsEvent terminated({.manualReset = true});
  std::atomic<bool> terminateRanOnMain{false};
  thread->UseTimedLoop = true;
  thread->Interval = INFINITE;
  thread->FreeOnTerminate = true;
  thread->onStep = [&](uint32_t&, bool&) {
    ++rounds;
    stepped.Set();
  };
  thread->OnTerminate = [&](TBaseThread*) {
    terminateRanOnMain = IsMainThread();
    terminated.Set();
  };
  const TThreadHandle handle = thread->Handle();
  thread->Resume();

  ASSERT_TRUE(Eventually([&] { return thread->State() == TBaseThread::tsSleeping; }));
  EXPECT_EQ(INFINITE, thread->LastSleep());
  ASSERT_TRUE(QueueUserAPC(WakeApc, handle));
  ASSERT_TRUE(Waited(stepped));
  EXPECT_EQ(1, rounds.load());

  thread->Terminate();
  ASSERT_TRUE(QueueUserAPC(WakeApc, handle));
  // The thread frees itself and runs OnTerminate through the dispatcher,
  // which this main-thread wait serves.
  ASSERT_TRUE(Waited(terminated));
  EXPECT_TRUE(terminateRanOnMain.load());
  EXPECT_TRUE(Waited(*handle));
}

TEST_F(BaseThreadTest, SynchronizeIsServedWhileTheMainThreadWaitsForALock) {
  TIntCriticalSection counter(5);
  TCriticalSection section;
  TOsEvent holding({.manualReset = true});
  std::atomic<int> ranOnMain{0};
  auto* thread = TBaseThread::Create<TThreadProbe>(true);
  thread->onExecute = [&](TThreadProbe& self) {
    counter.EnterPumping();
    section.Acquire();
    holding.Set();
    self.Synchronize([&] { ranOnMain += IsMainThread(); });
    counter.Release();
    self.Synchronize([&] { ranOnMain += IsMainThread(); });
    section.Release();
  };
  thread->Resume();
  TWaitable* held = &holding;
  // A wait that serves nothing, so that only the lock waits below can.
  ASSERT_EQ(WAIT_OBJECT_0, WaitForObjects({&held, 1}, TestTimeoutMs, {}));
  EXPECT_EQ(5, counter.GetValueTimeout(TestTimeoutMs));
  section.EnterPumping();
  section.Release();
  EXPECT_EQ(2, ranOnMain.load());
  EXPECT_EQ(0u, thread->WaitFor(TestTimeoutMs));
  thread->Free();
}

TEST_F(BaseThreadTest, ShutdownEndsEveryThreadAndSetsTheNoThreadsEvent) {
  constexpr int threadCount = 16;
  std::atomic<int> terminated{0};
  std::atomic<int> shutdownLogs{0};
  std::vector<TThreadHandle> handles;
  for (int i = 0; i < threadCount; ++i) {
    auto* thread = TBaseThread::Create<TThreadProbe>(true);
    thread->UseTimedLoop = true;
    thread->Interval = INFINITE;
    thread->FreeOnTerminate = true;
    thread->OnTerminate = [&](TBaseThread*) { ++terminated; };
    thread->onLog = [&](const std::string& text) { shutdownLogs += text == SThreadsShuttingDown; };
    handles.push_back(thread->Handle());
    thread->Resume();
  }
  EXPECT_EQ(threadCount, RunningThreads().GetValue());
  EXPECT_FALSE(NoThreadsEvent().IsSignalled());

  SignalAppTerminate();
  for (const TThreadHandle& handle : handles) QueueUserAPC(WakeApc, handle);
  ASSERT_EQ(wrSignaled, NoThreadsEvent().WaitFor(TestTimeoutMs));
  EXPECT_EQ(0, RunningThreads().GetValue());
  EXPECT_EQ(threadCount, terminated.load());
  EXPECT_EQ(threadCount, shutdownLogs.load());
  for (const TThreadHandle& handle : handles) EXPECT_TRUE(Waited(*handle));
}

TEST_F(BaseThreadTest, ThreadThatIgnoresStopIsAbandonedAndUncounted) {
  TOsEvent running({.manualReset = true});
  TOsEvent release({.manualReset = true});
  TOsEvent destroyed({.manualReset = true});
  auto* thread = TBaseThread::Create<TThreadProbe>(true);
  thread->onExecute = [&](TThreadProbe&) {
    running.Set();
    WaitForSingleObject(&release, INFINITE);
  };
  thread->onDestroy = [&] { destroyed.Set(); };
  const TThreadHandle handle = thread->Handle();
  thread->Resume();
  ASSERT_TRUE(Waited(running));
  EXPECT_EQ(1, RunningThreads().GetValue());

  thread->Terminate();
  QueueUserAPC(WakeApc, handle);
  EXPECT_EQ(STILL_ACTIVE, thread->WaitFor(20));
  ASSERT_TRUE(thread->Abandon());
  EXPECT_EQ(0, RunningThreads().GetValue());
  EXPECT_TRUE(NoThreadsEvent().IsSignalled());

  // Once it stops ignoring, it ends and frees itself.
  release.Set();
  EXPECT_TRUE(Waited(destroyed));
  EXPECT_TRUE(Waited(*handle));

  auto* ended = TBaseThread::Create<TThreadProbe>(false);
  EXPECT_EQ(0u, ended->WaitFor(TestTimeoutMs));
  EXPECT_FALSE(ended->Abandon());
  ended->Free();
}

TEST_F(BaseThreadTest, ExceptionsGoToOnExceptionOrTheApplicationHandler) {
  std::vector<std::string> own, app;
  SetApplicationExceptionHandler([&](TBaseThread*, Exception& e) { app.push_back(e.ClassName() + (": " + e.Message)); });
  const auto runThrowing = [&](std::function<void(TThreadProbe&)> body, bool withOwnHandler) {
    auto* thread = TBaseThread::Create<TThreadProbe>(true);
    thread->onExecute = std::move(body);
    if (withOwnHandler) {
      thread->OnException = [&, thread](TBaseThread* sender, Exception& e) {
        own.push_back(e.Message + (sender == thread ? " from thread" : ""));
      };
    }
    thread->Resume();
    EXPECT_EQ(0u, thread->WaitFor(TestTimeoutMs));
    EXPECT_EQ(1, thread->finishes.load());
    thread->Free();
  };
  runThrowing([](TThreadProbe&) { throw Exception("boom"); }, true);
  runThrowing([](TThreadProbe&) { throw ESysError("sys"); }, false);
  runThrowing([](TThreadProbe&) { Abort(); }, true);
  runThrowing([](TThreadProbe&) { throw std::runtime_error("plain"); }, false);
  runThrowing(
      [](TThreadProbe& self) {
        try {
          self.Synchronize([] { throw Exception("on main"); });
        } catch (const Exception& e) {
          throw std::runtime_error("caught " + e.Message);
        }
      },
      false);

  EXPECT_EQ(std::vector<std::string>{"boom from thread"}, own);
  EXPECT_EQ((std::vector<std::string>{"ESysError: sys", "Exception: plain", "Exception: caught on main"}), app);
}

TEST_F(BaseThreadTest, LifeCycleBeforeAndWithoutStart) {
  auto* thread = TBaseThread::Create<TThreadProbe>(true);
  EXPECT_EQ(TBaseThread::tsCreated, thread->State());
  EXPECT_TRUE(thread->Suspended());
  EXPECT_EQ("Probe", thread->GetName());
  EXPECT_EQ(Format("Probe (%d)", {thread->Sequence()}), thread->GetDisplayName());
  thread->Terminate();
  thread->Resume();
  EXPECT_FALSE(thread->Suspended());
  EXPECT_EQ(0u, thread->WaitFor(TestTimeoutMs));
  EXPECT_EQ(0, thread->starts.load());
  EXPECT_EQ(0, thread->finishes.load());
  EXPECT_EQ(TBaseThread::tsCreated, thread->State());
  thread->Free();

  auto* never = TBaseThread::Create<TShort>(true);
  EXPECT_EQ("", never->GetName());
  const TThreadHandle handle = never->Handle();
  never->Free();  // its held thread ends without running the body
  EXPECT_TRUE(Waited(*handle));
}

TEST_F(BaseThreadTest, TimedLoopEndsAtItsRunTimeLimit) {
  constexpr double limitDays = 20.0 / 86400000.0;
  std::atomic<int> rounds{0};
  auto* thread = TBaseThread::Create<TThreadProbe>(true);
  thread->UseTimedLoop = true;
  thread->Interval = 1;
  thread->onStart = [&](TThreadProbe& self) { self.SetRunTime(limitDays); };
  thread->onStep = [&](uint32_t&, bool&) { ++rounds; };
  thread->Resume();
  EXPECT_EQ(0u, thread->WaitFor(TestTimeoutMs));
  EXPECT_GT(rounds.load(), 0);
  EXPECT_EQ(-limitDays, thread->RunTimeLimit());
  thread->Free();
}
