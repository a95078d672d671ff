#include "osFile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "osFileDescriptor.h"
#include "osFileRegistry.h"
#include "osPath.h"

namespace {

// O_NONBLOCK keeps a FIFO in place of the file from hanging the open; it
// does not change regular file I/O.
int OpenFlags(bool writable, const OsFileOptions& options) {
  return (writable ? O_RDWR : O_RDONLY) | O_NONBLOCK | (options.writeThrough ? O_DSYNC : 0);
}

// Keeping the access time is the owner's right alone: anyone else opens
// the file as usual.
int OpenWith(const std::string& path, int flags, const OsFileOptions& options, mode_t mode = 0) {
  if (options.keepAccessTime) {
    const int fd = OsOpenFile(path, flags | O_NOATIME, mode);
    if (fd >= 0 || errno != EPERM) return fd;
  }
  return OsOpenFile(path, flags, mode);
}

// Repeats a positioned transfer until count bytes moved, the end of the
// file came (0), or an error other than an interruption.
template <typename Transfer>
OsError TransferAll(size_t count, size_t& done, Transfer transfer) {
  done = 0;
  while (done < count) {
    const ssize_t moved = transfer(done);
    if (moved < 0) {
      if (errno == EINTR) continue;
      return OsErrorFromErrno(errno);
    }
    if (moved == 0) break;
    done += static_cast<size_t>(moved);
  }
  return ERROR_SUCCESS;
}

std::atomic<OsFile::SyncFault> syncFault{nullptr};

}  // namespace

OsFile::OsFile(OsFile&& other) noexcept
    : state(std::move(other.state)),
      readOnly(std::exchange(other.readOnly, false)),
      openedReadOnly(std::exchange(other.openedReadOnly, false)) {}

OsFile& OsFile::operator=(OsFile&& other) noexcept {
  if (this != &other) {
    Close();
    state = std::move(other.state);
    readOnly = std::exchange(other.readOnly, false);
    openedReadOnly = std::exchange(other.openedReadOnly, false);
  }
  return *this;
}

OsFile::~OsFile() { Close(); }

OsError OsFile::Open(const std::string& path, OsFileAccess access, OsFileShare share,
                     const OsFileOptions& options) {
  Close();
  const std::string fullPath = OsPath::ExpandFileName(path);
  if (fullPath.empty()) return ERROR_PATH_NOT_FOUND;
  OsPath::FileAttributes attributes;
  if (const OsError error = OsPath::GetFileAttributes(fullPath, attributes)) return error;
  if (attributes.directory) return ERROR_ACCESS_DENIED;

  const bool writable = !attributes.readOnly;
  const int fd = OpenWith(fullPath, OpenFlags(writable, options), options);
  if (fd < 0) return OsErrorFromErrno(errno, fullPath);
  const OsFileOpenRequest request{fullPath, writable, share, options, false};
  if (const OsError error = OsFileRegistry::Instance().Attach(fd, request, state)) return error;
  openedReadOnly = attributes.readOnly || !state->writable;
  readOnly = access == OsFileAccess::ReadOnly || openedReadOnly;
  return ERROR_SUCCESS;
}

OsError OsFile::Create(const std::string& path, const OsFileOptions& options) {
  Close();
  const std::string fullPath = OsPath::ExpandFileName(path);
  if (fullPath.empty()) return ERROR_PATH_NOT_FOUND;
  OsPath::FileAttributes attributes;
  const OsError probe = OsPath::GetFileAttributes(fullPath, attributes);
  if (probe == ERROR_SUCCESS && (attributes.readOnly || attributes.directory)) return ERROR_ACCESS_DENIED;
  if (probe != ERROR_SUCCESS && probe != ERROR_FILE_NOT_FOUND) return probe;

  // Never O_TRUNC: the file is emptied only after the exclusive share lock.
  const int fd = OpenWith(fullPath, OpenFlags(true, options) | O_CREAT, options, 0666);
  if (fd < 0) return OsErrorFromErrno(errno, fullPath);
  const OsFileOpenRequest request{fullPath, true, OsFileShare::Exclusive, options, true};
  return OsFileRegistry::Instance().Attach(fd, request, state);
}

void OsFile::Close() {
  if (!state) return;
  OsFileRegistry::Instance().Detach(state);
  state.reset();
  readOnly = false;
  openedReadOnly = false;
}

int OsFile::OpenCount() const { return state ? OsFileRegistry::Instance().OpenCount(*state) : 0; }

OsError OsFile::Read(int64_t offset, void* buffer, size_t count, size_t& done) const {
  done = 0;
  if (!state) return ERROR_INVALID_HANDLE;
  if (offset < 0) return ERROR_INVALID_PARAMETER;
  auto* bytes = static_cast<char*>(buffer);
  return TransferAll(count, done, [&](size_t moved) {
    return ::pread(state->fd, bytes + moved, count - moved, offset + static_cast<off_t>(moved));
  });
}

