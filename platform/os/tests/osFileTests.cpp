#include "osFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "osFileTestText.h"
#include "osPath.h"
#include "osSettingsTestFolder.h"

namespace {

std::string ReadAll(const OsFile& file, size_t count = 64) {
  std::string text(count, '\0');
  size_t done = 0;
  EXPECT_EQ(file.Read(0, text.data(), count, done), ERROR_SUCCESS);
  text.resize(done);
  return text;
}

TEST(OsFile, OneDescriptorPerFileWhateverTheName) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/ORDERS.DAT";
  WriteText(path, "hello");
  ASSERT_EQ(link(path.c_str(), (folder.Path() + "/alias.dat").c_str()), 0);

  OsFile first, second, third;
  ASSERT_EQ(first.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  ASSERT_EQ(second.Open(folder.Path() + "/alias.dat", OsFileAccess::ReadWrite, OsFileShare::Shared),
            ERROR_SUCCESS);
  ASSERT_EQ(third.Open(folder.Path() + "/./sub/../ORDERS.DAT", OsFileAccess::ReadOnly, OsFileShare::Shared),
            ERROR_SUCCESS);
  EXPECT_EQ(first.OpenCount(), 3);
  // The locked ranges are the shared descriptor's, seen through every handle.
  ASSERT_EQ(first.LockRange(0x7FFFFFFF, 1), ERROR_SUCCESS);
  EXPECT_EQ(second.LockRange(0x7FFFFFFF, 1), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(third.UnlockRange(0x7FFFFFFF, 1), ERROR_SUCCESS);

  first.Close();
  third.Close();
  EXPECT_EQ(second.OpenCount(), 1);
  EXPECT_EQ(ReadAll(second), "hello");
  OsFile moved = std::move(second);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(ReadAll(moved), "hello");
}

TEST(OsFile, ShareRulesInsideTheProcess) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/T.DAT";
  WriteText(path, "data");

  OsFile shared, other;
  ASSERT_EQ(shared.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  EXPECT_EQ(other.Open(path, OsFileAccess::ReadWrite, OsFileShare::Exclusive), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(other.Create(path), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(other.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  shared.Close();
  other.Close();

  OsFile exclusive;
  ASSERT_EQ(exclusive.Open(path, OsFileAccess::ReadWrite, OsFileShare::Exclusive), ERROR_SUCCESS);
  EXPECT_EQ(other.Open(path, OsFileAccess::ReadOnly, OsFileShare::Shared), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(other.IsOpen());
  EXPECT_EQ(ReadText(path), "data");
}

TEST(OsFile, PositionedReadsWritesAndEnd) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/W.DAT";
  OsFile file;
  ASSERT_EQ(file.Create(path), ERROR_SUCCESS);
  size_t done = 0;
  ASSERT_EQ(file.Write(4, "tail", 4, done), ERROR_SUCCESS);
  EXPECT_EQ(done, 4u);
  ASSERT_EQ(file.Write(0, "head", 4, done), ERROR_SUCCESS);
  EXPECT_EQ(ReadAll(file), "headtail");

  char buffer[8];
  ASSERT_EQ(file.Read(6, buffer, sizeof buffer, done), ERROR_SUCCESS);
  EXPECT_EQ(std::string(buffer, done), "il");
  ASSERT_EQ(file.Read(100, buffer, sizeof buffer, done), ERROR_SUCCESS);
  EXPECT_EQ(done, 0u);

  int64_t size = 0;
  ASSERT_EQ(file.SetEnd(2), ERROR_SUCCESS);
  ASSERT_EQ(file.Size(size), ERROR_SUCCESS);
  EXPECT_EQ(size, 2);
  ASSERT_EQ(file.SetEnd(5), ERROR_SUCCESS);
  EXPECT_EQ(ReadAll(file), std::string("he\0\0\0", 5));
  EXPECT_EQ(file.Flush(), ERROR_SUCCESS);
  EXPECT_EQ(file.Write(-1, "x", 1, done), ERROR_INVALID_PARAMETER);

  OsFile reader;
  ASSERT_EQ(reader.Open(path, OsFileAccess::ReadOnly, OsFileShare::Shared), ERROR_SHARING_VIOLATION);
  file.Close();
  ASSERT_EQ(reader.Open(path, OsFileAccess::ReadOnly, OsFileShare::Shared), ERROR_SUCCESS);
  EXPECT_FALSE(reader.OpenedReadOnly());
  EXPECT_EQ(reader.Write(0, "x", 1, done), ERROR_ACCESS_DENIED);
  EXPECT_EQ(reader.SetEnd(0), ERROR_ACCESS_DENIED);

  reader.Close();
  EXPECT_EQ(reader.Read(0, buffer, 1, done), ERROR_INVALID_HANDLE);
  EXPECT_EQ(reader.LockRange(0, 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(reader.Size(size), ERROR_INVALID_HANDLE);
}

// Creation leaves an empty file whatever was there: the cut is skipped only
// where there is nothing to cut.
// A file opened to keep its access time reads without moving it; opened
// as usual, a read of a file last read two days ago moves it.
TEST(OsFile, ReadsKeepTheAccessTimeWhenAsked) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/KEPT.DAT";
  WriteText(path, "hello");
  for (const bool keep : {true, false}) {
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    const timespec twoDaysAgo{before.st_mtim.tv_sec - 2 * 24 * 3600, 0};
    const timespec times[2] = {twoDaysAgo, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    OsFile file;
    OsFileOptions options;
    options.keepAccessTime = keep;
    ASSERT_EQ(file.Open(path, OsFileAccess::ReadOnly, OsFileShare::Shared, options), ERROR_SUCCESS);
    EXPECT_EQ(ReadAll(file), "hello");
    file.Close();
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_atim.tv_sec == twoDaysAgo.tv_sec, keep) << (keep ? "kept" : "as usual");
  }
}

TEST(OsFile, CreateEmptiesWhateverWasThere) {
  struct TCase {
    const char* before;  // nullptr: no file
  };
  for (const TCase& c : {TCase{nullptr}, TCase{""}, TCase{"old contents"}}) {
    TTestFolder folder;
    const std::string path = folder.Path() + "/C.DAT";
    if (c.before) WriteText(path, c.before);
    OsFile file;
    ASSERT_EQ(file.Create(path), ERROR_SUCCESS);
    int64_t size = -1;
    ASSERT_EQ(file.Size(size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0) << (c.before ? c.before : "(none)");
    size_t done = 0;
    ASSERT_EQ(file.Write(0, "new", 3, done), ERROR_SUCCESS);
    file.Close();
    EXPECT_EQ(ReadText(path), "new");
  }
}

TEST(OsFile, ReadOnlyFileOpensForReading) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/RO.DAT";
  WriteText(path, "keep");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);

  OsFile file;
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  EXPECT_TRUE(file.OpenedReadOnly());
  size_t done = 0;
  EXPECT_EQ(file.Write(0, "lost", 4, done), ERROR_ACCESS_DENIED);
  // Its descriptor carries read locks, still exclusive inside the process.
  ASSERT_EQ(file.LockRange(100, 1), ERROR_SUCCESS);
  EXPECT_EQ(file.LockRange(100, 1), ERROR_LOCK_VIOLATION);
  file.Close();

  OsFile creator;
  EXPECT_EQ(creator.Create(path), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadText(path), "keep");
}

TEST(OsFile, DeleteOnCloseWaitsForTheLastHandle) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/WORK.TMP";
  OsFile creator, opener;
  ASSERT_EQ(creator.Create(path, {.deleteOnClose = true}), ERROR_SUCCESS);
  creator.Close();
  EXPECT_FALSE(OsPath::FileExists(path));

  WriteText(path, "x");
  ASSERT_EQ(creator.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_SUCCESS);
  ASSERT_EQ(opener.Open(path, OsFileAccess::ReadWrite, OsFileShare::Shared, {.deleteOnClose = true}),
            ERROR_SUCCESS);
  opener.Close();
  EXPECT_TRUE(OsPath::FileExists(path));
  // Another file put in its place meanwhile is not removed.
  ASSERT_EQ(std::rename(path.c_str(), (path + ".old").c_str()), 0);
  WriteText(path, "newcomer");
  creator.Close();
  EXPECT_EQ(ReadText(path), "newcomer");
}

TEST(OsFile, DeleteAndRenameByName) {
  TTestFolder folder;
  const std::string path = folder.Path() + "/A.DAT";
  const std::string target = folder.Path() + "/B.DAT";
  WriteText(path, "a");
  WriteText(target, "b");

  OsFile file;
  ASSERT_EQ(file.Open(path, OsFileAccess::ReadOnly, OsFileShare::Shared), ERROR_SUCCESS);
  EXPECT_EQ(OsFile::Delete(path), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(OsFile::Rename(path, folder.Path() + "/C.DAT"), ERROR_SHARING_VIOLATION);
  file.Close();

  EXPECT_EQ(OsFile::Rename(path, target), ERROR_FILE_EXISTS);
  EXPECT_EQ(ReadText(target), "b");
  EXPECT_EQ(OsFile::Rename(path, folder.Path() + "/missing/C.DAT"), ERROR_PATH_NOT_FOUND);
  ASSERT_EQ(OsFile::Rename(path, folder.Path() + "/C.DAT"), ERROR_SUCCESS);
  EXPECT_EQ(ReadText(folder.Path() + "/C.DAT"), "a");
  EXPECT_EQ(OsFile::Rename(path, target), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OsFile::Delete(folder.Path() + "/C.DAT"), ERROR_SUCCESS);
  EXPECT_EQ(OsFile::Delete(folder.Path() + "/C.DAT"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OsFile::Delete(folder.Path()), ERROR_ACCESS_DENIED);
}

TEST(OsFile, OpenFailuresCarryWindowsNumbers) {
  TTestFolder folder;
  OsFile file;
  EXPECT_EQ(file.Open(folder.Path() + "/none.dat", OsFileAccess::ReadWrite, OsFileShare::Shared),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(file.Open(folder.Path() + "/no/none.dat", OsFileAccess::ReadWrite, OsFileShare::Shared),
            ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(file.Open(folder.Path(), OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_ACCESS_DENIED);
  EXPECT_EQ(file.Create(folder.Path() + "/no/new.dat"), ERROR_PATH_NOT_FOUND);
  ASSERT_EQ(mkfifo((folder.Path() + "/pipe").c_str(), 0666), 0);
  EXPECT_EQ(file.Open(folder.Path() + "/pipe", OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_ACCESS_DENIED);
  EXPECT_EQ(file.Open("", OsFileAccess::ReadWrite, OsFileShare::Shared), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(file.IsOpen());
}

}  // namespace
