#pragma once
// The data file of a table (".DAT"): the header, the field descriptors and
// the fixed-size records, with a cache of records that reads ahead in
// blocks and writes modified records back in runs of consecutive numbers.
// Deleted records form a free list, the last freed reused first.
//
// Every count, size and offset taken from the file is checked against the
// file before it is used; a damaged file raises 8961 (header) or 8962
// (records), a file of another format 12035.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rtlAssert.h"
#include "engBlockPool.h"
#include "engBuffer.h"
#include "engDataHeader.h"
#include "engDataRecord.h"
#include "engDataSort.h"
#include "engEntryCache.h"
#include "engFileHandler.h"
#include "engFileTable.h"
#include "engOwnedList.h"
#include "engRecordsBitmap.h"

// The runs a sort announced before a fill forms as held records overflow
// (engDataSort.cpp).
class TSortRuns;
struct TSortRunsDeleter {
  void operator()(TSortRuns* runs) const;
};

// What the data file needs of the table that owns it.
class TDataFileTable : public virtual TFileTable {
public:
  // The table has a primary key (the index file's no-primary flag is clear).
  virtual bool HasPrimaryIndex() const = 0;
  virtual void SetIndexRecordCount(uint32_t count) = 0;
  // An exclusive table writes its records only when the cache fills or it
  // closes.
  virtual bool IsExclusive() const = 0;
  // Where work files of the table's session go.
  virtual std::string PrivateDirectory() const = 0;
  // No other process can change or cut the files until the table calls
  // TDataFile::KeepWindows: it holds its read lock, or the table
  // exclusively.
  virtual bool FilesHeldStill() const = 0;

protected:
  ~TDataFileTable() = default;
};

// What a new data file is made of.
struct TDataFileDefinition {
  const uint8_t* FieldDescs = nullptr;  // FieldCount descriptors
  int FieldCount = 0;
  uint32_t BlobBlockSize = 512;
  std::string Description;
  std::string Password;
  bool Encrypted = false;
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  uint16_t UserMajorVersion = 0;
  uint16_t UserMinorVersion = 0;
};

// How GetRecord reads a record the cache does not hold: the way a walk
// goes, whether the read may take the next records along, and whether the
// reader's ReadAheadCount (the records its cursor shows) bounds how many.
struct TRecordReadOptions {
  bool Forward = true;
  bool ReadAhead = false;
  bool CursorSized = false;
};

// Record images side by side in blocks of PerBlock records each, as the
// file holds them: a sort's records in memory, or a temporary table's
// appended records not written yet. Blocks rather than one array, so that
// the images grow without being copied; blocks of PooledBlockBytes are
// kept for the next images when these go.
class TRecordImages {
public:
  TRecordImages() = default;
  TRecordImages(uint16_t recordSize, int32_t blockBytes);
  uint32_t Count() const { return count; }
  uint8_t* At(uint32_t i) const {
    ORV_ASSERT(i < count);
    return blocks[i / perBlock].Get() + size_t(i % perBlock) * recordSize;
  }
  // Room for the next image, counted.
  uint8_t* Add();
  uint32_t PerBlock() const { return perBlock; }
  uint16_t RecordSize() const { return recordSize; }
  // Counts none again; the first keptBlocks blocks stay for the next
  // images, the others go.
  void Restart(size_t keptBlocks) {
    count = 0;
    if (blocks.size() > keptBlocks) blocks.resize(keptBlocks);
  }

private:
  std::vector<TPooledBlock> blocks;
  size_t blockBytes = 0;
  uint32_t perBlock = 1;
  uint16_t recordSize = 0;
  uint32_t count = 0;
};

// How ReadRecordRun reads a run. Wanted, when given, names the records the
// caller wants (the others' images are unspecified). InPlace: a pass may
// see its records where the file's pages hold them (engRecordWindow.h)
// rather than copied, where that shows what a read would: a disk file on a
// local file system, not enciphered, not temporary, none of the run's
// records in the cache (this process's changes not written win over the
// file), every wanted record in use carrying its own number, and the table
// keeping other processes from changing the file (TDataFileTable).
struct TRecordRunOptions {
  const TRecordsBitmap* Wanted = nullptr;
  bool InPlace = false;
};

class TDataFile : public TFileHandler {
public:
  explicit TDataFile(TDataFileTable* table);
  ~TDataFile() override;

