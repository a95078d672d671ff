// Record locks of a cursor and its brackets around the table's read and
// write locks.
//
// The table knows which records some cursor of the process has locked;
// the cursor knows which of them are its own, so that it may go on to
// change a record it locked for editing while every other cursor of the
// process is refused at once.

#include <algorithm>

#include "engCursor.h"
#include "engErrorCodes.h"
#include "engScopeGuard.h"
#include "engTable.h"

bool TDataCursor::FollowChanges(bool changed) {
  if (!changed && !SkipsSnapshotCheck() && snapshot.Differs(*table)) changed = true;
  if (changed) Resynchronise();
  return changed;
}

bool TDataCursor::HoldsRecordLock(uint32_t number) const {
  return std::find(lockedRecords.begin(), lockedRecords.end(), number) != lockedRecords.end();
}

void TDataCursor::LockRecord(uint32_t number) {
  RequireOpen();
  // The bracket also ends the change-check lock the table may take on
  // the way, which would keep other processes' writers waiting.
  TOperationBracket bracket(*this);
  if (number == 0) number = CurrentRecordNumber();
  if (number != 0 && HoldsRecordLock(number)) return;
  if (table->HasCursorLock(number)) Raise(EngErrRecordInUse);
  const bool changed = table->LockRecord(number);
  lockedRecords.push_back(number);
  table->MarkCursorLock(number);
  FollowChanges(changed);
}

void TDataCursor::UnlockRecord(uint32_t number) {
  RequireOpen();
  if (number == 0) number = CurrentRecordNumber();
  // Another cursor's lock is not this one's to release.
  if (!HoldsRecordLock(number)) Raise(EngErrUnlock);
  table->UnlockRecord(number);
  table->ClearCursorLock(number);
  lockedRecords.erase(std::find(lockedRecords.begin(), lockedRecords.end(), number));
}

// A bracket that fails leaves its lock released.
bool TDataCursor::BeginRead() {
  RequireOpen();
  const bool changed = table->LockRead();
  TScopeGuard unlock([this] { table->UnlockRead(); });
  const bool followed = FollowChanges(changed);
  unlock.Dismiss();
  return followed;
}

void TDataCursor::EndRead() {
  if (open) table->UnlockRead();
}

void TDataCursor::PauseRead() {
  if (open) table->PauseRead();
}

bool TDataCursor::BeginWrite() {
  RequireOpen();
  const bool changed = table->LockWrite();
  // A table held exclusively took no lock: there is none to give back.
  if (table->TableLocksSkipped()) return FollowChanges(changed);
  TScopeGuard unlock([this] { table->UnlockWrite(); });
  const bool followed = FollowChanges(changed);
  unlock.Dismiss();
  return followed;
}

void TDataCursor::EndWrite() {
  if (open) table->UnlockWrite();
}
