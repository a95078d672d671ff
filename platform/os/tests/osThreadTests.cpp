#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "osSyncCriticalSection.h"
#include "osSyncEvent.h"
#include "osTestWait.h"

TEST(OsThread, HeldThreadRunsOnlyAfterResumeAndReportsItsExitCode) {
  std::atomic<uint32_t> idInside{0};
  TThreadHandle thread = CreateThread(
      [&]() -> uint32_t {
        idInside = GetCurrentThreadId();
        return 42;
      },
      true);
  ASSERT_TRUE(thread);
  uint32_t code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, code));
  EXPECT_EQ(STILL_ACTIVE, code);
  EXPECT_EQ(1u, SuspendThread(thread));
  EXPECT_EQ(2u, ResumeThread(thread));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread.get(), 0));
  EXPECT_EQ(0u, idInside.load());

  EXPECT_EQ(1u, ResumeThread(thread));
  ASSERT_TRUE(Ended(thread));
  GetExitCodeThread(thread, code);
  EXPECT_EQ(42u, code);
  EXPECT_EQ(GetThreadId(thread), idInside.load());
  EXPECT_NE(GetCurrentThreadId(), idInside.load());
  EXPECT_TRUE(IsMainThread());
}

TEST(OsWait, ReportsTimeoutFailureAndTheIndexOfTheSignalledObject) {
  TOsEvent first({.manualReset = true});
  TOsEvent second({.manualReset = true});
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(&first, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(&first, 20));

  errno = 0;
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));
  EXPECT_EQ(EBADF, errno);
  EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjectsEx({}, 0, false));
  EXPECT_EQ(EINVAL, errno);

  second.Set();
  TWaitable* both[] = {&first, &second};
  EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjectsEx(both, 0, false));

  TThreadHandle setter = StartThread([&] { first.Set(); });
  second.Reset();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjectsEx(both, TestTimeoutMs, false));
  EXPECT_TRUE(Ended(setter));
}

TEST(OsWait, DescriptorObjectIsSignalledWhileItsDescriptorIsReadable) {
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  TDescriptorWaitable readable(fds[0]);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(&readable, 0));
  TThreadHandle writer = StartThread([&] { ASSERT_EQ(1, write(fds[1], "x", 1)); });
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&readable, TestTimeoutMs));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&readable, 0));  // not consumed
  EXPECT_TRUE(Ended(writer));
  close(fds[0]);
  close(fds[1]);
}

TEST(OsEvent, AutoResetLetsOneWaiterThroughPerSignal) {
  TOsEvent event({.initiallySet = true});
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&event, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(&event, 0));

  std::atomic<int> through{0};
  auto waiter = [&] {
    if (WaitForSingleObject(&event, TestTimeoutMs) == WAIT_OBJECT_0) ++through;
  };
  TThreadHandle one = StartThread(waiter);
  TThreadHandle two = StartThread(waiter);
  event.Set();
  TWaitable* both[] = {one.get(), two.get()};
  const uint32_t first = WaitForMultipleObjectsEx(both, TestTimeoutMs, false);
  ASSERT_LT(first, 2u);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(both[1 - first], 50));
  EXPECT_EQ(1, through.load());
  event.Set();
  EXPECT_TRUE(Ended(one));
  EXPECT_TRUE(Ended(two));
  EXPECT_EQ(2, through.load());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(&event, 0));
}

TEST(OsEvent, ManualResetStaysSetAndPulseLeavesItReset) {
  TOsEvent event({.manualReset = true});
  event.Pulse();
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(&event, 0));
  event.Set();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&event, 0));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&event, 0));
  event.Reset();

  std::atomic<uint32_t> result{WAIT_FAILED};
  TThreadHandle waiter = StartThread([&] { result = WaitForSingleObject(&event, TestTimeoutMs); });
  // The pulse reaches the waiter only once it waits; pulse until it has.
  EXPECT_TRUE(WaitUntil([&] {
    event.Pulse();
    return WaitForSingleObject(waiter.get(), 1) == WAIT_OBJECT_0;
  }));
  EXPECT_EQ(WAIT_OBJECT_0, result.load());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(&event, 0));
}

TEST(OsCriticalSection, IsReentrantAndOwnedByOneThread) {
  TOsCriticalSection section;
  section.Enter();
  EXPECT_TRUE(section.TryEnter());
  std::atomic<int> triedElsewhere{-1};
  TThreadHandle other = StartThread([&] {
    triedElsewhere = section.TryEnter();
    EXPECT_THROW(section.Leave(), std::logic_error);
  });
  ASSERT_TRUE(Ended(other));
  EXPECT_EQ(0, triedElsewhere.load());

  section.Leave();
  TThreadHandle stillHeld = StartThread([&] { triedElsewhere = section.TryEnter(); });
  ASSERT_TRUE(Ended(stillHeld));
  EXPECT_EQ(0, triedElsewhere.load());

  section.Leave();
}

TEST(OsCriticalSection, OwnerThatEndsHoldingItAbandonsIt) {
  TOsCriticalSection section;
  TThreadHandle owner = StartThread([&] {
    section.Enter();
    section.Enter();
  });
  ASSERT_TRUE(Ended(owner));
  EXPECT_EQ(WAIT_ABANDONED_0, WaitForSingleObject(&section, 0));
  section.Leave();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&section, 0));
  section.Leave();
}
