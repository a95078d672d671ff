// Carrying BLOB values into the work table: each value is read from the
// old table's chain and written as a new chain of the work table's BLOB
// file, which the new record's field then refers to.

#include <cstring>

#include "engBlobBuffer.h"
#include "engDataFile.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engRecordBuffer.h"
#include "engRestructure.h"
#include "engTable.h"

void TRestructure::CarryBlob(TDataCursor& work, uint32_t oldRecordNo, const uint8_t* oldDesc, const uint8_t* oldRecord,
                             const uint8_t* newDesc, uint8_t* newRecord) {
  const uint8_t* oldReference = FieldValueBytes(oldDesc, oldRecord);
  uint8_t* newReference = FieldValueBytes(newDesc, newRecord);
  std::memcpy(newReference, oldReference, newDesc[FieldDescStoredSizeOffset]);
  FieldNullByte(newDesc, newRecord) = 1;
  // An empty value has no chain.
  if (GetLE32(oldReference) == 0) return;

  TBlobBuffer source(&cursor, &cursor.table->BlobFile());
  source.FirstOffset = int32_t(GetLE32(oldReference));
  source.Sequence = GetLE32(oldReference + 4);
  source.PhysicalRecordNo = oldRecordNo;
  source.Load();

  TBlobBuffer target(&work, &work.table->BlobFile());
  target.Sequence = work.DataFile().NextBlobSequence();
  target.PhysicalRecordNo = work.DataFile().NewRecordNumber();
  target.SetSize(source.Size());
  if (source.Size() > 0) std::memcpy(target.GetData(), source.GetData(), size_t(source.Size()));
  target.Save();
  PutLE32(newReference, uint32_t(target.FirstOffset));
  PutLE32(newReference + 4, target.Sequence);
  carriedBlobs.push_back({target.PhysicalRecordNo, target.Sequence, uint32_t(target.FirstOffset)});
}

// The chains of a record that was left out.
void TRestructure::FreeCarriedBlobs(TDataCursor& work) {
  for (TCarriedBlob& blob : carriedBlobs)
    work.table->BlobFile().FreeChain(&work, false, true, blob.RecordNo, blob.Sequence, blob.FirstOffset);
  carriedBlobs.clear();
}
