// Committing a cursor's open BLOBs with the record they belong to.

#include "engBlobField.h"

#include "engBlobLayout.h"
#include "engDataFile.h"
#include "engDataLayout.h"
#include "engErrorCodes.h"
#include "engFieldBytes.h"
#include "engLittleEndian.h"
#include "engRecordBuffer.h"
#include "engTable.h"

void TCursorBlobs::AssignBlobSequences(uint8_t* record, bool tableNumbering) {
  uint8_t scratch[FieldDescSize];
  for (int32_t i = 0; i < buffers.Count(); ++i) {
    TBlobBuffer& buffer = *Buffer(i);
    if (!buffer.Modified) continue;
    const uint8_t* fieldDesc = HeldDesc(buffer, record, tableNumbering, scratch);
    if (!fieldDesc) continue;
    buffer.Sequence = table->DataFile().NextBlobSequence();
    // Through the descriptor just found: a second look-up copied it whole.
    PutLE32(FieldValueBytes(fieldDesc, record) + BlobFieldSequenceOffset, buffer.Sequence);
  }
}

void TCursorBlobs::WriteOpenBlobs(const uint8_t* record, bool tableNumbering) {
  uint8_t scratch[FieldDescSize];
  const TBlobBuffer* first = nullptr;
  for (int32_t i = 0; i < buffers.Count(); ++i) {
    const TBlobBuffer& buffer = *Buffer(i);
    if (!buffer.Modified || !HeldDesc(buffer, record, tableNumbering, scratch)) continue;
    if (!first)
      first = &buffer;
    else if (buffer.PhysicalRecordNo != first->PhysicalRecordNo)
      Raise(EngErrBlocksCorrupt, nullptr);
  }
  for (int32_t i = 0; i < buffers.Count(); ++i) {
    TBlobBuffer& buffer = *Buffer(i);
    if (!buffer.Modified || !HeldDesc(buffer, record, tableNumbering, scratch)) continue;
    if (buffer.Size() < 1)
      buffer.FreeBlocks();
    else
      buffer.Save();
  }
}

void TCursorBlobs::SaveOpenBlobs(uint8_t* record, bool tableNumbering) {
  uint8_t scratch[FieldDescSize];
  for (int32_t i = 0; i < buffers.Count(); ++i)
    if (const uint8_t* fieldDesc = HeldDesc(*Buffer(i), record, tableNumbering, scratch))
      fields.PutBlobReference(fieldDesc, record, Buffer(i)->FirstOffset, Buffer(i)->FirstOffset != 0);
}

void TCursorBlobs::FreeOpenBlobs(bool all) {
  for (int32_t i = buffers.Count() - 1; i >= 0; --i)
    if (all || Buffer(i)->Release) FreeBuffer(i);
}

// Every field's type is looked at: without a field map or a list of its
// own, table numbering is the data file's positions and the descriptors
// are read where the file keeps them (copying each took half the work of
// freeing a short memo).
void TCursorBlobs::FreeRecordBlobs(uint8_t* record) {
  const bool inPlace = !fields.HasFieldMap() && !fields.HasOwnFieldList();
  uint8_t copy[FieldDescSize];
  for (int fieldNo = 1; fieldNo <= fields.GetFieldCount(); ++fieldNo) {
    const uint8_t* fieldDesc = inPlace ? table->DataFile().FieldDescAt(fieldNo) : nullptr;
    if (!fieldDesc) {
      fields.GetTableFieldDesc(fieldNo, copy);
      fieldDesc = copy;
    }
    if (fieldDesc[FieldDescTypeOffset] != BlobFieldType) continue;
    // Named from a copy taken after the call, which may read the file.
    auto fail = [&](int32_t result) {
      fields.GetTableFieldDesc(fieldNo, copy);
      Raise(uint16_t(result), copy);
    };
    if (const int32_t result =
            OpenBlob(fieldNo, record, {.Release = true, .Numbering = TFieldNumbering::Table}))
      fail(result);
    if (const int32_t result = TruncateBlob(fieldNo, record, TFieldNumbering::Table, 0)) fail(result);
  }
}
