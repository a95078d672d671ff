#include <gtest/gtest.h>

#include <atomic>

#include "osApc.h"
#include "osSyncEvent.h"
#include "osTestWait.h"

TEST(OsApc, CutsAnAlertableSleepShortAndRunsOnTheTargetThread) {
  TOsEvent sleeping({.manualReset = true});
  std::atomic<uint32_t> slept{0};
  std::atomic<uint32_t> ranOn{0};
  TThreadHandle thread = StartThread([&] {
    sleeping.Set();
    slept = SleepEx(INFINITE, true);
  });
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&sleeping, TestTimeoutMs));
  ASSERT_TRUE(QueueUserAPC([&] { ranOn = GetCurrentThreadId(); }, thread));
  ASSERT_TRUE(Ended(thread));
  EXPECT_EQ(WAIT_IO_COMPLETION, slept.load());
  EXPECT_EQ(GetThreadId(thread), ranOn.load());
}

TEST(OsApc, WaitsUntilTheTargetWaitsAlertably) {
  TOsEvent queued({.manualReset = true});
  std::atomic<int> calls{0};
  std::atomic<int> callsAfterPlainWaits{-1};
  std::atomic<uint32_t> plainWait{0}, plainSleep{1}, alertableWait{0};
  TThreadHandle thread = StartThread([&] {
    plainWait = WaitForSingleObject(&queued, TestTimeoutMs);
    plainSleep = SleepEx(0, false);
    callsAfterPlainWaits = calls.load();
    TOsEvent never({.manualReset = true});
    alertableWait = WaitForSingleObjectEx(&never, TestTimeoutMs, true);
  });
  ASSERT_TRUE(QueueUserAPC([&] { ++calls; }, thread));
  ASSERT_TRUE(QueueUserAPC([&] { ++calls; }, thread));
  queued.Set();
  ASSERT_TRUE(Ended(thread));
  EXPECT_EQ(WAIT_OBJECT_0, plainWait.load());
  EXPECT_EQ(0u, plainSleep.load());
  EXPECT_EQ(0, callsAfterPlainWaits.load());
  EXPECT_EQ(WAIT_IO_COMPLETION, alertableWait.load());
  EXPECT_EQ(2, calls.load());
}

TEST(OsApc, QueuedToAHeldThreadRunsAtItsFirstAlertableWaitAndIsRefusedAfterItsEnd) {
  std::atomic<bool> ran{false};
  std::atomic<uint32_t> slept{0};
  TThreadHandle thread = CreateThread(
      [&]() -> uint32_t {
        slept = SleepEx(TestTimeoutMs, true);
        return 0;
      },
      true);
  ASSERT_TRUE(QueueUserAPC([&] { ran = true; }, thread));
  ResumeThread(thread);
  ASSERT_TRUE(Ended(thread));
  EXPECT_TRUE(ran.load());
  EXPECT_EQ(WAIT_IO_COMPLETION, slept.load());
  EXPECT_FALSE(QueueUserAPC([] {}, thread));
  EXPECT_FALSE(QueueUserAPC([] {}, nullptr));
}