  // Reads and checks the header and the descriptors.
  void Open() override;
  // Drops the cache without writing (the held records are written).
  void Close() override;

  // Sets up a new file's header and descriptors (marked modified, for the
  // table to write) and creates the file.
  void CreateDataFile(const TDataFileDefinition& definition);
  // The same for an open file that holds these descriptors already: the
  // header is set up anew, the file emptied to its descriptors, which stay.
  void CreateOverDescriptors(const TDataFileDefinition& definition);
  // The definition lays records out by exactly these descriptors.
  bool HoldsDescriptors(const TDataFileDefinition& definition) const;

  // Header.
  void ReadHeader();
  // Writes when the header is modified or force is set.
  void WriteHeader(bool force);
  // True (and the disk header taken over) when another writer changed it.
  bool HeaderChanged();
  void MarkChanged();
  // Empties the table: the file ends after the descriptors.
  void ResetHeader();
  void GetHeader(uint8_t* out) const;
  bool HeaderModified() const { return header.Modified(); }

  // Field descriptors (positions from 1).
  void ReadFieldDescriptors();
  void WriteFieldDescriptors();
  bool GetFieldDesc(int position, uint8_t* out) const;
  // The descriptor where the file keeps it, null outside 1..FieldCount():
  // valid until the descriptors are read or changed again, so a caller
  // looks it up at each use rather than keeping it.
  const uint8_t* FieldDescAt(int position) const {
    return position >= 1 && position <= FieldCount() ? Desc(position) : nullptr;
  }
  bool FindFieldDescByNo(uint16_t fieldNumber, uint8_t* out) const;
  // The field's position, 0 when no field has the name (any case).
  int FindFieldDescByName(const std::string& name, uint8_t* out) const;
  // Takes number, name, subtype, description, required flag and the
  // minimum, maximum and default texts; type, sizes and offset stay.
  void UpdateFieldDesc(int position, const uint8_t* desc);

  // Header values and counters.
  int32_t NextAutoIncValue();
  int32_t GetAutoIncValue() const { return int32_t(header.Get32(DatHdrLastAutoInc)); }
  void SetAutoIncValue(int32_t value);
  uint32_t NextBlobSequence();
  uint32_t PhysicalRecordCount() const { return header.NextRecord() - 1; }
  uint32_t NextRecordNumber() const { return header.NextRecord(); }
  uint32_t FirstFreeRecord() const { return header.FirstFree(); }
  uint16_t RecordSize() const { return header.RecordSize(); }
  uint16_t FieldCount() const { return header.FieldCount(); }
  uint16_t BlobFieldCount() const { return header.Get16(DatHdrBlobFieldCount); }
  uint32_t BlobBlockSize() const { return header.BlobBlockSize(); }
  uint16_t LanguageId() const { return header.Get16(DatHdrLanguageId); }
  uint16_t SortId() const { return header.Get16(DatHdrSortId); }
  uint16_t UserMajorVersion() const { return header.Get16(DatHdrUserMajor); }
  uint16_t UserMinorVersion() const { return header.Get16(DatHdrUserMinor); }
  uint32_t ChangeCount() const { return header.Get32(DatHdrChangeCount); }
  bool IsEncrypted() const { return header.Encrypted(); }
  std::string GetDescription() const;
  std::string GetPassword() const;
  void SetTableInfo(const std::string& password, const std::string& description, uint16_t userMajor,
                    uint16_t userMinor, int32_t lastAutoInc);

  // The table's cipher.
  void Encipher(uint8_t* buffer, uint32_t length) { table->Encipher(buffer, length); }
  void Decipher(uint8_t* buffer, uint32_t length) { table->Decipher(buffer, length); }

