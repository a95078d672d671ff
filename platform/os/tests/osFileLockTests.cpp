#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "osFile.h"
#include "osFileLock.h"
#include "osFileTestText.h"
#include "osSettingsTestFolder.h"

namespace {

TEST(OsFileLocks, OverlapFailsAndUnlockMustMatchExactly) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/L.DAT";
  WriteText(path, "");
  OsFile file;
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);

  ASSERT_EQ(file.LockRange(100, 10), ERROR_SUCCESS);
  EXPECT_EQ(file.LockRange(100, 10), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(file.LockRange(105, 10), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(file.LockRange(90, 11), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(file.LockRange(95, 30), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(file.LockRange(90, 10), ERROR_SUCCESS);
  EXPECT_EQ(file.LockRange(110, 1), ERROR_SUCCESS);

  EXPECT_EQ(file.UnlockRange(100, 5), ERROR_NOT_LOCKED);
  EXPECT_EQ(file.UnlockRange(90, 20), ERROR_NOT_LOCKED);
  EXPECT_EQ(file.UnlockRange(100, 10), ERROR_SUCCESS);
  EXPECT_EQ(file.UnlockRange(100, 10), ERROR_NOT_LOCKED);
  EXPECT_EQ(file.LockRange(105, 5), ERROR_SUCCESS);
  // Unlocking one range leaves its neighbours held.
  EXPECT_EQ(file.LockRange(95, 1), ERROR_LOCK_VIOLATION);
}

TEST(OsFileLocks, RangesStayBelowTheShareByte) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/L.DAT";
  OsFile file;
  ASSERT_EQ(file.Create(path), ERROR_SUCCESS);
  EXPECT_EQ(file.LockRange(0x7FFF0000, 65535), ERROR_SUCCESS);
  EXPECT_EQ(file.LockRange(0x7FFFFFFF, 1), ERROR_SUCCESS);
  EXPECT_EQ(file.LockRange(0x7FFFFFFE, 2), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(file.LockRange(0x7FFFFFFF, 2), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(file.LockRange(kOsShareLockOffset, 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(file.LockRange(10, 0), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(file.LockRange(-1, 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(file.LockRange(0x7FFFFFFF, INT64_MAX), ERROR_INVALID_PARAMETER);
}

// Threads with their own handles of one file race for one range: the
// in-process table must hand it to one of them at a time.
TEST(OsFileLocks, ThreadsContendForOneRange) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/C.DAT";
  WriteText(path, "");
  OsFile keeper;
  ASSERT_EQ(keeper.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);

  constexpr int kThreads = 6;
  constexpr int kRounds = 300;
  std::atomic<int> holders{0}, overlaps{0}, wins{0}, failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        OsFile file;
        if (file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared) != ERROR_SUCCESS) {
          ++failures;
          continue;
        }
        if (file.LockRange(0x7FFFFFFE - 7, 1) != ERROR_SUCCESS) continue;
        if (++holders != 1) ++overlaps;
        ++wins;
        --holders;
        if (file.UnlockRange(0x7FFFFFFE - 7, 1) != ERROR_SUCCESS) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(failures, 0);
  EXPECT_GT(wins, 0);
  EXPECT_EQ(keeper.OpenCount(), 1);
  EXPECT_EQ(keeper.LockRange(0x7FFFFFFE - 7, 1), ERROR_SUCCESS);
}

// One handle's lock calls from several threads at once (the engine's file
// object makes them without its own section): each thread keeps a range of
// its own and races the others for a common one, and the table of held
// ranges must stay exact.
TEST(OsFileLocks, OneHandleServesLockCallsFromSeveralThreads) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/S.DAT";
  WriteText(path, "");
  OsFile file;
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);

  constexpr int kThreads = 4;
  constexpr int kRounds = 500;
  constexpr int64_t kCommon = 0x7FFF0000;
  std::atomic<int> holders{0}, overlaps{0}, wins{0}, failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const int64_t own = 1000 + 10 * t;
      for (int round = 0; round < kRounds; ++round) {
        if (file.LockRange(own, 2) != ERROR_SUCCESS) ++failures;
        if (file.LockRange(kCommon, 1) == ERROR_SUCCESS) {
          if (++holders != 1) ++overlaps;
          ++wins;
          --holders;
          if (file.UnlockRange(kCommon, 1) != ERROR_SUCCESS) ++failures;
        }
        if (file.UnlockRange(own, 2) != ERROR_SUCCESS) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(failures, 0);
  EXPECT_GT(wins, 0);
  // Nothing stays held.
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(file.UnlockRange(1000 + 10 * t, 2), ERROR_NOT_LOCKED);
  EXPECT_EQ(file.UnlockRange(kCommon, 1), ERROR_NOT_LOCKED);
}

}  // namespace
