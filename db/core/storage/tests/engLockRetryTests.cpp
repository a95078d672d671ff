#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <thread>

#include "engLockRetry.h"

namespace {

// A lock that frees up on the given try (0: never).
struct TScriptedLock {
  int FreeOnTry = 0;
  int Tries = 0;
  bool operator()() { return ++Tries == FreeOnTry; }
};

// The tries a lock that never frees takes, under whatever settings are
// installed for this thread.
int TriesOfALockNeverFree(int tries, uint32_t pauseMs) {
  TScriptedLock never;
  EXPECT_FALSE(RetryLock(std::ref(never), tries, pauseMs));
  return never.Tries;
}

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

  TSessionLockWait outerSession;
  outerSession.Enter({1, 6});
  EXPECT_EQ(TriesOfALockNeverFree(FileLockTries, 3), 4);
  // An operation of another session inside follows that one's settings.
  TSessionLockWait innerSession;
  innerSession.Enter({0, 0});
  EXPECT_EQ(TriesOfALockNeverFree(FileLockTries, 3), 1);
  innerSession.Leave();
  EXPECT_EQ(TriesOfALockNeverFree(FileLockTries, 3), 4);
  outerSession.Leave();
  // Without a session, the caller's bound.
  EXPECT_EQ(TriesOfALockNeverFree(7, 0), 7);
}

TEST(LockRetry, ASessionsSettingsHoldForItsOwnThreadAsTheyWereAtItsOperationsStart) {
  TSessionLockWait session;
  session.Enter({1, 6});
  // Another thread working for no session keeps its caller's bound.
  int elsewhere = 0;
  std::thread other([&] { elsewhere = TriesOfALockNeverFree(7, 0); });
  other.join();
  EXPECT_EQ(elsewhere, 7);
  EXPECT_EQ(TriesOfALockNeverFree(FileLockTries, 3), 4);
  session.Leave();

  // The session's next operation installs its settings as they are by then.
  session.Enter({0, 3});
  EXPECT_EQ(TriesOfALockNeverFree(FileLockTries, 3), 1);
  session.Leave();
  EXPECT_EQ(TriesOfALockNeverFree(5, 0), 5);
}

namespace {

constexpr int EarlyTriesPerPause = int(std::size(EarlyTryWaitsUs));

int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(LockRetry, AnEarlyTryEndsTheWaitSoonAfterTheLockGoes) {
  // Freed while the first pause has hardly begun: got long before it ends.
  constexpr uint32_t LongPauseMs = 400;
  TScriptedLock soon{2};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(RetryLockEarly(std::ref(soon), 3, LongPauseMs));
  EXPECT_LT(MillisecondsSince(start), int64_t(LongPauseMs) / 2);
  EXPECT_EQ(soon.Tries, 2);

  // Freed at the second pause's last early try.
  TScriptedLock later{2 + 2 * EarlyTriesPerPause};
  EXPECT_TRUE(RetryLockEarly(std::ref(later), 3, 1));
  EXPECT_EQ(later.Tries, 2 + 2 * EarlyTriesPerPause);

  // The plain retry waits the whole pause for its next try.
  TScriptedLock plain{2};
  EXPECT_TRUE(RetryLock(std::ref(plain), 3, 0));
  EXPECT_EQ(plain.Tries, 2);
}

TEST(LockRetry, EarlyTriesNeverShortenTheWholeWaitOfALockThatStaysHeld) {
  constexpr int Tries = 4;
  constexpr uint32_t PauseMs = 3;
  TScriptedLock never;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(RetryLockEarly(std::ref(never), Tries, PauseMs));
  EXPECT_GE(MillisecondsSince(start), int64_t(Tries - 1) * PauseMs);
  EXPECT_EQ(never.Tries, Tries + (Tries - 1) * EarlyTriesPerPause);

  // A session's settings bound the counted tries as before.
  TSessionLockWait install;
  install.Enter({1, 6});
  TScriptedLock session;
  EXPECT_FALSE(RetryLockEarly(std::ref(session), FileLockTries, PauseMs));
  EXPECT_EQ(session.Tries, 4 + 3 * EarlyTriesPerPause);
  install.Leave();

  // Without a pause there is no time for early tries.
  TScriptedLock quick;
  EXPECT_FALSE(RetryLockEarly(std::ref(quick), Tries, 0));
  EXPECT_EQ(quick.Tries, Tries);
}
