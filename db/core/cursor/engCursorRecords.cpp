// Reading the record under the cursor, and the records next to it.

#include "engCursorRecords.h"

#include <cstring>
#include <vector>

#include "engBlobBuffer.h"
#include "engCursor.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engDataRecord.h"
#include "engErrorCodes.h"
#include "engKeyEncoding.h"
#include "engScopeGuard.h"
#include "engTable.h"

int32_t TDataCursor::CrackResult() const {
  switch (position.Place()) {
    case TCursorPlace::Empty:
      return EngErrNoCurrentRecord;
    case TCursorPlace::BeforeFirst:
      return EngErrBeginOfFile;
    case TCursorPlace::AfterLast:
      return EngErrEndOfFile;
    case TCursorPlace::OnRecord:
      break;
  }
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

int32_t TDataCursor::GetRecord(uint8_t* buffer, TRecordPurpose purpose) {
  RequireOpen();
  TOperationBracket bracket(*this);
  // Without a current record there is nothing to lock.
  if (purpose == TRecordPurpose::Edit && OnRecord()) {
    const uint32_t locked = position.Record();
    LockRecord(locked);
    if (buffer && !exclusive && std::memcmp(GetCurrentRecordBuffer(), buffer, GetRecordSize()) != 0) {
      UnlockRecord(locked);
      Raise(EngErrRecordChanged);
    }
  }
  return RefreshInto(buffer) ? 0 : CrackResult();
}

// The step loads the record it lands on inside this operation, after its
// change check: that copy is handed out without reading it again.
bool TDataCursor::StepInto(int32_t n, uint8_t* buffer) {
  if (!MoveAndLoad(n)) return RefreshInto(buffer);
  if (buffer) std::memcpy(buffer, GetCurrentRecordBuffer(), CursorRecordSize());
  return true;
}

int32_t TDataCursor::GetNextRecord(uint8_t* buffer) {
  RequireOpen();
  TOperationBracket bracket(*this);
  if (StepInto(1, buffer)) return 0;
  return AtEnd() ? EngErrEndOfFile : CrackResult();
}

int32_t TDataCursor::GetPriorRecord(uint8_t* buffer) {
  RequireOpen();
  TOperationBracket bracket(*this);
  if (StepInto(-1, buffer)) return 0;
  return AtBeginning() ? EngErrBeginOfFile : CrackResult();
}

void TDataCursor::CopyBlobInto(int fieldNo, uint8_t* buffer) {
  uint8_t* source = currentRecord.Buffer();
  auto check = [this](int32_t result) {
    if (result != 0) Raise(uint16_t(result));
  };
  check(blobs.OpenBlob(fieldNo, source, {.Release = true}));
  TScopeGuard close([&] { check(blobs.FreeBlob(fieldNo, source, TFieldNumbering::Cursor)); });
  int32_t size = 0;
  check(blobs.GetBlobSize(fieldNo, source, TFieldNumbering::Cursor, size));
  std::vector<uint8_t> value(static_cast<size_t>(size));
  int32_t countRead = 0;
  check(blobs.ReadBlob(fieldNo, source, TFieldNumbering::Cursor, countRead, size, value.data(), 0));
  check(blobs.OpenBlob(fieldNo, buffer, {.Release = true}));
  check(blobs.WriteBlob(fieldNo, buffer, TFieldNumbering::Cursor, size, value.data(), 0));
}

int32_t TDataCursor::CopyRecord(uint8_t* buffer) {
  RequireOpen();
  TOperationBracket bracket(*this);
  ClearRecord(buffer);
  if (!RefreshInto(nullptr)) return CrackResult();
  const uint8_t* current = currentRecord.Buffer();
  for (int position = 1; position <= FieldListCount(); ++position) {
    const uint8_t* desc = FieldDescAt(position);
    bool blank = true;
    GetFieldValue(desc, current, blank, nullptr);
    if (blank) continue;
    if (desc[FieldDescTypeOffset] == BlobFieldType) {
      CopyBlobInto(HasFieldMap() ? FieldDescNumber(desc) : position, buffer);
    } else {
      std::vector<uint8_t> value(static_cast<size_t>(FieldValueWidth(desc)));
      GetFieldValue(desc, current, blank, value.data());
      PutFieldValue(desc, buffer, true, value.data());
    }
  }
  if (noAutoInc) std::memcpy(buffer + RecordAutoIncOffset, current + RecordAutoIncOffset, 4);
  return 0;
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
