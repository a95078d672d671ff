// Change detection against the file headers on disk, the table's own
// transactions, and writing back, dropping and flushing the buffers of its
// files.

#include "engTable.h"

#include <utility>

#include "rtlAssert.h"
#include "engBlobLayout.h"
#include "engDataLayout.h"
#include "engIndexFileLayout.h"
#include "engLittleEndian.h"
#include "engScopeGuard.h"
#include "engSession.h"

namespace {

static_assert(HdrChangeCount == 0 && DatHdrChangeCount == 0 && BlbHdrChangeCount == 0,
              "every header starts with its change count");

// Whether the change count at the head of the file on disk is count, seen
// without a read; false also when the file cannot show its head that way.
bool HeadCountIs(TFileHandler& file, uint32_t count) {
  uint8_t head[sizeof(uint32_t)];
  return file.PeekHead(head, sizeof head) && GetLE32(head) == count;
}

}  // namespace

TChangeCounts TDataTable::ChangeCounts() const {
  return {dataFile.ChangeCount(), indexFile.GetChangeCount(), HasBlobFile() ? blobFile.GetChangeCount() : 0,
          heldChanges};
}

bool TDataTable::CarryOverCommit(TChangeCounts& seen) const {
  if (!commitCarries || seen != committedFrom || ChangeCounts() != committedTo) return false;
  seen = committedTo;
  return true;
}

TCacheSizes TDataTable::CacheSizes() const { return Session()->CacheSizes; }

bool TDataTable::CheckForChanges() {
  // Mostly nothing changed, and the counts at the heads of the files (their
  // first pages mapped, on local disks) say so without a system call. A
  // count that moved, an enciphered header or a file that cannot be mapped
  // takes the reads below, which also take the moved headers over.
  if (!IsEncrypted() && HeadCountIs(indexFile, indexFile.GetChangeCount()) &&
      HeadCountIs(dataFile, dataFile.ChangeCount()) &&
      (!HasBlobFile() || HeadCountIs(blobFile, blobFile.GetChangeCount())))
    return false;
  // Every writer rewrites the index header, so it is looked at first.
  if (indexFile.HeaderChanged()) {
    indexFile.DropPages(true);
    dataFile.ReadHeader();
  } else if (!dataFile.HeaderChanged()) {
    // Only BLOB contents changed: the records stay valid.
    if (!HasBlobFile() || !blobFile.HeaderChanged()) return false;
    blobFile.DropCache();
    return true;
  }
  dataFile.DropCache();
  if (HasBlobFile() && blobFile.HeaderChanged()) blobFile.DropCache();
  return true;
}

void TDataTable::StartTransaction(const TTransactionOptions& options) {
  if (readOnly || transactionActive) return;
  if (exclusive) WriteHeaders({});
  transactionActive = true;
  writeLockToCommit = options.SingleChange;
  TScopeGuard undo([this] { transactionActive = false; });
  LockTransaction();
  undo.Dismiss();
}

void TDataTable::Rollback() {
  if (readOnly || !transactionActive) return;
  transactionActive = false;
  // The headers read back carry the counts from before the undone changes,
  // which the twins of a table held exclusively may have seen.
  ++heldChanges;
  TScopeGuard unlock([this] { UnlockTransaction(); });
  // A single change's write lock, kept for a commit that did not come.
  TScopeGuard unlockWrite([this, kept = std::exchange(writeLockToCommit, false)] {
    if (kept) UnlockWrite();
  });
  ReloadFiles(true, true);
}

void TDataTable::Commit(bool release) {
  if (readOnly || !transactionActive) return;
  transactionActive = false;
  // A failure leaves the transaction open, to be committed again or rolled
  // back, and never the write lock held.
  TScopeGuard undo([this] {
    transactionActive = true;
    UnlockWrite();
  });
  LockWrite();
  ORV_ASSERT(MayChangeFiles());
  // Every change inside the transaction marked the files changed (on a
  // shared table), and the transaction lock kept other writers out: the
  // counts now are those of every record and key the commit writes.
  commitCarries = false;
  committedFrom = ChangeCounts();
  WriteHeaders({.TrimCaches = release, .ForceData = true, .ForceIndex = true});
  FlushFiles();
  undo.Dismiss();
  committedTo = ChangeCounts();
  commitCarries = !exclusive;
  if (release) {
    writeLockToCommit = false;
    UnlockWrite();
    UnlockTransaction();
  } else {
    UnlockAllRecords(true);
    transactionActive = true;
    UnlockWrite();
  }
}

void TDataTable::WriteHeaders(const THeaderWriteOptions& options) {
  if (readOnly) return;
  if (transactionActive) {
    if (dataFile.IsOpen()) dataFile.MarkChanged();
    if (indexFile.IsOpen()) indexFile.MarkChanged();
    if (HasBlobFile()) blobFile.MarkChanged();
    return;
  }
  ORV_ASSERT(MayChangeFiles());
  // New BLOB chains go to disk before any record can name them.
  if (HasBlobFile()) blobFile.FlushNewBlocks();
  if (dataFile.IsOpen()) {
    dataFile.FlushRecords();
    dataFile.WriteHeader(options.ForceData);
    dataFile.WriteFieldDescriptors();
    if (options.TrimCaches) dataFile.TrimCache();
  }
  if (indexFile.IsOpen()) {
    indexFile.FlushPages();
    indexFile.WriteHeader(options.ForceIndex);
    if (options.TrimCaches) indexFile.TrimPageCaches(true);
  }
  if (HasBlobFile()) {
    blobFile.FlushBlocks();
    blobFile.WriteHeader(options.ForceData);
    if (options.TrimCaches) blobFile.TrimCache();
  }
}

void TDataTable::ReloadFiles(bool trim, bool rereadHeaders) {
  // The keys would name records the dropped caches may have held.
  waitingDeletedKeys = {};
  if (dataFile.IsOpen()) {
    dataFile.DropCache();
    if (trim) dataFile.TrimCache();
    if (rereadHeaders) dataFile.ReadHeader();
  }
  if (indexFile.IsOpen()) {
    indexFile.DropPages(true);
    if (trim) indexFile.TrimPageCaches(true);
    if (rereadHeaders) indexFile.ReadHeader();
  }
  if (HasBlobFile()) {
    blobFile.DropCache();
    if (trim) blobFile.TrimCache();
    if (rereadHeaders) blobFile.ReadHeader();
  }
}

void TDataTable::FlushFiles() {
  // Write-through files are on disk already.
  if (readOnly || Session()->ForceBufferFlush) return;
  // A commit is durable once its records and BLOB values are: the index
  // file is the system's to write back. After a power loss it may hold
  // pages of any earlier state, which the first open's check (never taken
  // from a record made before the system started) finds out of step with
  // the records and builds again from them. The two syncs need no order
  // between them: the commit is done when both are, so they overlap; a
  // file not written since its last sync costs nothing.
  TFileHandler* files[2];
  size_t count = 0;
  if (dataFile.IsOpen()) files[count++] = &dataFile;
  if (HasBlobFile()) files[count++] = &blobFile;
  TFileHandler::FlushTogether({files, count});
}
