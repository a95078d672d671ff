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

TEST(LockRetry, ASessionsSettingsBoundTheWholeWaitWhileTheyAreInstalled) {
  // Record locks pause the session's wait time: retry count + 1 tries.
  EXPECT_EQ((TLockWaitSettings{15, 100}.TriesFor(100)), 16);
  // The files' short pauses fit more tries into the same whole wait.
  EXPECT_EQ((TLockWaitSettings{15, 100}.TriesFor(FileLockPauseMs)), 1600 / int(FileLockPauseMs));
  EXPECT_EQ((TLockWaitSettings{0, 0}.TriesFor(FileLockPauseMs)), 1);
  EXPECT_EQ((TLockWaitSettings{3, 10}.TriesFor(0)), 40);

  TScriptedLock never;
  EnterSessionLockWait({1, 6});
  EXPECT_FALSE(RetryLock(std::ref(never), FileLockTries, 3));
  EXPECT_EQ(never.Tries, 4);
  // An operation of another session inside follows that one's settings.
  EnterSessionLockWait({0, 0});
  TScriptedLock inner;
  EXPECT_FALSE(RetryLock(std::ref(inner), FileLockTries, 3));
  EXPECT_EQ(inner.Tries, 1);
  LeaveSessionLockWait();
  TScriptedLock outer;
  EXPECT_FALSE(RetryLock(std::ref(outer), FileLockTries, 3));
  EXPECT_EQ(outer.Tries, 4);
  LeaveSessionLockWait();
  // Without a session, the caller's bound.
  TScriptedLock engine;
  EXPECT_FALSE(RetryLock(std::ref(engine), 7, 0));
  EXPECT_EQ(engine.Tries, 7);
}