  // Records. GetRecord hands out the cached record with one more use; false
  // when reading met other users' changes (the caller starts over).
  bool GetRecord(TReadContext* reader, uint32_t recordNumber, const TRecordReadOptions& options, TRecord*& record);
  void ReleaseRecord(TRecord* record);
  // Reads up to count records from first on into run, in one read, for a
  // pass that visits each once: a record the cache holds as it stands
  // there (with changes not yet written), the others from the file without
  // entering the cache, which keeps what other readers use (a run of a few
  // records is taken for look-ups and enters it). The run stops
  // at the last record and holds at most one read-ahead block. False when
  // reading met other users' changes (the caller starts over). With Wanted,
  // only the run's records it sets are the caller's (the others' images are
  // unspecified): the file is read only across those the cache does not
  // hold, not at all when it holds them all, and a short run enters only
  // those into the cache. Short runs in ascending order are one pass: one
  // larger than the cache keeps what fits rather than pushing out its own.
  bool ReadRecordRun(TReadContext* reader, uint32_t first, int32_t count, TRecordRun& run,
                     const TRecordRunOptions& options = {});
  // The run's records are no longer in use: it holds nothing. Raises the
  // read failure when some it showed in place read as zeros, the file cut
  // below them by a program outside the locks (engRecordWindow.h).
  void HideRun(TRecordRun& run);
  // Before the table lets other processes change or cut the file (its read
  // lock let go): every run shown in place keeps what it shows.
  void KeepWindows() { windows.KeepShown(); }
  // The same for a read lock let go only for a moment (TDataTable::PauseRead):
  // the runs copy what they show aside before, and once it is held again
  // keep the copies, or drop them when nothing changed the file meanwhile.
  void CopyWindows() { windows.CopyShown(); }
  void KeepWindowCopies() { windows.KeepCopies(); }
  void DropWindowCopies() { windows.DropCopies(); }
  // The held image of a record no cache entry stands for (a cached one
  // may carry changes not stored there yet), null when it is not held
  // whole. Any later call into the file may move or drop it (a flush, a
  // write, a sort, the close): the caller copies it out at once.
  const uint8_t* HeldRecordImage(uint32_t recordNumber) const;
  // Whether the cache holds the record (a run of it alone reads nothing).
  bool HoldsRecord(uint32_t recordNumber) const { return cache.Find(recordNumber) != nullptr; }
  uint32_t NewRecordNumber() const;
  // The record an insert fills: the first free one or a new one at the end.
  bool NewRecord(TReadContext* reader, TRecord*& record);
  // NewRecord, the record's fields and auto-increment value copied in and
  // given back, in one step for an append whose every byte the caller has
  // (record: the file's record size, from byte 0): it goes where the held
  // records keep it, with no record taken, cleared and given back. The
  // held image, which stays where it is until the next append or write of
  // this file (its BLOB references are put there); null, with no record
  // added, when the next record is not a held append (the caller takes it
  // through NewRecord).
  uint8_t* AppendHeldRecord(const uint8_t* record);
  void FreeRecord(TRecord* record);
  // True when any record was written. A temporary file's records appended
  // past its end are held in memory instead (HeldRecordCount), up to
  // SortMemoryBytes of them: an append is built where it is held, reads
  // take them from there, a change to one is made there, and they are
  // written before any other write, at the file's close, or when more
  // would not fit. A sort of a file whose records are all held takes them
  // as they are and leaves them held in their new order: a sorted answer
  // is neither written and read back for its sort nor written after it.
  bool FlushRecords();
  uint32_t HeldRecordCount() const { return heldOrdered ? uint32_t(heldOrder.size()) : held.Count(); }
  // The held records of a temporary table discarded at its close, and the
  // runs of its announced sort: never written.
  void DropHeld();
  // Drops the cache without writing; the held records stay.
  void DropCache();
  void TrimCache();
  TRecordStack& RecordStack() { return recordStack; }
  int32_t CachedRecordCount() const { return cache.Count(); }

  // Byte-range locks of the multi-user protocol.
  bool LockRecord(uint32_t recordNumber);
  bool UnlockRecord(uint32_t recordNumber);
  // Unlocks the records first .. first + count - 1, each locked alone, in one step.
  bool UnlockRecordRun(uint32_t first, uint32_t count);
  bool LockHeader();
  bool UnlockHeader();

  // Rewrites the records in key order, renumbered; deleted records are
  // left out. Distinct and group fold records of equal key. rowNumbers,
  // when given, takes each written record's row number, by its new place.
  void SortRecords(const TSortKeyField* keys, int keyCount, bool caseInsensitive, TSortDuplicates duplicates,
                   const TSortGroupCallbacks* callbacks, std::vector<int32_t>* rowNumbers = nullptr);
  // A file whose records and sort keys take at most this many bytes is
  // sorted whole in memory; a larger one through runs of a work file.
  int64_t SortMemoryBytes = DefaultSortMemoryBytes;
  // The sort a temporary file's fill will end with (keyCount 0: none, and
  // the runs formed so far go to the file). While the file holds no record
  // on disk, held records that outgrow SortMemoryBytes are sorted into a
  // run of a work file instead of written, and that sort merges the runs
  // with the last held ones into the file: the records are written once,
  // not written, read back and written again. Anything else that reaches
  // the records of the runs (a read, a write, a cut, the close, another
  // sort) first writes them to their places, as if they had never left.
  void SortOnOverflow(const TSortKeyField* keys, int keyCount, bool caseInsensitive);

