#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <stdexcept>

#include "osDispatcher.h"
#include "osSyncEvent.h"
#include "osTestWait.h"

namespace {

bool Readable(int fd) {
  pollfd probe{fd, POLLIN, 0};
  return poll(&probe, 1, 0) == 1;
}

}  // namespace

TEST(OsDispatcher, PostedTasksRunOnTheMainThreadWhenPumped) {
  std::atomic<uint32_t> ranOn{0};
  TThreadHandle poster = StartThread([&] {
    MainDispatcher().Post([&] { ranOn = GetCurrentThreadId(); });
    EXPECT_EQ(0u, MainDispatcher().ProcessPending());  // only the main thread serves
  });
  // A wait that does not serve the dispatcher (as a lock's) leaves it ...
  TWaitable* end = poster.get();
  ASSERT_EQ(WAIT_OBJECT_0, WaitForObjects({&end, 1}, TestTimeoutMs, {}));
  EXPECT_EQ(0u, ranOn.load());
  EXPECT_TRUE(Readable(MainDispatcher().EventFd()));
  // ... pumping does.
  EXPECT_EQ(1u, MainDispatcher().ProcessPending());
  EXPECT_EQ(GetCurrentThreadId(), ranOn.load());
  EXPECT_FALSE(Readable(MainDispatcher().EventFd()));
}

TEST(OsDispatcher, SendBlocksUntilTheMainThreadRanTheTaskAndRaisesItsException) {
  std::atomic<bool> ran{false};
  std::atomic<bool> returned{false};
  std::string raised;
  TThreadHandle sender = StartThread([&] {
    MainDispatcher().Send([&] { ran = true; });
    returned = true;
    try {
      MainDispatcher().Send([] { throw std::runtime_error("failed on main"); });
    } catch (const std::runtime_error& e) {
      raised = e.what();
    }
  });
  // Any main-thread wait serves the dispatcher, so waiting for the sender's
  // end cannot deadlock with its synchronous calls.
  ASSERT_TRUE(Ended(sender));
  EXPECT_TRUE(ran.load());
  EXPECT_TRUE(returned.load());
  EXPECT_EQ("failed on main", raised);

  bool inline_ = false;
  MainDispatcher().Send([&] { inline_ = true; });
  EXPECT_TRUE(inline_);
}

TEST(OsDispatcher, MainThreadWaitServesTasksAndTheHook) {
  int hookCalls = 0;
  SetProcessMessagesHook([&] { ++hookCalls; });
  TOsEvent served({.manualReset = true});
  MainDispatcher().Post([&] { served.Set(); });
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&served, TestTimeoutMs));
  EXPECT_EQ(1, hookCalls);
  SetProcessMessagesHook(nullptr);
}
