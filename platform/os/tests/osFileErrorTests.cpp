#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "osErrors.h"

namespace {

TEST(OsFileErrors, ErrnoMapsToWindowsNumbers) {
  const std::pair<int, OsError> cases[] = {
      {0, ERROR_SUCCESS},          {ENOENT, ERROR_FILE_NOT_FOUND},      {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {EMFILE, ERROR_TOO_MANY_OPEN_FILES}, {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
      {EACCES, ERROR_ACCESS_DENIED}, {EPERM, ERROR_ACCESS_DENIED},     {EROFS, ERROR_ACCESS_DENIED},
      {EISDIR, ERROR_ACCESS_DENIED}, {EBADF, ERROR_INVALID_HANDLE},    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
      {ENODEV, ERROR_INVALID_DRIVE}, {EXDEV, ERROR_NOT_SAME_DEVICE},   {EBUSY, ERROR_SHARING_VIOLATION},
      {EEXIST, ERROR_FILE_EXISTS},   {ENOSPC, ERROR_DISK_FULL},        {EDQUOT, ERROR_DISK_FULL},
      {EINVAL, ERROR_INVALID_PARAMETER}, {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
  };
  for (const auto& [err, expected] : cases) EXPECT_EQ(OsErrorFromErrno(err), expected) << strerror(err);
}

TEST(OsFileErrors, UnmappedErrnoKeepsItsValueAndText) {
  const OsError code = OsErrorFromErrno(EIO);
  EXPECT_EQ(code, OS_ERRNO_FLAG | EIO);
  EXPECT_EQ(OsErrorMessage(code), strerror(EIO));
}

TEST(OsFileErrors, MissingFileOrMissingFolder) {
  EXPECT_EQ(OsErrorFromErrno(ENOENT, "/nonexistent-folder/x.dat"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(OsErrorFromErrno(ENOENT, "/tmp/nonexistent.dat"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OsErrorFromErrno(ENOENT, "bare.dat"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OsErrorFromErrno(EACCES, "/nonexistent-folder/x.dat"), ERROR_ACCESS_DENIED);
}

}  // namespace
