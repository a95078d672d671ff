#include "osFileSystem.h"

#include <linux/magic.h>
#include <sys/statfs.h>

namespace {

bool LocalType(const struct statfs& system) {
  switch (static_cast<unsigned long>(system.f_type)) {
    case EXT4_SUPER_MAGIC:  // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool OsLocalFileSystemOf(int fd) {
  struct statfs system {};
  return fstatfs(fd, &system) == 0 && LocalType(system);
}

bool OsLocalFileSystemAt(const std::string& path) {
  struct statfs system {};
  return statfs(path.c_str(), &system) == 0 && LocalType(system);
}
