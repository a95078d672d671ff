// The table's byte-range lock protocol: record locks with the session's
// retry rule, the shared read and change-check locks, the write lock and
// the transaction lock. The files know the offsets and retry the table
// locks themselves; the table decides when each is taken and keeps what
// it holds.

#include "engErrorCodes.h"
#include "engTable.h"

#include <algorithm>

#include "rtlAssert.h"
#include "engLockRetry.h"
#include "engScopeGuard.h"
#include "engSession.h"

namespace {

bool IsRecordNumber(uint32_t recordNumber) { return recordNumber >= 1 && recordNumber < MaxRecordNumber; }

}  // namespace

void TDataTable::GrowLockBitmaps(uint32_t recordNumber) {
  const int64_t needed =
      std::min<int64_t>(std::max<int64_t>(dataFile.NextRecordNumber(), recordNumber), MaxRecordNumber);
  for (TRecordsBitmap* bitmap : {&heldLocks, &cursorLocks, &deferredUnlocks})
    if (needed > bitmap->RecordCount()) bitmap->SetRecordCount(int32_t(needed));
}

void TDataTable::MarkHeld(uint32_t recordNumber) {
  if (heldLocks.IsSet(int32_t(recordNumber))) return;
  heldLocks.SetBit(int32_t(recordNumber));
  if (heldCount++ == 0 || recordNumber < heldLow) heldLow = recordNumber;
}

void TDataTable::ClearHeld(uint32_t recordNumber) {
  ORV_ASSERT(heldCount > 0 && heldLocks.IsSet(int32_t(recordNumber)));
  heldLocks.ClearBit(int32_t(recordNumber));
  --heldCount;
}

bool TDataTable::TryRecordLock(uint32_t recordNumber) {
  const TDataSession* session = Session();
  return RetryLock([&] { return dataFile.LockRecord(recordNumber); }, 1 + session->LockRetryCount,
                   session->LockWaitTime);
}

bool TDataTable::LockRecord(uint32_t recordNumber) {
  if (!IsRecordNumber(recordNumber)) Raise(EngErrRecordInUse);
  // An exclusive table locks records only for a transaction.
  if (filesReadOnly || (exclusive && !transactionLockHeld)) return false;
  GrowLockBitmaps(recordNumber);
  if (transactionLockHeld && heldLocks.IsSet(int32_t(recordNumber))) return false;
  bool changed = false;
  bool tookChangeCheck = false;
  if (!exclusive && !Session()->StrictChangeDetection) {
    const bool heldBefore = changeCheckLockHeld;
    changed = LockChangeCheck();
    tookChangeCheck = !heldBefore && changeCheckLockHeld;
  }
  if (!TryRecordLock(recordNumber)) {
    if (tookChangeCheck) ReleaseQuietly([this] { UnlockChangeCheck(); });
    Raise(EngErrRecordInUse);
  }
  MarkHeld(recordNumber);
  deferredUnlocks.ClearBit(int32_t(recordNumber));
  return changed;
}

void TDataTable::UnlockRecord(uint32_t recordNumber) {
  if (!IsRecordNumber(recordNumber)) Raise(EngErrUnlock);
  if (filesReadOnly || (exclusive && !transactionLockHeld)) return;
  GrowLockBitmaps(recordNumber);
  if (transactionLockHeld) {
    // Other users may not see the record until the transaction's changes are.
    deferredUnlocks.SetBit(int32_t(recordNumber));
    return;
  }
  if (!heldLocks.IsSet(int32_t(recordNumber))) Raise(EngErrUnlock);
  if (!dataFile.UnlockRecord(recordNumber)) Raise(EngErrUnlock);
  ClearHeld(recordNumber);
}