  // Raises the first fault of the header, the descriptors or the record
  // area's length. With repair, sound whole records past the header's
  // count are taken into it and a partial last record is cut off.
  void VerifyDataFile(bool repair = false);

  // The most records one read-ahead takes.
  int32_t ReadAheadRecords() const { return readAheadCount; }
  // A read of records a pass asks for goes across at most this many it does
  // not ask for: one read of a few records more is cheaper than a read for
  // every stretch.
  static constexpr int32_t MaxReadGap = 16;

  uint32_t CacheHits() const { return cacheHits; }
  uint32_t ReadAheadReads() const { return readAheadReads; }
  uint32_t PhysicalReads() const { return physicalReads; }
  uint32_t PhysicalWrites() const { return physicalWrites; }
  // Runs shown where the file's pages hold them.
  uint32_t RunsInPlace() const { return runsInPlace; }

private:
  friend class TDataSorter;

  // The buffers are taken at their first transfer, of at least this: a
  // table opened for a look costs no clearing of memory it never uses.
  static constexpr int32_t BufferReserve = 65535;

  TDataFileTable* table;
  TEngineBuffer readBuffer;
  TEngineBuffer writeBuffer;
  uint32_t readAheadStart = 0;  // the window of a read-ahead in progress
  int32_t readAheadLength = 0;
  int32_t readAheadCount = 1;
  // The records the last read from disk took, [lastReadFirst, lastReadEnd):
  // a read next to them continues a walk and reads ahead.
  uint32_t lastReadFirst = 0;
  uint32_t lastReadEnd = 0;
  // The most the last read's growth let it take, before the reader's run
  // cut it: a walk whose leaf ends inside a read goes on at the size it
  // had reached, not at a first read's few records again.
  int32_t lastReadReach = 0;
  // The pass of look-up runs going on (see ReadRecordRun), and the first
  // record of its last run.
  uint32_t lookUpPass = 1;
  uint32_t lastLookUpFirst = 0;
  TDataHeader header;
  bool descriptorsModified = false;
  TEngineBuffer descriptors;  // FieldCount() descriptors; empty without fields
  TEntryCache<TRecord> cache;
  std::vector<TRecord*> flushList;
  TRecordStack recordStack;
  // The records the file holds on disk, while known (after the file was
  // made or emptied in this process); the held appends follow them.
  static constexpr uint32_t UnknownDiskRecords = UINT32_MAX;
  uint32_t diskRecords = UnknownDiskRecords;
  // Held record diskRecords + 1 + i is image i, or with heldOrdered image
  // heldOrder[i].
  TRecordImages held;
  std::vector<uint32_t> heldOrder;
  bool heldOrdered = false;
  // The appended record its holder builds in its held image (no cache
  // entry taken for it and flushed there later), while held.
  std::optional<TRecord> heldAppend;
  // The sort announced for the fill, and its runs: records 1 .. diskRecords
  // are in them, not on disk, while they hold any.
  std::unique_ptr<TSortRuns, TSortRunsDeleter> sortRuns;
  uint32_t cacheHits = 0;
  uint32_t readAheadReads = 0;
  uint32_t physicalReads = 0;
  uint32_t physicalWrites = 0;
  uint32_t runsInPlace = 0;
  // Records 1 .. stampedThrough were seen carrying their own numbers since
  // the cache was last dropped (ShowRunInPlace).
  uint32_t stampedThrough = 0;
  // The windows runs show records through.
  TRecordWindows windows;

