#pragma once
// Path services with Windows meaning on a "/" file system.

#include <string>

#include "osErrors.h"

namespace OsPath {

// The path made absolute against the current folder, with "." and ".."
// resolved by text and repeated separators folded; symbolic links are left
// alone. A trailing "/" stays. An empty path, or a current folder that cannot
// be read, gives an empty result.
std::string ExpandFileName(const std::string& path);

// True when path names something that is not a folder.
bool FileExists(const std::string& path);

struct FileAttributes {
  // The Windows read-only attribute: the file carries no write permission
  // bit at all, or we may not write it (permissions, read-only file system).
  bool readOnly = false;
  bool directory = false;
};

[[nodiscard]] OsError GetFileAttributes(const std::string& path, FileAttributes& attributes);

// The name of the entry in folder that equals name ignoring case (simple
// Unicode case folding over UTF-8; bytes that are not UTF-8 must match
// exactly), or empty when there is none. An exact match wins; among several
// matches that differ only in case the byte-wise smallest is taken, so the
// answer does not depend on directory order. name must be a bare name.
std::string FindFileIgnoreCase(const std::string& folder, const std::string& name);

}  // namespace OsPath
