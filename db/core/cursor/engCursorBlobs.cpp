// The cursor's BLOB fields: its operations pass through to its open BLOBs,
// and record changes commit them.

#include "engCursor.h"
#include "engDataRecord.h"
#include "engTable.h"

int32_t TDataCursor::OpenBlob(int fieldNo, uint8_t* record, bool release, bool tableNumbering, uint8_t mode) {
  RequireOpen();
  return blobs.OpenBlob(fieldNo, record, release, tableNumbering, mode);
}

int32_t TDataCursor::FreeBlob(int fieldNo, uint8_t* record, bool tableNumbering) {
  return blobs.FreeBlob(fieldNo, record, tableNumbering);
}

int32_t TDataCursor::ReadBlob(int fieldNo, const uint8_t* record, bool tableNumbering, int32_t& countRead,
                              std::span<uint8_t> destination, int32_t offset) {
  ENG_ASSERT(destination.size() <= size_t(INT32_MAX));
  return blobs.ReadBlob(fieldNo, record, tableNumbering, countRead, int32_t(destination.size()), destination.data(),
                        offset);
}

int32_t TDataCursor::WriteBlob(int fieldNo, const uint8_t* record, bool tableNumbering,
                               std::span<const uint8_t> source, int32_t offset) {
  ENG_ASSERT(source.size() <= size_t(INT32_MAX));
  return blobs.WriteBlob(fieldNo, record, tableNumbering, int32_t(source.size()), source.data(), offset);
}

int32_t TDataCursor::TruncateBlob(int fieldNo, const uint8_t* record, bool tableNumbering, int32_t newSize) {
  return blobs.TruncateBlob(fieldNo, record, tableNumbering, newSize);
}

int32_t TDataCursor::GetBlobSize(int fieldNo, const uint8_t* record, bool tableNumbering, int32_t& size) const {
  return blobs.GetBlobSize(fieldNo, record, tableNumbering, size);
}

// Inside a record change the write lock already holds the table still, so
// the check finds nothing there.
void TDataCursor::BeginBlobOperation() { BeginOperation(); }

void TDataCursor::EndBlobOperation() { EndOperation(); }

void TDataCursor::CommitRecordBlobs(TRecord* record) {
  if (!table->HasBlobFile()) return;
  uint8_t* buffer = record->Buffer();
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