void TDataTable::UnlockAllRecords(bool deferredOnly) {
  // Records of consecutive numbers have adjacent lock bytes: each run of
  // them is released in one call (a commit of a statement's changes holds
  // thousands). Other processes find every byte free no later than before;
  // records kept held lie outside every run.
  bool failed = false;
  uint32_t runFirst = 0;
  uint32_t runCount = 0;
  auto releaseRun = [&] {
    if (runCount == 0) return;
    // A run the file refuses (a lock in it already gone) goes record by
    // record, so that one bad lock keeps none of its neighbours held.
    if (!dataFile.UnlockRecordRun(runFirst, runCount))
      for (uint32_t number = runFirst; number < runFirst + runCount; ++number)
        if (!dataFile.UnlockRecord(number)) failed = true;
    runCount = 0;
  };
  int32_t recordNumber = int32_t(heldLow) - 1;
  int32_t counter = 0;
  for (int32_t left = heldCount; left > 0 && heldLocks.FindNext(recordNumber, 1, counter); --left) {
    if (deferredOnly && !deferredUnlocks.IsSet(recordNumber)) continue;
    if (uint32_t(recordNumber) != runFirst + runCount) releaseRun();
    if (runCount == 0) runFirst = uint32_t(recordNumber);
    ++runCount;
    ClearHeld(uint32_t(recordNumber));
    deferredUnlocks.ClearBit(recordNumber);
  }
  releaseRun();
  if (!deferredOnly) deferredUnlocks.ClearAll();
  if (failed) Raise(EngErrUnlock);
}

void TDataTable::MarkCursorLock(uint32_t recordNumber) {
  if (!IsRecordNumber(recordNumber)) return;
  GrowLockBitmaps(recordNumber);
  cursorLocks.SetBit(int32_t(recordNumber));
}

void TDataTable::ClearCursorLock(uint32_t recordNumber) {
  if (HasCursorLock(recordNumber)) cursorLocks.ClearBit(int32_t(recordNumber));
}

bool TDataTable::HasCursorLock(uint32_t recordNumber) const {
  return IsRecordNumber(recordNumber) && int64_t(recordNumber) <= cursorLocks.RecordCount() &&
         cursorLocks.IsSet(int32_t(recordNumber));
}

bool TDataTable::HoldsRecordLock(uint32_t recordNumber) const {
  return IsRecordNumber(recordNumber) && int64_t(recordNumber) <= heldLocks.RecordCount() &&
         heldLocks.IsSet(int32_t(recordNumber));
}

// ---- read and change-check locks ----------------------------------------

bool TDataTable::TakeSharedLock(bool& held, uint16_t& indexLock, uint16_t& blobLock) {
  if (readLockHeld || changeCheckLockHeld || transactionLockHeld || writeLockHeld || TableLocksSkipped())
    return false;
  if (!indexFile.LockIndexShared(indexLock)) Raise(EngErrLockFailure);
  if (HasBlobFile() && !blobFile.LockShared(blobLock)) {
    indexFile.UnlockIndexShared(indexLock);
    indexLock = blobLock = 0;
    Raise(EngErrLockFailure);
  }
  held = true;
  TScopeGuard release([&] { ReleaseSharedLock(held, indexLock, blobLock); });
  const bool changed = CheckForChanges();
  release.Dismiss();
  return changed;
}

bool TDataTable::ReleaseSharedLock(bool& held, uint16_t& indexLock, uint16_t& blobLock) {
  ORV_ASSERT(held && indexLock != 0);
  bool released = true;
  if (blobLock != 0 && !blobFile.UnlockShared(blobLock)) released = false;
  if (!indexFile.UnlockIndexShared(indexLock)) released = false;
  held = false;
  indexLock = blobLock = 0;
  return released;
}