OsError OsFile::Write(int64_t offset, const void* buffer, size_t count, size_t& done) {
  done = 0;
  if (!state) return ERROR_INVALID_HANDLE;
  if (readOnly) return ERROR_ACCESS_DENIED;
  if (offset < 0) return ERROR_INVALID_PARAMETER;
  const auto* bytes = static_cast<const char*>(buffer);
  const OsError error = TransferAll(count, done, [&](size_t moved) {
    return ::pwrite(state->fd, bytes + moved, count - moved, offset + static_cast<off_t>(moved));
  });
  // A write that moves nothing without an error means no room is left.
  return error == ERROR_SUCCESS && done < count ? ERROR_DISK_FULL : error;
}

OsError OsFile::WriteGathered(int64_t offset, std::span<const std::span<const uint8_t>> pieces, size_t& done) {
  done = 0;
  if (!state) return ERROR_INVALID_HANDLE;
  if (readOnly) return ERROR_ACCESS_DENIED;
  if (offset < 0) return ERROR_INVALID_PARAMETER;
  size_t count = 0;
  for (const std::span<const uint8_t>& piece : pieces) count += piece.size();
  // Every system takes this many pieces a call; more go in the next.
  constexpr size_t MostPiecesPerCall = 16;
  std::array<iovec, MostPiecesPerCall> vectors;
  const OsError error = TransferAll(count, done, [&](size_t moved) {
    // The pieces from the first byte not written yet on.
    size_t used = 0;
    size_t skipped = moved;
    for (const std::span<const uint8_t>& piece : pieces) {
      if (used == vectors.size()) break;
      if (skipped >= piece.size()) {
        skipped -= piece.size();
        continue;
      }
      vectors[used++] = {const_cast<uint8_t*>(piece.data() + skipped), piece.size() - skipped};
      skipped = 0;
    }
    return ::pwritev(state->fd, vectors.data(), int(used), offset + static_cast<off_t>(moved));
  });
  // A write that moves nothing without an error means no room is left.
  return error == ERROR_SUCCESS && done < count ? ERROR_DISK_FULL : error;
}

OsError OsFile::SetEnd(int64_t size) {
  if (!state) return ERROR_INVALID_HANDLE;
  if (readOnly) return ERROR_ACCESS_DENIED;
  if (size < 0) return ERROR_INVALID_PARAMETER;
  int result;
  do {
    result = ::ftruncate(state->fd, size);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? ERROR_SUCCESS : OsErrorFromErrno(errno);
}

// A sync that failed may have left the pages it could not write dropped or
// marked clean, so the next sync would succeed without them: the file stays
// failed while this descriptor lives, and a caller that wants to try again
// reopens it and writes what the file really holds.
OsError OsFile::Flush() {
  if (!state) return ERROR_INVALID_HANDLE;
  if (const OsError failed = state->syncError.load()) return failed;
  OsError error = ::fdatasync(state->fd) == 0 ? ERROR_SUCCESS : OsErrorFromErrno(errno);
  if (error == ERROR_SUCCESS)
    if (const SyncFault fault = syncFault.load()) error = fault(state->path);
  if (error == ERROR_SUCCESS) return ERROR_SUCCESS;
  OsError first = ERROR_SUCCESS;
  return state->syncError.compare_exchange_strong(first, error) ? error : first;
}

void OsFile::SetSyncFault(SyncFault fault) { syncFault.store(fault); }

OsError OsFile::Size(int64_t& size) const {
  size = 0;
  if (!state) return ERROR_INVALID_HANDLE;
  struct stat st;
  if (::fstat(state->fd, &st) != 0) return OsErrorFromErrno(errno);
  size = st.st_size;
  return ERROR_SUCCESS;
}

OsFileHeadMap OsFile::MapHead(OsFileHead& head) const {
  if (!state) return OsFileHeadMap::Unavailable;
  return head.Map(state->fd);
}

bool OsFile::MapWindow(OsReadWindow& window, int64_t offset, size_t length) const {
  return state && window.Map(state->fd, offset, length);
}

bool OsFile::StoreInPlace(OsWritableMapping& mapping, int64_t offset, const void* window) {
  return state && !readOnly && mapping.Store(state->fd, offset, window);
}

int64_t OsFile::SizeLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > uint64_t(INT64_MAX))
    return INT64_MAX;
  return int64_t(limit.rlim_cur);
}

OsError OsFile::LockRange(int64_t offset, int64_t length) {
  if (!state) return ERROR_INVALID_HANDLE;
  const OsLockKind kind = state->writable ? OsLockKind::Write : OsLockKind::Read;
  return state->ranges.Lock(state->fd, kind, offset, length);
}

OsError OsFile::UnlockRange(int64_t offset, int64_t length) {
  if (!state) return ERROR_INVALID_HANDLE;
  return state->ranges.Unlock(state->fd, offset, length);
}

OsError OsFile::UnlockRun(int64_t offset, int64_t length) {
  if (!state) return ERROR_INVALID_HANDLE;
  return state->ranges.UnlockRun(state->fd, offset, length);
}
