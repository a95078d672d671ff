#include "osErrors.h"

#include <sys/stat.h>

#include <cerrno>

#include "rtlExceptions.h"

OsError OsErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENODEV: return ERROR_INVALID_DRIVE;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    default: return OS_ERRNO_FLAG | static_cast<OsError>(err);
  }
}

OsError OsErrorFromErrno(int err, const std::string& path) {
  if (err != ENOENT) return OsErrorFromErrno(err);
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  struct stat st;
  const bool folderExists = ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

std::string OsErrorMessage(OsError code) {
  if (code & OS_ERRNO_FLAG) return SysErrorMessage(static_cast<int>(code & ~OS_ERRNO_FLAG));
  switch (code) {
    case ERROR_SUCCESS: return "The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND: return "The file was not found.";
    case ERROR_PATH_NOT_FOUND: return "The path was not found.";
    case ERROR_TOO_MANY_OPEN_FILES: return "Too many files are open.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_INVALID_HANDLE: return "The file handle is not valid.";
    case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory is available.";
    case ERROR_INVALID_DRIVE: return "The drive or device was not found.";
    case ERROR_NOT_SAME_DEVICE: return "The file cannot be moved to a different file system.";
    case ERROR_SHARING_VIOLATION: return "The file is in use by another process.";
    case ERROR_LOCK_VIOLATION: return "A part of the file is locked by another user.";
    case ERROR_NETWORK_ACCESS_DENIED: return "Network access is denied.";
    case ERROR_FILE_EXISTS: return "The file exists.";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
    case ERROR_DISK_FULL: return "There is not enough space on the disk.";
    case ERROR_DIR_NOT_EMPTY: return "The folder is not empty.";
    case ERROR_NOT_LOCKED: return "The range was not locked.";
    case ERROR_FILENAME_EXCED_RANGE: return "The file name is too long.";
    case ERROR_FILE_TOO_LARGE: return "The file is too large.";
    default: return "System error " + std::to_string(code) + ".";
  }
}
