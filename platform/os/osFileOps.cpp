// Operations on files by name: deleting, renaming, creating unique names.

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "osFile.h"
#include "osFileDescriptor.h"
#include "osFileRegistry.h"
#include "osPath.h"

namespace {

// Enough for any folder of work files; it only bounds a folder filled with
// every possible name.
constexpr unsigned kMaxUniqueAttempts = 1000000;

// Never replaces an existing target, as Windows renaming does not.
OsError RenameWithoutReplacing(const std::string& oldPath, const std::string& newPath) {
  if (renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0) {
    return ERROR_SUCCESS;
  }
  if (errno != EINVAL) return OsErrorFromErrno(errno, newPath);
  // The file system cannot refuse by itself: check first, then rename.
  struct stat st;
  if (::lstat(newPath.c_str(), &st) == 0) return ERROR_FILE_EXISTS;
  return ::rename(oldPath.c_str(), newPath.c_str()) == 0 ? ERROR_SUCCESS : OsErrorFromErrno(errno, newPath);
}

}  // namespace

OsError OsFile::Delete(const std::string& path) {
  const std::string fullPath = OsPath::ExpandFileName(path);
  if (fullPath.empty()) return ERROR_PATH_NOT_FOUND;
  return OsFileRegistry::Instance().WhileClosedEverywhere(fullPath, [&] {
    return ::unlink(fullPath.c_str()) == 0 ? ERROR_SUCCESS : OsErrorFromErrno(errno, fullPath);
  });
}

OsError OsFile::Rename(const std::string& oldPath, const std::string& newPath) {
  const std::string fullOld = OsPath::ExpandFileName(oldPath);
  const std::string fullNew = OsPath::ExpandFileName(newPath);
  if (fullOld.empty() || fullNew.empty()) return ERROR_PATH_NOT_FOUND;
  return OsFileRegistry::Instance().WhileClosedEverywhere(
      fullOld, [&] { return RenameWithoutReplacing(fullOld, fullNew); });
}

OsError OsFile::CreateNew(const std::string& path) {
  OsFileDescriptor fd(OsOpenFile(path, O_RDWR | O_CREAT | O_EXCL, 0666));
  if (fd.Get() >= 0) return ERROR_SUCCESS;
  return errno == EEXIST ? ERROR_FILE_EXISTS : OsErrorFromErrno(errno, path);
}

OsError OsFile::CreateUnique(const std::string& folder, const std::string& prefix, const std::string& ext,
                             std::string& createdPath) {
  createdPath.clear();
  const std::string stem = folder.empty() || folder.back() == '/' ? folder + prefix : folder + "/" + prefix;
  for (unsigned n = 0; n < kMaxUniqueAttempts; ++n) {
    const std::string candidate = stem + std::to_string(n) + ext;
    const OsError error = CreateNew(candidate);
    if (error == ERROR_SUCCESS) {
      createdPath = candidate;
      return ERROR_SUCCESS;
    }
    if (error != ERROR_FILE_EXISTS) return error;
  }
  return ERROR_FILE_EXISTS;
}
