#pragma once
// The engine's inline reads of descriptor bytes in TCursorFields, kept
// apart so that the cursor's interface shows nothing of the data file's
// layout.

#include <utility>

#include "engDataLayout.h"
#include "engFieldAccess.h"
#include "engLittleEndian.h"
#include "engShortCopy.h"

inline void TCursorFields::GetFieldValue(const uint8_t* fieldDesc, const uint8_t* buffer, bool& blank,
                                         void* value) const {
  const uint8_t* stored = StoredFieldBytes(fieldDesc, buffer, blank);
  if (!stored) {
    GetOtherFieldValue(fieldDesc, buffer, blank, value);
  } else if (value) {
    CopyInWords(static_cast<uint8_t*>(value), stored, fieldDesc[FieldDescStoredSizeOffset]);
  }
}

inline const uint8_t* TCursorFields::StoredFieldBytes(const uint8_t* fieldDesc, const uint8_t* buffer, bool& blank) {
  const uint8_t type = fieldDesc[FieldDescTypeOffset];
  if (type == BlobFieldType || (type == AutoIncFieldType && fieldDesc[FieldDescSubtypeOffset] == stAutoInc))
    return nullptr;
  const uint8_t* nullByte = buffer + GetLE16(fieldDesc + FieldDescRecordOffset);
  blank = *nullByte == 0;
  return nullByte + 1;
}

inline uint8_t* TCursorFields::FieldDescAt(int position) {
  return const_cast<uint8_t*>(std::as_const(*this).FieldDescAt(position));
}

inline const uint8_t* TCursorFields::FieldDescAt(int position) const {
  if (position < 1 || position > fieldCount) return nullptr;
  return fieldDescs.Get() + size_t(position - 1) * FieldDescSize;
}
