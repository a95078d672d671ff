#pragma once
// One table's view of one of its files: the base of the data, index and
// BLOB file classes. It opens the shared file object through the file list
// and raises every failure as an engine error named after its file.
//
// A disk file has one position per process: a caller that seeks and then
// reads or writes does both between EnterFile and LeaveFile.

#include <cstdint>
#include <span>
#include <string>

#include "engAbstractFile.h"
#include "engHeap.h"

class TFileHandler : public TEngineObject {
public:
  ~TFileHandler() override;

  // Set by the owning table before Open or CreateFile.
  bool InMemory = false;
  std::string FileName;
  bool Exclusive = false;
  bool ReadOnly = false;
  bool Temporary = false;
  bool WriteThrough = false;
  bool SequentialAccess = false;

  bool IsOpen() const { return open; }
  // Open found the read-only attribute on the disk file.
  bool OpenedReadOnly() const { return openedReadOnly; }

  // 11010 when the file does not exist; 11013 when the sharing rule refuses.
  virtual void Open();
  virtual void Close();
  // Creates or empties the file; the handler then holds it open, exclusively.
  // A file the handler already holds alone is emptied where it is.
  virtual void CreateFile();
  // The file's MemoryBytes; 0 while closed.
  int64_t MemoryBytes() const { return file ? file->MemoryBytes() : 0; }
  // See TFileList::Hide and Reveal; the handlers take the new names.
  void Hide();
  static void Reveal(std::span<TFileHandler* const> handlers, std::span<const std::string> names);
  virtual void DeleteFile();
  // Renames the file and takes the new name.
  virtual void RenameFile(const std::string& newName);
  // Copies the open file into a new file of the same kind.
  virtual void CopyFile(const std::string& newName);
  // Bytes read at the position; 9217 when the read fails, or when fewer
  // than count bytes came and allowShort is false.
  virtual int32_t Read(void* buffer, int32_t count, bool allowShort);
  // 9218 unless all count bytes are written. Writing 0 bytes sets the end
  // of the file at the position.
  virtual void Write(const void* buffer, int32_t count);
  virtual void Flush();
  // Flush of several files at once: each sync waits on the disk, so they
  // run side by side and overlap (the caller syncs the first file written,
  // a kept helper thread the others); it returns when every one is done and
  // raises 9218's write failure (for the first that failed in the list's
  // order) only then, on the calling thread. Memory files and files not
  // written since their last flush have nothing to flush.
  static void FlushTogether(std::span<TFileHandler* const> handlers);
  // The syncs this process asked of the disk for the file so far; 0 for a
  // memory file.
  uint32_t DiskSyncs() const;

  // Read and Write at offset, without a seek or the file's section; the
  // position afterwards is not defined.
  int32_t ReadAt(int64_t offset, void* buffer, int32_t count, bool allowShort);
  void WriteAt(int64_t offset, const void* buffer, int32_t count);
  // WriteAt of the pieces end to end from offset, in as few writes as the
  // file allows.
  void WriteGatheredAt(int64_t offset, std::span<const std::span<const uint8_t>> pieces);
  // The new position (origin soFromBeginning, soFromCurrent or soFromEnd;
  // from the end the position is the size minus offset); 0 when closed.
  int32_t Seek(int32_t offset, int32_t origin);
  int32_t FileSize();
  // Locks (lock true) or unlocks a byte range; false when that fails or the
  // file is closed.
  bool LockRange(int32_t offset, int32_t length, bool lock);
  // Unlocks adjacent locked ranges that together cover exactly this span in
  // one step; false when that fails (every range then stays locked) or the
  // file is closed.
  bool UnlockRun(int32_t offset, int32_t length);
  // Copies the file's first count bytes without a system call where the
  // file allows it (a local disk file); false when it must be read.
  bool PeekHead(void* buffer, int32_t count);
  // TAbstractFile::StoreInPlace through this handler's file.
  bool StoreInPlace(int64_t offset, const void* window);
  // TAbstractFile::MapWindow through this handler's file.
  bool MapWindow(OsReadWindow& window, int64_t offset, int32_t length);
  // Replaces the open file's content by the named file's of the same kind.
  void CopyFromFile(const std::string& name);
  bool Exists();
  void EnterFile();
  void LeaveFile();

protected:
  TAbstractFile* file = nullptr;
  int32_t handle = 0;
  bool openedReadOnly = false;
  bool open = false;

  [[noreturn]] void Raise(int32_t code) const;
  // Raises the negated code of a failed file list call.
  void Check(int32_t result) const;
};

// Holds the file's section across a seek and the transfer that follows.
class TFileSection {
public:
  explicit TFileSection(TFileHandler& file) : file(file) { file.EnterFile(); }
  ~TFileSection() { file.LeaveFile(); }
  TFileSection(const TFileSection&) = delete;
  TFileSection& operator=(const TFileSection&) = delete;

private:
  TFileHandler& file;
};
