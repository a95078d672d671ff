#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "rtlExceptions.h"
#include "rtlThreadList.h"

TEST(ThreadList, DuplicatesAndALockHeldAcrossSteps) {
  TThreadList<int> list;
  int a = 0, b = 0;
  list.Add(&a);
  list.Add(&a);
  list.Add(&b);
  {
    TThreadListLock<int> locked(list);
    EXPECT_EQ(locked.List().Count(), 2);
    list.Remove(&a);  // re-entrant under the same thread's lock
    EXPECT_EQ(locked.List().Count(), 1);
  }
  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add(&b), EListError);
  list.SetDuplicates(dupAccept);
  list.Add(&b);
  EXPECT_EQ(TThreadListLock<int>(list).List().Count(), 2);

  // Another thread's Add waits while the list is locked here.
  std::atomic<bool> added{false};
  std::mutex m;
  std::condition_variable started;
  bool running = false;
  TList<int>* held = list.LockList();
  std::thread other([&] {
    {
      std::lock_guard g(m);
      running = true;
    }
    started.notify_one();
    list.Add(&a);
    added = true;
  });
  {
    std::unique_lock g(m);
    ASSERT_TRUE(started.wait_for(g, std::chrono::seconds(10), [&] { return running; }));
  }
  EXPECT_FALSE(added.load());
  EXPECT_EQ(held->Count(), 2);
  list.UnlockList();
  other.join();
  EXPECT_TRUE(added.load());
  list.Clear();
  EXPECT_EQ(TThreadListLock<int>(list).List().Count(), 0);
}
