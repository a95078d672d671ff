// Reading the record under the cursor, and the records next to it.

#include "engCursorRecords.h"

#include <cstring>

#include "engCursor.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engTable.h"

int32_t TDataCursor::CrackResult() const {
  if (beforeFirst && afterLast) return CurResultNoRecord;
  if (beforeFirst) return CurResultBeginOfFile;
  if (afterLast) return CurResultEndOfFile;
  return 0;
}

bool TDataCursor::RefreshInto(uint8_t* buffer) {
  // Loading may meet another user's change and move the cursor.
  if (OnRecord()) LoadCurrentRecord();
  const bool onRecord = OnRecord();
  if (buffer) {
    if (onRecord) std::memcpy(buffer, GetCurrentRecordBuffer(), CursorRecordSize());
    else std::memset(buffer, 0, CursorRecordSize());
  }
  return onRecord;
}

int32_t TDataCursor::GetRecord(uint8_t* buffer, bool lock) {
  RequireOpen();
  TOperationBracket bracket(*this);
  // Without a current record there is nothing to lock.
  if (lock && OnRecord()) {
    const uint32_t locked = recordNumber;
    LockRecord(locked);
    if (buffer && !exclusive && std::memcmp(GetCurrentRecordBuffer(), buffer, GetRecordSize()) != 0) {
      UnlockRecord(locked);
      Raise(CurErrRecordChanged);
    }
  }
  return RefreshInto(buffer) ? 0 : CrackResult();
}

int32_t TDataCursor::GetNextRecord(uint8_t* buffer) {
  RequireOpen();
  TOperationBracket bracket(*this);
  MoveBy(1);
  if (RefreshInto(buffer)) return 0;
  return afterLast ? CurResultEndOfFile : CrackResult();
}

int32_t TDataCursor::GetPriorRecord(uint8_t* buffer) {
  RequireOpen();
  TOperationBracket bracket(*this);
  MoveBy(-1);
  if (RefreshInto(buffer)) return 0;
  return beforeFirst ? CurResultBeginOfFile : CrackResult();
}

uint32_t TDataCursor::GetPhysicalRecordCount() {
  TDataHeader header;
  ReadDataHeader(header.Image);
  const uint32_t next = header.NextRecord();
  return next > 0 ? next - 1 : 0;
}

uint32_t TDataCursor::GetBlobFileEnd() {
  RequireOpen();
  return table->HasBlobFile() ? table->BlobFile().EndOffset() : 0;
}
