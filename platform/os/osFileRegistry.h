#pragma once
// The process's table of open files, one entry per device and inode, behind
// the OsFile handles. Share locks are taken and descriptors closed under its
// mutex, so a file's first open, last close, deletion and renaming never
// interleave within the process.

#include <sys/types.h>

#include <atomic>
#include <compare>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "osFile.h"
#include "osFileRanges.h"

struct OsFileKey {
  dev_t device;
  ino_t inode;
  auto operator<=>(const OsFileKey&) const = default;
};

struct OsFileState {
  int fd = -1;
  OsFileKey key{};
  std::string path;  // full path at the first open, for delete-on-close
  bool writable = false;
  bool exclusive = false;
  bool deleteOnClose = false;  // registry mutex
  int openCount = 0;           // registry mutex
  // The first failed sync's error, kept until the descriptor closes.
  std::atomic<OsError> syncError{ERROR_SUCCESS};
  OsFileRangeTable ranges;
};

struct OsFileOpenRequest {
  std::string path;  // full path
  bool writable;     // the descriptor was opened for writing
  OsFileShare share;
  OsFileOptions options;
  bool emptyFirst;   // creation: empty the file once held exclusively
};

class OsFileRegistry {
public:
  static OsFileRegistry& Instance();

  // Takes over fd: either it becomes the file's shared descriptor, or the
  // file is already open here and fd is closed, or fd is closed on failure.
  [[nodiscard]] OsError Attach(int fd, const OsFileOpenRequest& request, std::shared_ptr<OsFileState>& state);
  // Ends one handle; the last one closes the descriptor.
  void Detach(const std::shared_ptr<OsFileState>& state);
  int OpenCount(const OsFileState& state);
  // Runs action unless path is open in this or another process
  // (ERROR_SHARING_VIOLATION); no open or close of this process interleaves.
  [[nodiscard]] OsError WhileClosedEverywhere(const std::string& path, const std::function<OsError()>& action);

private:
  std::mutex mutex;
  std::map<OsFileKey, std::shared_ptr<OsFileState>> files;
};
