// Change detection against the file headers on disk, the table's own
// transactions, and writing back, dropping and flushing the buffers of its
// files.

#include "engTable.h"

#include "engAssert.h"
#include "engScopeGuard.h"
#include "engSession.h"

TCacheSizes TDataTable::CacheSizes() const { return Session()->CacheSizes; }

bool TDataTable::CheckForChanges() {
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

void TDataTable::StartTransaction() {
  if (readOnly || transactionActive) return;
  if (exclusive) WriteHeaders({});
  transactionActive = true;
  TScopeGuard undo([this] { transactionActive = false; });
  LockTransaction();
  undo.Dismiss();
}

void TDataTable::Rollback() {
  if (readOnly || !transactionActive) return;
  transactionActive = false;
  TScopeGuard unlock([this] { UnlockTransaction(); });
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
  ENG_ASSERT(MayChangeFiles());
  WriteHeaders({.TrimCaches = release, .ForceData = true, .ForceIndex = true});
  FlushFiles();
  undo.Dismiss();
  if (release) {
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
  ENG_ASSERT(MayChangeFiles());
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
  if (dataFile.IsOpen()) dataFile.Flush();
  if (indexFile.IsOpen()) indexFile.Flush();
  if (HasBlobFile()) blobFile.Flush();
}
