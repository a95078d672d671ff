#include <gtest/gtest.h>

#include "engLockRetry.h"

namespace {

// A lock that frees up on the given try (0: never).
struct TScriptedLock {
  int FreeOnTry = 0;
  int Tries = 0;
  bool operator()() { return ++Tries == FreeOnTry; }
};

}  // namespace

TEST(LockRetry, TriesExactlyTheCountGivenAndStopsAtTheFirstSuccess) {
  TScriptedLock never;
  EXPECT_FALSE(RetryLock(std::ref(never), 16, 0));
  EXPECT_EQ(never.Tries, 16);

  TScriptedLock third{3};
  EXPECT_TRUE(RetryLock(std::ref(third), 16, 0));
  EXPECT_EQ(third.Tries, 3);

  TScriptedLock last{16};
  EXPECT_TRUE(RetryLock(std::ref(last), 16, 0));
  EXPECT_EQ(last.Tries, 16);
}

TEST(LockRetry, NoRetriesStillTriesOnce) {
  for (int tries : {1, 0, -5}) {
    TScriptedLock never;
    EXPECT_FALSE(RetryLock(std::ref(never), tries, 0));
    EXPECT_EQ(never.Tries, 1) << tries;
  }
}
