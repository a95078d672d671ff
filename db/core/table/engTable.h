#pragma once
// One open table of one directory, shared by every cursor of the process
// that has it open: its data, index and BLOB files, and the protocol by
// which cursors and processes share those files. Processes meet only
// through byte-range locks on fixed offsets above 2 GB - 65536 and through
// the change counts at the head of each file header.
//
// Every lock call that raises leaves nothing held that it took itself, so
// a failure never blocks other processes until the table closes.

#include <cstdint>
#include <string>
#include <vector>

#include "engBlobFile.h"
#include "engChangeCounts.h"
#include "engDataFile.h"
#include "engHeap.h"
#include "engIndexFile.h"
#include "engRecordsBitmap.h"
#include "engTransactionOptions.h"

class TDataCursor;
class TDataDirectory;
class TDataSession;

// Runs a release in a destructor or on a failure path, where the first
// failure is the one to report: whatever the release throws is dropped,
// hence the catch-all.
template <typename Release>
void ReleaseQuietly(Release release) {
  try {
    release();
  } catch (...) {
  }
}

// How TDataTable::WriteHeaders writes the files back: a header is written
// when it is modified or forced; trimming gives the caches back their
// normal size afterwards.
struct THeaderWriteOptions {
  bool TrimCaches = false;
  bool ForceData = false;  // the data and BLOB headers
  bool ForceIndex = false;
};

// What the files of a new table are made of: the data file's definition
// and the index descriptors.
struct TTableFilesDefinition : TDataFileDefinition {
  const uint8_t* IndexDescs = nullptr;  // IndexCount descriptors, the primary first
  int IndexCount = 0;
};

class TDataTable : public TEngineObject, public TDataFileTable, public TIndexFileTable, public TBlobFileTable {
public:
  explicit TDataTable(TDataDirectory* directory);
  // Releases the locks and closes the files when still open.
  ~TDataTable() override;

  TDataDirectory* Directory() const { return directory; }
  TDataSession* Session() const;
  // With ".DAT" in place of any other extension.
  const std::string& Name() const { return name; }
  void SetName(const std::string& newName);

  // Options, taken by the files at the next open.
  void SetExclusive(bool value);
  void SetInMemory(bool value);
  void SetNoFilterUpdate(bool value);
  void SetSqlSource(bool value);
  void SetTemporary(bool value);
  void SetSequentialAccess(bool value);
  bool IsExclusive() const { return exclusive; }
  bool IsInMemory() const { return inMemory; }
  bool NoFilterUpdate() const { return noFilterUpdate; }
  bool SqlSource() const { return sqlSource; }
  bool IsTemporary() const { return temporary; }
  bool SequentialAccess() const { return sequentialAccess; }
  bool IsReadOnly() const { return readOnly; }
  // One of the files carries the read-only attribute on disk.
  bool FilesReadOnly() const { return filesReadOnly; }

  bool IsOpen() const { return open; }
  int32_t UseCount() const { return useCount; }
  // The open found no index file and made an empty one.
  bool IndexRecreated() const { return indexRecreated; }

  // Opens the files for the first cursor (use count 1); a failure closes
  // them again and passes the file layer's error on.
  void Open();
  // A further cursor on the open table.
  void AddUse() { ++useCount; }
  // One cursor less. The last one, outside a transaction, releases the
  // locks and closes the files; a table the last cursor left during a
  // transaction is closed by calling this again after the transaction.
  void Close(bool discardTemporary);
  // Creates the three files of a new table, which is then open and
  // exclusive with a use count of 1. A failure deletes what was created.
  // A table set aside makes them where its hidden files are.
  void CreateFiles(const TTableFilesDefinition& definition);

  // A temporary table in memory, at its last close, may be set aside
  // instead of deleted: its files stay open and hidden, and a creation of
  // the same record layout takes them again under its own name, as
  // CreateFiles makes them. Making three files, their names and their
  // descriptors was much of a small answer's cost.
  bool MayBeSetAside() const;
  // Releases the locks and caches as the last close does; the table is
  // then closed, its files hidden (see TFileList::Hide).
  void SetAside();
  // The definition lays records out as the table set aside does.
  bool FitsCreation(const TTableFilesDefinition& definition) const;
  // The table set aside, now of directory and named name, with its files
  // listed under the names that go with it; CreateFiles comes next.
  void TakeBack(TDataDirectory* owner, const std::string& newName);

