// Noticing changes by other cursors and processes: the bracket around
// every cursor operation, the change snapshot, and resynchronising.

#include "engCursor.h"
#include "rtlAssert.h"
#include "engDataFile.h"
#include "engDirectory.h"
#include "engErrorCodes.h"
#include "engIndexFile.h"
#include "engScopeGuard.h"
#include "engSession.h"
#include "engTable.h"

namespace {

// A read that meets a change leaves the change-check lock held, so the
// reads after it never meet one again; more restarts than this mean the
// lock protocol broke down.
constexpr int MaxRestarts = 8;

}  // namespace

void TChangeSnapshot::Take(TDataTable& table) {
  takenOf = &table;
  counts = table.ChangeCounts();
}

void TChangeSnapshot::Clear() {
  takenOf = nullptr;
  counts = {};
}

// A cursor's own commit moves every count: without the carry its next
// operation built its bitmaps again from the files, which grew with the
// table (most of an INSERT's own time at a million rows).
bool TChangeSnapshot::Differs(TDataTable& table) {
  ORV_ASSERT(takenOf == nullptr || takenOf == &table);
  return counts != table.ChangeCounts() && !(takenOf && table.CarryOverCommit(counts));
}

void TDataCursor::TakeChangeSnapshot() {
  if (!open) return;
  snapshot.Take(*table);
}

// Nobody else can change a table that this cursor alone holds exclusively,
// or one that cannot be written; a twin sharing an exclusive table can.
bool TDataCursor::SkipsSnapshotCheck() const {
  return tableIsReadOnly || (exclusive && table->UseCount() <= 1);
}

bool TDataCursor::EnterOperation() {
  if (operationDepth++ > 0) return false;
  directory->Session()->EnterUse();
  return true;
}

bool TDataCursor::BeginOperation() {
  if (!open || !EnterOperation()) return false;
  restarts = 0;
  const bool strict = directory->Session()->StrictChangeDetection;
  // Comparing the snapshot cannot fail: without strict detection an
  // unchanged table needs no guard (its set-up was a tenth of the bracket).
  if (!strict && (SkipsSnapshotCheck() || !snapshot.Differs(*table))) return false;
  TScopeGuard end([this] { EndOperation(); });
  // Without strict detection only a snapshot that differs comes this far.
  const bool changed = !strict || table->LockChangeCheck() || (!SkipsSnapshotCheck() && snapshot.Differs(*table));
  if (changed) Resynchronise();
  end.Dismiss();
  return changed;
}

void TDataCursor::EndOperation() {
  if (operationDepth == 0) return;
  if (--operationDepth > 0) return;
  directory->Session()->LeaveUse();
  if (open && table->HoldsChangeCheckLock()) table->UnlockChangeCheck();
}

void TDataCursor::RefreshPosition() {
  RequireOpen();
  const bool outermost = EnterOperation();
  TScopeGuard end([this] { EndOperation(); });
  if (outermost) table->LockChangeCheck();
  Resynchronise();
}

void TDataCursor::NoteRestart() {
  // Only a check made under a lock that keeps writers out reports a
  // change, and that lock stays until the operation ends.
  ORV_ASSERT(table->HoldsChangeCheckLock() || table->HoldsReadLock() || table->HoldsWriteLock());
  if (++restarts > MaxRestarts) Raise(EngErrLockFailure);
}

void TDataCursor::AfterChangeSeen() {
  NoteRestart();
  Resynchronise();
}

void TDataCursor::Resynchronise() { FindPositionAgain(true); }

void TDataCursor::FindPositionAgain(bool rebuildBitmaps) {
  if (!open || resynchronising) return;
  resynchronising = true;
  TScopeGuard done([this] { resynchronising = false; });
  uint8_t bookmark[MaxBookmarkSize];
  GetBookmark(bookmark);
  const TCursorPlace was = position.Place();
  TakeChangeSnapshot();
  if (rebuildBitmaps) {
    RebuildWindowAndBitmaps();
  } else {
    TOperationBracket bracket(*this);
    ComputeRangeWindow();
  }
  if (was == TCursorPlace::Empty) {
    SetToBegin();
  } else if (IsNaturalOrder() && was == TCursorPlace::BeforeFirst) {
    SetToBegin();
  } else if (IsNaturalOrder() && was == TCursorPlace::AfterLast) {
    SetToEnd();
  } else if (IsNaturalOrder()) {
    GotoNaturalRecord(position.Record());
    LoadCurrentRecord();
  } else {
    SearchKey(bookmark, TCrack::Keep);
  }
}