  [[noreturn]] void RaiseData(uint16_t code) const;
  uint8_t* Desc(int position) const {
    ORV_ASSERT(position >= 1 && position <= FieldCount());
    return descriptors.Get() + size_t(position - 1) * FieldDescSize;
  }
  int64_t RecordAreaOffset() const { return DataHeaderSize + int64_t(FieldCount()) * FieldDescSize; }
  int64_t RecordOffset(uint32_t recordNumber) const {
    return RecordAreaOffset() + int64_t(recordNumber - 1) * RecordSize();
  }
  // Transfers at an offset of this file, failures named after the table
  // (the handler's own ReadAt and WriteAt name the file).
  int32_t ReadFileBytes(int64_t offset, void* buffer, int32_t count, bool allowShort);
  void WriteFileBytes(int64_t offset, const void* buffer, int32_t count);
  void WriteFileGathered(int64_t offset, std::span<const std::span<const uint8_t>> pieces);
  // Sets the end of the file.
  void CutAt(int64_t offset);
  // A new file's header for the definition, after the checks of its layout.
  void StartHeader(const TDataFileDefinition& definition);
  void VerifyRecordArea(bool repair);
  bool IsAppendedRecord(uint32_t number, int32_t& rowNumber);
  void SetHeaderModified() { header.SetModified(true); }
  // Checks a header image read from the file before it replaces this one.
  void TakeHeader(const TDataHeader& image);
  void CheckDescriptors() const;
  void SetCacheLimits();
  int32_t CacheLimit() const;
  void FreeDescriptors();
  std::string ShortText(int offset, int limit) const;
  void PutShortText(int offset, const std::string& text, int limit);

  // The cache.
  TRecord* AppendRecord();
  // The number the next append takes; the table is full when there is none.
  uint32_t NextAppendNumber() const;
  // Room for the append of number among the held records (a run of the
  // announced sort taken first when they outgrow memory); null when it
  // goes to the cache instead.
  uint8_t* HeldAppendImage(uint32_t number);
  // The header after the append of number.
  void NoteAppended(uint32_t number);
  void ReadRecords(TReadContext* reader, uint32_t recordNumber, const TRecordReadOptions& options);
  // Reads the records the reader names as its next ones that are not cached.
  void ReadUpcoming(TReadContext* reader, uint32_t recordNumber, bool forward);
  // walked: the record comes with a walk, which uses it once.
  void PlaceRecord(uint32_t recordNumber, const uint8_t* image, bool walked);
  // A record a run of look-ups read, already decoded; one the cache holds stays.
  void KeepLookUp(uint32_t recordNumber, const uint8_t* decoded);
  // Shows count records from first where the file's pages hold them, when
  // that shows what reading them would (TRecordRunOptions::InPlace).
  bool ShowRunInPlace(uint32_t first, int32_t count, TRecordRun& run, const TRecordsBitmap* wanted);
  TRecord* TakeCacheEntry();
  bool InReadAhead(uint32_t recordNumber) const;
  void WriteRun(int32_t first, int32_t last);
  // Whether count records from first on go to the held records: each one
  // held already or the next appended.
  bool HoldsRun(uint32_t first, int32_t count) const;
  // The bytes of records held at most: SortMemoryBytes, or once some went
  // to disk for want of it (and no announced sort takes them) HeldPartBytes.
  int64_t HeldBound() const;
  uint8_t* HeldImage(uint32_t i) const { return held.At(heldOrdered ? heldOrder[i] : i); }
  // Room for the next held record, counted.
  uint8_t* AddHeld();
  int64_t HeldOffset() const { return RecordOffset(diskRecords + 1); }
  // Copies held records for a read at offset; false when the read is not
  // one of whole held records, or runs past them where it may not.
  bool ReadHeld(int64_t offset, uint8_t* buffer, int32_t count, bool allowShort, int32_t& got) const;
  void WriteHeld();
  // Whether the append of number follows the held records and would pass
  // their memory.
  bool HeldFullAt(uint32_t number) const;
  // Writes the held records to make room for the appends that follow:
  // their memory takes the next ones.
  void WriteHeldForMore();
  // Writes the held records after the ones on disk, images kept.
  void WriteHeldImages();
  // The held images forgotten, not written.
  void ForgetHeld();
  // Whether records 1 .. diskRecords are in runs of the announced sort.
  bool HasSortRuns() const;
  // Held records that overflow go to a run when the announced sort takes
  // them: the file holds none on disk, and number is the next append.
  bool RunsTakeOverflow(uint32_t number) const;
  // Sorts the held records into a run of the announced sort.
  void RunHeld();
  // Writes the runs' records to their places; the announced sort ends.
  void SpillRuns();
  // The held records, when they are the file's every record in the order
  // of their numbers (it holds none on disk); else they are written and
  // the result is empty.
  TRecordImages TakeHeld();
  // After a sort of the images TakeHeld gave: record i + 1 is image order[i].
  void HoldInOrder(TRecordImages images, std::vector<uint32_t> order);
  void LetGo(TRecord* record);
};