  TDataFile& DataFile() { return dataFile; }
  TIndexFile& IndexFile() { return indexFile; }
  TBlobFile& BlobFile() { return blobFile; }
  // The table has BLOB fields and their file is open.
  bool HasBlobFile() const { return dataFile.BlobFieldCount() > 0 && blobFile.IsOpen(); }

  // Record locks (numbers from 1). LockRecord's result: a change check on
  // the way found another user's change.
  bool LockRecord(uint32_t recordNumber);
  void UnlockRecord(uint32_t recordNumber);
  void UnlockAllRecords(bool deferredOnly);
  void MarkCursorLock(uint32_t recordNumber);
  void ClearCursorLock(uint32_t recordNumber);
  bool HasCursorLock(uint32_t recordNumber) const;
  bool HoldsRecordLock(uint32_t recordNumber) const;

  // Table locks. The results of LockRead, LockChangeCheck and LockWrite:
  // another user's change was found.
  bool LockRead();
  void UnlockRead();
  // Lets the read lock go for a moment, for other users waiting to write:
  // LockRead takes it again before anything shown in place is read, and
  // what is shown keeps what it showed only when the file may have changed
  // in between (seen by the counts), where UnlockRead keeps it at once.
  void PauseRead();
  bool LockChangeCheck();
  void UnlockChangeCheck();
  bool LockWrite();
  void UnlockWrite();
  void LockTransaction();
  void UnlockTransaction();
  bool HoldsReadLock() const { return readLockHeld; }
  bool HoldsChangeCheckLock() const { return changeCheckLockHeld; }
  bool HoldsWriteLock() const { return writeLockHeld; }
  // Records and index trees change only under the write lock, or on a
  // table no other user can open.
  bool MayChangeFiles() const { return writeLockHeld || TableLocksSkipped(); }
  // Lock calls take and give back nothing: the table is held exclusively,
  // or its files are read-only.
  bool TableLocksSkipped() const { return exclusive || filesReadOnly; }

  TChangeCounts ChangeCounts() const;
  // A change to a table held exclusively, whose headers wait for the commit
  // or close: the twins sharing it in this process see it by this count.
  void NoteHeldChange() { ++heldChanges; }
  // A cursor that had seen the counts just before this process's last
  // commit has seen every change after it too, while the counts are still
  // those the commit left: the commit wrote the headers and changed no
  // record or key. Then seen becomes the counts now, and the answer is true.
  // Not on an exclusive table, whose changes write no header before it.
  bool CarryOverCommit(TChangeCounts& seen) const;

  // True when another user changed the table since this process looked;
  // the caches that the change made stale are dropped.
  bool CheckForChanges();

  void StartTransaction(const TTransactionOptions& options = {});
  void Rollback();
  // With release the transaction ends; without it the changes are written
  // and the transaction goes on.
  void Commit(bool release);
  bool InTransaction() const { return transactionActive; }

  // Inside a transaction only marks the files changed; else writes the
  // modified records, pages and blocks and the headers.
  void WriteHeaders(const THeaderWriteOptions& options);
  void ReloadFiles(bool trim, bool rereadHeaders);
  void FlushFiles();

  // Whole-table operations on the files.
  void RenameTo(const std::string& newName, bool asBackup);
  void DeleteFiles();
  void BackupIndex();
  void RestoreIndex(bool keepCurrent, bool deleteBackup);
  void Empty();
  // The verify-and-repair pass of the three files. Whole records an
  // interrupted append left past the data header's count are taken in;
  // whether the indexes still match the data is the first cursor's check,
  // which rebuilds them when they do not.
  void Repair();
  bool IsEncrypted() const override { return dataFile.IsEncrypted(); }

  // What the files ask of their table.
  std::string TableName() const override { return name; }
  void Encipher(uint8_t* buffer, uint32_t length) override;
  void Decipher(uint8_t* buffer, uint32_t length) override;
  bool HoldsTransactionLock() const override { return transactionLockHeld; }
  bool DataChanged() const override { return dataChanged; }
  void SetDataChanged() override { dataChanged = true; }
  // Unless the session checks strictly before every operation, takes the
  // change-check lock (left held for the cursor's operation to release)
  // and reports what its check found; the cursor told of a change
  // resynchronises itself and starts over.
  bool CheckChangesBeforeRead(TReadContext* reader) override;
  TCacheSizes CacheSizes() const override;
  bool HasPrimaryIndex() const override { return !indexFile.GetNoPrimary(); }
  void SetIndexRecordCount(uint32_t count) override { indexFile.SetRecordCount(count); }
  std::string PrivateDirectory() const override;
  bool FilesHeldStill() const override { return readLockHeld || exclusive; }
  bool GetKeyField(uint16_t fieldNo, uint8_t& fieldType, uint8_t& storedSize) const override;

