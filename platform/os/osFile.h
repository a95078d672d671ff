#pragma once
// A file handle with Windows meaning on Linux.
//
// One descriptor serves each distinct file (device and inode) per process:
// a further open of the same file, under any name, shares the descriptor,
// its options and its locked ranges, and the descriptor closes with the last
// handle. The file position is the caller's: reads and writes name their
// offset.
//
// Between processes, share modes and byte-range locks are open-file-
// description locks: an exclusive open write-locks the share byte
// (kOsShareLockOffset), a shared open read-locks it. Inside the process an
// exclusive open is refused while the file is open, and any open while it is
// held exclusively (ERROR_SHARING_VIOLATION).
//
// A descriptor is opened for writing whenever the file allows it, so that its
// locks can be write locks; a handle opened for reading only refuses writes
// itself. When the file is read-only (see OsPath::FileAttributes) the
// descriptor can only carry read locks: its range locks and an exclusive
// share mode then keep writers out but not other readers.
//
// Every call returns ERROR_SUCCESS or a Windows error number (osErrors.h).
// A handle is used by one thread at a time, except that Read, Write,
// LockRange, UnlockRange and UnlockRun may run on several threads at once
// while it stays open (transfers name their offset, the locked ranges have a
// lock of their own); handles of one file may be used by different threads
// at once.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "osErrors.h"
#include "osFileHead.h"
#include "osReadWindow.h"
#include "osWritableMapping.h"

struct OsFileState;

enum class OsFileAccess { ReadOnly, ReadWrite };
enum class OsFileShare { Exclusive, Shared };

// Options of the first opener; later openers of the same file share them,
// except that delete-on-close from any opener sticks.
struct OsFileOptions {
  bool deleteOnClose = false;  // remove the file when its last handle in this process closes
  bool writeThrough = false;   // each write reaches the disk before returning
  bool sequential = false;     // read-ahead hint; random access otherwise
  bool keepAccessTime = false; // reads leave the access time (where this user owns the file)
};

class OsFile {
public:
  OsFile() = default;
  OsFile(OsFile&& other) noexcept;
  OsFile& operator=(OsFile&& other) noexcept;
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;
  ~OsFile();

  // Opens an existing file. A read-only file opens for reading and sets
  // OpenedReadOnly(), whatever access asks for.
  [[nodiscard]] OsError Open(const std::string& path, OsFileAccess access, OsFileShare share,
                             const OsFileOptions& options = {});
  // Creates the file, or empties an existing one, for reading and writing,
  // held exclusively. An existing file is emptied only once this process
  // holds it exclusively: a file open anywhere else gives
  // ERROR_SHARING_VIOLATION and keeps its content; a read-only file gives
  // ERROR_ACCESS_DENIED.
  [[nodiscard]] OsError Create(const std::string& path, const OsFileOptions& options = {});
  // Releases this handle; the last handle of a file closes its descriptor,
  // which drops its locks. Closing a closed handle does nothing.
  void Close();

  bool IsOpen() const { return state != nullptr; }
  // The file's read-only attribute forced this handle to read access.
  bool OpenedReadOnly() const { return openedReadOnly; }
  // The number of open handles of this file in the process (0 when closed).
  int OpenCount() const;

  // Reads up to count bytes at offset; fewer only at the end of the file.
  [[nodiscard]] OsError Read(int64_t offset, void* buffer, size_t count, size_t& done) const;
  // Writes count bytes at offset, extending the file as needed.
  [[nodiscard]] OsError Write(int64_t offset, const void* buffer, size_t count, size_t& done);
  // Writes the pieces end to end from offset, as one Write of their joined
  // bytes would, without joining them: one call of the system for as many
  // pieces as it takes at once.
  [[nodiscard]] OsError WriteGathered(int64_t offset, std::span<const std::span<const uint8_t>> pieces, size_t& done);
  // Makes the file size bytes long.
  [[nodiscard]] OsError SetEnd(int64_t size);
  // Writes the file's data through to the disk. Once a sync of the file
  // failed, every later one gives that error without asking the disk, until
  // the file's last handle in the process closed and it is opened again.
  [[nodiscard]] OsError Flush();
  [[nodiscard]] OsError Size(int64_t& size) const;
  // Maps the file's first page into head (osFileHead.h).
  OsFileHeadMap MapHead(OsFileHead& head) const;
  // Maps length bytes from offset into window (osReadWindow.h); false on a
  // file system that is not local or when the mapping fails.
  [[nodiscard]] bool MapWindow(OsReadWindow& window, int64_t offset, size_t length) const;
  // Stores OsWritableMapping::StoreWidth bytes of window at offset through
  // mapping; false, with nothing changed, where that cannot be done: write
  // them.
  [[nodiscard]] bool StoreInPlace(OsWritableMapping& mapping, int64_t offset, const void* window);
  // The size past which this process may not write to files (its file-size
  // limit): a write call there fails, a store through a mapping would not.
  static int64_t SizeLimit();

  // For tests: called with the file's full path after every sync the disk
  // accepted; an error it returns stands for the disk's answer. Null, as
  // outside tests, leaves every sync to the disk.
  using SyncFault = OsError (*)(const std::string& path);
  static void SetSyncFault(SyncFault fault);

  // Exclusive byte-range lock, as Windows LockFile: fails at once with
  // ERROR_LOCK_VIOLATION when the range overlaps a range locked by this
  // process (through any handle of the file) or by another process. Ranges
  // must end at or below kOsShareLockOffset (osFileLock.h). Locks belong to
  // the shared descriptor: any handle of the file may unlock them, and they
  // go when its last handle closes.
  [[nodiscard]] OsError LockRange(int64_t offset, int64_t length);
  // Unlocks a range locked with exactly this start and length, else
  // ERROR_NOT_LOCKED.
  [[nodiscard]] OsError UnlockRange(int64_t offset, int64_t length);
  // Unlocks adjacent ranges that together cover exactly this span, as one
  // step for other processes (one call instead of one per range); else
  // ERROR_NOT_LOCKED and every range stays locked.
  [[nodiscard]] OsError UnlockRun(int64_t offset, int64_t length);

  // Deletes a file; ERROR_SHARING_VIOLATION while any process has it open.
  [[nodiscard]] static OsError Delete(const std::string& path);
  // Renames a file. ERROR_SHARING_VIOLATION while any process has it open,
  // ERROR_FILE_EXISTS when newPath exists, ERROR_NOT_SAME_DEVICE across file
  // systems (the caller decides whether to copy).
  [[nodiscard]] static OsError Rename(const std::string& oldPath, const std::string& newPath);
  // Creates a new empty file at path, never touching an existing one:
  // ERROR_FILE_EXISTS when the name is taken. The file is closed again.
  [[nodiscard]] static OsError CreateNew(const std::string& path);
  // Creates a new empty file folder/<prefix><n><ext> with the smallest n
  // from 0 whose name is free at that moment, never touching an existing
  // file, and returns its path in createdPath. The file is closed again.
  [[nodiscard]] static OsError CreateUnique(const std::string& folder, const std::string& prefix,
                                            const std::string& ext, std::string& createdPath);

private:
  std::shared_ptr<OsFileState> state;
  bool readOnly = false;
  bool openedReadOnly = false;
};
