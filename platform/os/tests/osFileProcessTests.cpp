// Share modes and locks seen from a second real process.

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "osFile.h"
#include "osFileHelperProcess.h"
#include "osFileTestText.h"
#include "osPath.h"
#include "osSettingsTestFolder.h"

namespace {

constexpr int64_t kRecordOne = 0x7FFFFFFE - 1;
constexpr int64_t kHeader = 0x7FFFFFFF;

std::string OpenCommand(const std::string& path, const char* mode) { return "open " + path + " " + mode; }

TEST(OsFileProcesses, RangeLocksConflictBetweenProcesses) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/T.DAT";
  WriteText(path, "");
  OsFileHelperProcess helper;
  ASSERT_EQ(helper.AskCode(OpenCommand(path, "shared")), ERROR_SUCCESS);
  ASSERT_EQ(helper.AskCode("lock " + std::to_string(kRecordOne) + " 1"), ERROR_SUCCESS);

  OsFile file;
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  EXPECT_EQ(file.LockRange(kRecordOne, 1), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(file.LockRange(0x7FFF0000, 65535), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(file.LockRange(kRecordOne - 1, 1), ERROR_SUCCESS);
  // The failed attempts left nothing behind in the process's table.
  EXPECT_EQ(file.UnlockRange(kRecordOne, 1), ERROR_NOT_LOCKED);

  ASSERT_EQ(helper.AskCode("unlock " + std::to_string(kRecordOne) + " 1"), ERROR_SUCCESS);
  EXPECT_EQ(file.LockRange(kRecordOne, 1), ERROR_SUCCESS);
  EXPECT_EQ(helper.AskCode("lock " + std::to_string(kRecordOne) + " 1"), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(helper.AskCode("lock " + std::to_string(kRecordOne - 1) + " 1"), ERROR_LOCK_VIOLATION);
}

// Another process finds the bytes of a run unlocked in one call free, and
// everything else it held still taken; a span with a gap releases nothing.
TEST(OsFileProcesses, RunUnlockFreesExactlyItsRangesForAnotherProcess) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/T.DAT";
  WriteText(path, "");
  OsFile file;
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  auto record = [](int n) { return kRecordOne + 1 - n; };
  for (int n : {1, 2, 3, 5}) ASSERT_EQ(file.LockRange(record(n), 1), ERROR_SUCCESS);
  ASSERT_EQ(file.LockRange(kHeader, 1), ERROR_SUCCESS);
  OsFileHelperProcess helper;
  ASSERT_EQ(helper.AskCode(OpenCommand(path, "shared")), ERROR_SUCCESS);
  auto helperTakes = [&](int64_t offset) { return helper.AskCode("lock " + std::to_string(offset) + " 1"); };

  EXPECT_EQ(file.UnlockRun(record(5), 5), ERROR_NOT_LOCKED);
  EXPECT_EQ(helperTakes(record(1)), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(helperTakes(record(5)), ERROR_LOCK_VIOLATION);

  EXPECT_EQ(file.UnlockRun(record(3), 3), ERROR_SUCCESS);
  for (int n : {1, 2, 3}) EXPECT_EQ(helperTakes(record(n)), ERROR_SUCCESS);
  EXPECT_EQ(helperTakes(record(5)), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(helperTakes(kHeader), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(file.UnlockRange(record(1), 1), ERROR_NOT_LOCKED);
  EXPECT_EQ(file.UnlockRun(record(5), 1), ERROR_SUCCESS);
  EXPECT_EQ(helperTakes(record(5)), ERROR_SUCCESS);
}

TEST(OsFileProcesses, LocksAndShareModeGoWithAKilledHolder) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/T.DAT";
  WriteText(path, "");
  OsFileHelperProcess helper;
  ASSERT_EQ(helper.AskCode(OpenCommand(path, "exclusive")), ERROR_SUCCESS);
  ASSERT_EQ(helper.AskCode("lock " + std::to_string(kHeader) + " 1"), ERROR_SUCCESS);

  OsFile file;
  EXPECT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SHARING_VIOLATION);
  helper.Kill();
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Exclusive), ERROR_SUCCESS);
  EXPECT_EQ(file.LockRange(kHeader, 1), ERROR_SUCCESS);
}

TEST(OsFileProcesses, ShareModesAcrossProcesses) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/T.DAT";
  WriteText(path, "");
  OsFileHelperProcess helper;
  OsFile file;

