#pragma once
// One file of the engine as the process sees it, shared by every table that
// opens it: the disk file (TPhysicalFile) or a file that lives only in
// memory (TMemoryFile). The file list (engFileList.h) creates them and
// applies the sharing rule between the openers of one process.
//
// Operations that can fail return 0 (or a handle number of at least 1) on
// success and a negative engine error code on failure. Every operation runs
// under the file's own re-entrant section, which callers also take around a
// seek and the read or write that follows it (Enter / Leave).

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "engHeap.h"
#include "osReadWindow.h"
#include "rtlStreams.h"  // the seek origins

// A range held locked through this file, inclusive bounds.
struct TFileLockRange {
  int32_t First;
  int32_t Last;
  int32_t Length;
};

// One opener of the file and its read-write position.
struct TFileHandleEntry {
  int32_t Number;
  int32_t Position;
};

class TAbstractFile : public TEngineObject {
public:
  explicit TAbstractFile(const std::string& name);
  ~TAbstractFile() override;

  // The options of the first opener.
  bool Exclusive = false;
  bool ReadOnly = false;
  bool OpenedReadOnly = false;  // the disk file carries the read-only attribute
  bool Temporary = false;
  bool WriteThrough = false;
  bool SequentialAccess = false;
  // Set aside, open, by the table that holds it: no look-up by name finds
  // it (see TFileList::Hide).
  bool Hidden = false;

  virtual bool InMemory() const = 0;
  // What a file in memory holds for its content, room to grow included.
  virtual int64_t MemoryBytes() const { return 0; }
  const std::string& Name() const { return name; }
  int32_t OpenCount() const { return openCount; }

  void Enter() { section.lock(); }
  void Leave() { section.unlock(); }

  // The index of the handle's entry; -1 when the file is not open or the
  // number is not among its handles.
  virtual int32_t FindHandle(int32_t number);
  // Empties the file and opens a first handle: its number.
  virtual int32_t CreateNew();
  // A further handle: its number.
  virtual int32_t OpenHandle();
  // False when the number is not an open handle.
  virtual bool CloseHandle(int32_t number);
  virtual int32_t Rename(const std::string& newName);
  virtual int32_t Delete();
  // Bytes moved at the handle's position, which advances by them; -1 when
  // the handle is unknown or the transfer failed. Writing 0 bytes sets the
  // end of the file at the position.
  virtual int32_t Read(int32_t number, void* buffer, int32_t count);
  virtual int32_t Write(int32_t number, const void* buffer, int32_t count);
  // origin soFromEnd places the position offset bytes before the end (the
  // reverse of a stream's).
  virtual int32_t Seek(int32_t number, int32_t offset, int32_t origin);
  // Read and Write at offset, as a seek and the transfer under the section
  // would; where the handle's position is afterwards is not defined. A disk
  // file moves bytes of 1 or more without the section and leaves the
  // position alone: every page and record read names its offset, and three
  // section holds per read were a measurable part of a look-up.
  virtual int32_t ReadAt(int32_t number, int32_t offset, void* buffer, int32_t count);
  virtual int32_t WriteAt(int32_t number, int32_t offset, const void* buffer, int32_t count);
  // WriteAt of the pieces end to end from offset: the bytes moved, -1 on a
  // failure. A disk file writes them in as few calls as the system allows.
  virtual int32_t WriteGatheredAt(int32_t number, int32_t offset, std::span<const std::span<const uint8_t>> pieces);
  // Exclusive byte-range lock: fails on any overlap with a held range.
  virtual bool LockRange(int32_t offset, int32_t length);
  // Releases the held range with exactly this start and length.
  virtual bool UnlockRange(int32_t offset, int32_t length);
  // Releases adjacent held ranges that together cover exactly this span, at
  // once; false (nothing released) when they leave a gap or reach past it.
  virtual bool UnlockRun(int32_t offset, int32_t length);
  // Copies the file's first count bytes without going to the operating
  // system, where the file allows it; false means read them.
  virtual bool PeekHead(void* buffer, int32_t count);
  // Stores the OsWritableMapping::StoreWidth bytes of window at offset of
  // the file without a write call, where the file allows it; false means
  // write them.
  virtual bool StoreInPlace(int32_t offset, const void* window);
  // Maps length bytes from offset into window, where the file allows it
  // (a disk file on a local file system); false means read them.
  virtual bool MapWindow(OsReadWindow& window, int32_t offset, int32_t length);

protected:
  std::recursive_mutex section;
  std::string name;
  int32_t size = 0;  // the logical size of a memory file
  std::vector<TFileLockRange> lockRanges;
  int32_t openCount = 0;
  // Valid until the next handle opens or closes.
  TFileHandleEntry* Handle(int32_t number);
  // The same for a caller that holds the section already: a transfer of a
  // file in memory looks its handle up once, not at each step it makes.
  TFileHandleEntry* HeldHandle(int32_t number);
  // The end of a transfer of count bytes at position, unless the transfer
  // would start before 0 or pass the largest 32-bit position.
  static bool TransferEnd(int32_t position, int32_t count, int32_t& end);
  // What a transfer does to the handle's position and the logical size,
  // the section held: a read of count bytes from the position (the bytes
  // it takes, 0 outside the file, -1 for a negative count), and a write
  // that ends at end (TransferEnd; a write of nothing cuts the file there).
  int32_t AdvanceRead(TFileHandleEntry& entry, int32_t count);
  int32_t AdvanceWrite(TFileHandleEntry& entry, int32_t count, int32_t end);
  // Where a seek lands, kept within 32 bits.
  static int32_t SeekTarget(int64_t position, int64_t size, int32_t offset, int32_t origin);

private:
  std::vector<TFileHandleEntry> handles;
  int32_t AddHandle();
};

