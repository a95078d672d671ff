#include "osFileRegistry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "osFileDescriptor.h"
#include "osFileLock.h"

namespace {

OsError KeyOf(int fd, OsFileKey& key) {
  struct stat st;
  if (fstat(fd, &st) != 0) return OsErrorFromErrno(errno);
  if (!S_ISREG(st.st_mode)) return ERROR_ACCESS_DENIED;
  key = {st.st_dev, st.st_ino};
  return ERROR_SUCCESS;
}

// A file cut to nothing is written out at its close (the file system's guard
// for files replaced by truncation), and a short-lived file written out pays
// for its blocks again when it is deleted. A file that is empty already
// needs no cut.
bool IsEmpty(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && st.st_size == 0;
}

// Only the file that was opened goes, not one put in its place since.
void RemoveIfSameFile(const std::string& path, const OsFileKey& key) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && st.st_dev == key.device && st.st_ino == key.inode) {
    ::unlink(path.c_str());
  }
}

}  // namespace

OsFileRegistry& OsFileRegistry::Instance() {
  // Never destroyed: handles in static objects may close after exit begins.
  static auto* registry = new OsFileRegistry;
  return *registry;
}

OsError OsFileRegistry::Attach(int fd, const OsFileOpenRequest& request, std::shared_ptr<OsFileState>& state) {
  OsFileDescriptor owned(fd);
  OsFileKey key;
  if (const OsError error = KeyOf(fd, key)) return error;
  const bool exclusive = request.share == OsFileShare::Exclusive;

  std::lock_guard guard(mutex);
  if (const auto found = files.find(key); found != files.end()) {
    OsFileState& open = *found->second;
    if (request.emptyFirst || exclusive || open.exclusive) return ERROR_SHARING_VIOLATION;
    ++open.openCount;
    open.deleteOnClose = open.deleteOnClose || request.options.deleteOnClose;
    state = found->second;
    return ERROR_SUCCESS;
  }

  // A read-only descriptor cannot write-lock; its exclusive open falls back to a read lock.
  const OsLockKind shareKind = exclusive && request.writable ? OsLockKind::Write : OsLockKind::Read;
  const OsError shareError = OsTryLockBytes(fd, shareKind, kOsShareLockOffset, 1);
  if (shareError == ERROR_LOCK_VIOLATION) return ERROR_SHARING_VIOLATION;
  if (shareError) return shareError;
  if (request.emptyFirst && !IsEmpty(fd) && ftruncate(fd, 0) != 0) return OsErrorFromErrno(errno);
  posix_fadvise(fd, 0, 0, request.options.sequential ? POSIX_FADV_SEQUENTIAL : POSIX_FADV_RANDOM);

  auto created = std::make_shared<OsFileState>();
  created->fd = owned.Release();
  created->key = key;
  created->path = request.path;
  created->writable = request.writable;
  created->exclusive = exclusive;
  created->deleteOnClose = request.options.deleteOnClose;
  created->openCount = 1;
  files.emplace(key, created);
  state = std::move(created);
  return ERROR_SUCCESS;
}

void OsFileRegistry::Detach(const std::shared_ptr<OsFileState>& state) {
  std::lock_guard guard(mutex);
  if (--state->openCount > 0) return;
  files.erase(state->key);
  // Removed while the share lock still keeps other processes out.
  if (state->deleteOnClose) RemoveIfSameFile(state->path, state->key);
  ::close(state->fd);
  state->fd = -1;
}

int OsFileRegistry::OpenCount(const OsFileState& state) {
  std::lock_guard guard(mutex);
  return state.openCount;
}

OsError OsFileRegistry::WhileClosedEverywhere(const std::string& path, const std::function<OsError()>& action) {
  std::lock_guard guard(mutex);
  // Non-blocking, so that a FIFO cannot hang the probe.
  OsFileDescriptor probe(OsOpenFile(path, O_RDONLY | O_NONBLOCK));
  if (probe.Get() < 0) return OsErrorFromErrno(errno, path);
  struct stat st;
  if (fstat(probe.Get(), &st) != 0) return OsErrorFromErrno(errno);
  if (files.contains(OsFileKey{st.st_dev, st.st_ino})) return ERROR_SHARING_VIOLATION;
  bool lockedElsewhere = false;
  if (const OsError error = OsBytesLockedByOthers(probe.Get(), kOsShareLockOffset, 1, lockedElsewhere)) {
    return error;
  }
  if (lockedElsewhere) return ERROR_SHARING_VIOLATION;
  return action();
}
