#pragma once
// Whether a file lies on a local file system: one whose only cache is this
// machine's page cache and whose times this machine's clock stamps (ext2/3/4,
// XFS, Btrfs, tmpfs, F2FS, overlay). Network shares keep caches and clocks
// of other machines; FUSE and unknown file systems may keep their own.

#include <string>

bool OsLocalFileSystemOf(int fd);
bool OsLocalFileSystemAt(const std::string& path);