  ASSERT_EQ(helper.AskCode(OpenCommand(path, "exclusive")), ERROR_SUCCESS);
  EXPECT_EQ(file.Open(path, OsFileAccess::ReadOnly, OsFileShare::Shared), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Exclusive), ERROR_SHARING_VIOLATION);
  ASSERT_EQ(helper.AskCode("close"), ERROR_SUCCESS);

  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  EXPECT_EQ(helper.AskCode(OpenCommand(path, "exclusive")), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(helper.AskCode(OpenCommand(path, "shared")), ERROR_SUCCESS);
  file.Close();
  EXPECT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Exclusive), ERROR_SHARING_VIOLATION);

  ASSERT_EQ(helper.AskCode("close"), ERROR_SUCCESS);
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Exclusive), ERROR_SUCCESS);
  EXPECT_EQ(helper.AskCode(OpenCommand(path, "shared")), ERROR_SHARING_VIOLATION);
}

TEST(OsFileProcesses, DeleteAndRenameWaitForTheOtherProcess) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/T.DAT";
  const std::string renamed = folder.Path() + "/U.DAT";
  WriteText(path, "content");
  OsFileHelperProcess helper;
  ASSERT_EQ(helper.AskCode(OpenCommand(path, "shared")), ERROR_SUCCESS);

  EXPECT_EQ(OsFile::Delete(path), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(OsFile::Rename(path, renamed), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(ReadText(path), "content");
  EXPECT_FALSE(OsPath::FileExists(renamed));

  ASSERT_EQ(helper.AskCode("close"), ERROR_SUCCESS);
  ASSERT_EQ(OsFile::Rename(path, renamed), ERROR_SUCCESS);
  EXPECT_EQ(OsFile::Delete(renamed), ERROR_SUCCESS);
  EXPECT_FALSE(OsPath::FileExists(renamed));
}

TEST(OsFileProcesses, CreatingNeverEmptiesAnotherProcessFile) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/T.DAT";
  WriteText(path, "precious");
  OsFileHelperProcess helper;
  ASSERT_EQ(helper.AskCode(OpenCommand(path, "shared")), ERROR_SUCCESS);

  OsFile file;
  EXPECT_EQ(file.Create(path), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(ReadText(path), "precious");
  // Nor does the other process empty ours.
  ASSERT_EQ(helper.AskCode("close"), ERROR_SUCCESS);
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadOnly, OsFileShare::Shared), ERROR_SUCCESS);
  EXPECT_EQ(helper.AskCode("create " + path), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(ReadText(path), "precious");

  file.Close();
  ASSERT_EQ(file.Create(path), ERROR_SUCCESS);
  EXPECT_EQ(ReadText(path), "");
}

TEST(OsFileProcesses, UniqueNamesFromTwoProcessesNeverCollide) {
  TTestFolder folder;
  const std::string existing = folder.Path() + "/W0.TMP";
  WriteText(existing, "older work file");
  constexpr int kEach = 150;
  OsFileHelperProcess first, second;
  const std::string command = "unique " + folder.Path() + " W .TMP " + std::to_string(kEach);
  first.Send(command);
  second.Send(command);

  std::set<std::string> names;
  for (OsFileHelperProcess* helper : {&first, &second}) {
    std::istringstream answer(helper->Answer());
    OsError code = 1;
    answer >> code;
    ASSERT_EQ(code, ERROR_SUCCESS);
    for (std::string name; answer >> name;) names.insert(name);
  }
  EXPECT_EQ(names.size(), 2u * kEach);
  EXPECT_FALSE(names.contains(existing));
  EXPECT_EQ(ReadText(existing), "older work file");
  for (const std::string& name : names) EXPECT_TRUE(OsPath::FileExists(name)) << name;
}

}  // namespace
