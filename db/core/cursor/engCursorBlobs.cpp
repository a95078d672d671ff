// The cursor's side of its BLOB fields: the bracket of an open, and the
// commit of the open BLOBs with record changes.

#include "engCursor.h"
#include "engDataRecord.h"
#include "engTable.h"

// Inside a record change the write lock already holds the table still, so
// the check finds nothing there.
void TDataCursor::BeginBlobOperation() {
  RequireOpen();
  BeginOperation();
}

void TDataCursor::EndBlobOperation() { EndOperation(); }

void TDataCursor::CommitRecordBlobs(TRecord* record) { CommitRecordBlobs(record->Buffer()); }

// Each step acts on open BLOBs only: with none, none has work (a fill
// whose memos were appended as its rows were built commits none).
void TDataCursor::CommitRecordBlobs(uint8_t* buffer) {
  if (blobs.OpenBlobCount() == 0 || !table->HasBlobFile()) return;
  blobs.AssignBlobSequences(buffer, true);
  blobs.WriteOpenBlobs(buffer, true);
  blobs.SaveOpenBlobs(buffer, true);
  blobs.FreeOpenBlobs(false);
}

void TDataCursor::FreeRecordBlobs(TRecord* record) {
  if (!table->HasBlobFile()) return;
  blobs.FreeRecordBlobs(record->Buffer());
  CommitRecordBlobs(record);
}