bool TDataTable::LockRead() {
  if (!readPaused) return TakeSharedLock(readLockHeld, readIndexLock, readBlobLock);
  readPaused = false;
  bool changed;
  try {
    changed = TakeSharedLock(readLockHeld, readIndexLock, readBlobLock);
  } catch (...) {
    dataFile.KeepWindowCopies();
    throw;
  }
  // Every writer moves the counts, which the lock's check reads, so pages
  // shown before the pause show the same bytes unless they moved (or this
  // process wrote the file, which a pause is not meant for).
  if (readLockHeld && !changed && dataFile.PhysicalWrites() == writesAtPause) dataFile.DropWindowCopies();
  else dataFile.KeepWindowCopies();
  return changed;
}

void TDataTable::UnlockRead() {
  if (readPaused) {
    // Not taken again: nothing says the file stayed as it was.
    readPaused = false;
    dataFile.KeepWindowCopies();
  }
  if (!readLockHeld || TableLocksSkipped()) return;
  dataFile.KeepWindows();
  if (!ReleaseSharedLock(readLockHeld, readIndexLock, readBlobLock)) Raise(EngErrUnlock);
}

void TDataTable::PauseRead() {
  if (!readLockHeld || TableLocksSkipped()) return;
  dataFile.CopyWindows();
  readPaused = true;
  writesAtPause = dataFile.PhysicalWrites();
  if (!ReleaseSharedLock(readLockHeld, readIndexLock, readBlobLock)) Raise(EngErrUnlock);
}

bool TDataTable::LockChangeCheck() {
  return TakeSharedLock(changeCheckLockHeld, changeCheckIndexLock, changeCheckBlobLock);
}

void TDataTable::UnlockChangeCheck() {
  if (!changeCheckLockHeld || TableLocksSkipped()) return;
  if (!ReleaseSharedLock(changeCheckLockHeld, changeCheckIndexLock, changeCheckBlobLock)) Raise(EngErrUnlock);
}

// ---- write and transaction locks ----------------------------------------

bool TDataTable::LockWrite() {
  if (writeLockHeld || TableLocksSkipped()) return false;
  // Inside a transaction the transaction lock holds the header byte already.
  const bool takesHeader = !transactionLockHeld;
  if (takesHeader && !dataFile.LockHeader()) Raise(EngErrLockFailure);
  if (!indexFile.LockIndexExclusive()) {
    if (takesHeader) dataFile.UnlockHeader();
    Raise(EngErrLockFailure);
  }
  if (HasBlobFile() && !blobFile.LockExclusive()) {
    indexFile.UnlockIndexExclusive();
    if (takesHeader) dataFile.UnlockHeader();
    Raise(EngErrLockFailure);
  }
  writeLockHeld = true;
  if (!takesHeader) return false;
  TScopeGuard release([this] { ReleaseWriteLock(); });
  const bool changed = CheckForChanges();
  release.Dismiss();
  return changed;
}

bool TDataTable::ReleaseWriteLock() {
  ORV_ASSERT(writeLockHeld);
  bool released = true;
  if (HasBlobFile() && !blobFile.UnlockExclusive()) released = false;
  if (!indexFile.UnlockIndexExclusive()) released = false;
  if (!transactionLockHeld && !dataFile.UnlockHeader()) released = false;
  writeLockHeld = false;
  return released;
}

void TDataTable::UnlockWrite() {
  if (!writeLockHeld || TableLocksSkipped() || (transactionActive && writeLockToCommit)) return;
  if (!ReleaseWriteLock()) Raise(EngErrLockFailure);
}

void TDataTable::LockTransaction() {
  if (transactionLockHeld || filesReadOnly) return;
  if (!dataFile.LockHeader()) Raise(EngErrLockFailure);
  transactionLockHeld = true;
  if (exclusive) return;
  TScopeGuard release([this] {
    dataFile.UnlockHeader();
    transactionLockHeld = false;
  });
  CheckForChanges();
  release.Dismiss();
}

void TDataTable::UnlockTransaction() {
  if (!transactionLockHeld) return;
  const bool released = dataFile.UnlockHeader();
  transactionLockHeld = false;
  if (!exclusive) UnlockAllRecords(true);
  if (!released) Raise(EngErrLockFailure);
}