  // Whether every index, "Sys Deleted" included, holds exactly the data's
  // records (engTableIndexCheck.cpp). The first open relies on the
  // cursor's fuller tree check; the sharing tests ask this after a killed
  // writer.
  bool IndexesMatchData();

  // Appended records whose "Sys Deleted" keys (in use, row number) wait
  // until a cursor needs that index: slots from FirstSlot on, RowNumbers[i]
  // that of slot FirstSlot + i. A fill gathers them and puts them in at its
  // end, a temporary table's when first needed, so an answer nobody deletes
  // from and that is then discarded never builds them. Dropped with the
  // cached pages (a discard, a rollback, an emptying).
  struct TWaitingDeletedKeys {
    uint32_t FirstSlot = 0;
    std::vector<int32_t> RowNumbers;
  };
  TWaitingDeletedKeys& WaitingDeletedKeys() { return waitingDeletedKeys; }

private:
  uint32_t CountRecordsInUse();
  bool CountTreeKeys(uint8_t n, uint32_t offset, uint32_t slots, int depth, uint32_t& pagesLeft, uint32_t& count);
  TDataDirectory* directory;
  int32_t useCount = 0;
  std::string name;
  bool open = false;
  bool exclusive = false;
  bool readOnly = false;
  bool filesReadOnly = false;
  bool inMemory = false;
  bool noFilterUpdate = false;
  bool sqlSource = false;
  bool temporary = false;
  bool sequentialAccess = false;
  TDataFile dataFile;
  TIndexFile indexFile;
  TBlobFile blobFile;
  TWaitingDeletedKeys waitingDeletedKeys;
  bool indexRecreated = false;
  TRecordsBitmap heldLocks;
  // How many records heldLocks holds, and none below heldLow: a release of
  // them all walks from the first to the last, not over every record of a
  // large table (a commit of one inserted row holds one lock at its end).
  int32_t heldCount = 0;
  uint32_t heldLow = 0;
  TRecordsBitmap cursorLocks;
  TRecordsBitmap deferredUnlocks;
  bool readLockHeld = false;
  // Let go by PauseRead and not taken again yet; the data file's writes then.
  bool readPaused = false;
  uint32_t writesAtPause = 0;
  bool changeCheckLockHeld = false;
  bool writeLockHeld = false;
  bool transactionLockHeld = false;
  uint16_t readIndexLock = 0;
  uint16_t readBlobLock = 0;
  uint16_t changeCheckIndexLock = 0;
  uint16_t changeCheckBlobLock = 0;
  bool transactionActive = false;
  // The transaction makes one change: its write lock waits for the commit.
  bool writeLockToCommit = false;
  bool dataChanged = false;
  uint32_t heldChanges = 0;
  // The counts before and after the last commit's header writes.
  bool commitCarries = false;
  TChangeCounts committedFrom;
  TChangeCounts committedTo;

  [[noreturn]] void Raise(uint16_t code) const;
  // The name with ext, behind the directory's path unless in memory.
  std::string FileNameFor(const std::string& ext) const;
  void BuildFileNames();
  void OpenFiles();
  void OpenIndexFile();
  // The last cursor's close: write back or discard, release, close.
  void ReleaseFiles(bool discardTemporary);
  void CloseFiles();

  // Lock bookkeeping.
  void GrowLockBitmaps(uint32_t recordNumber);
  void MarkHeld(uint32_t recordNumber);
  void ClearHeld(uint32_t recordNumber);
  bool TryRecordLock(uint32_t recordNumber);
  bool TakeSharedLock(bool& held, uint16_t& indexLock, uint16_t& blobLock);
  // Each release tries every lock it holds; false when one would not unlock.
  bool ReleaseSharedLock(bool& held, uint16_t& indexLock, uint16_t& blobLock);
  bool ReleaseWriteLock();
};
