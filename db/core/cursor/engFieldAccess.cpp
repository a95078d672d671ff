#include "engFieldAccess.h"
#include "engFieldBytes.h"

#include <cstring>

#include "rtlAssert.h"
#include "engBlobLayout.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engExpCodes.h"
#include "engFieldString.h"
#include "engLittleEndian.h"
#include "engRecordBuffer.h"

// The inline read in the header tells BLOB fields by the data layout's type.
static_assert(BlobFieldType == dtBlob);

namespace {

uint8_t FieldType(const uint8_t* fieldDesc) { return fieldDesc[FieldDescTypeOffset]; }

int32_t BlobReference(const uint8_t* valueBytes) { return int32_t(GetLE32(valueBytes)); }

}  // namespace

int FieldValueWidth(const uint8_t* fieldDesc) {
  if (IsAutoIncField(fieldDesc) || FieldType(fieldDesc) == dtBlob) return sizeof(int32_t);
  return fieldDesc[FieldDescStoredSizeOffset];
}

const uint8_t* TCursorFields::FieldDescFor(int fieldNo, bool tableNumbering, uint8_t* room) const {
  if (!tableNumbering || ownFieldList) {
    const uint8_t* found = CursorFieldDesc(fieldNo);
    if (!found) RaiseFieldNumber(fieldNo);
    return found;
  }
  if (dataFile && !fieldMap) {
    const uint8_t* found = dataFile->FieldDescAt(fieldNo);
    if (!found) RaiseFieldNumber(fieldNo);
    return found;
  }
  GetTableFieldDesc(fieldNo, room);
  return room;
}

void TCursorFields::GetField(int fieldNo, const uint8_t* buffer, bool& blank, void* value) const {
  uint8_t room[FieldDescSize];
  GetFieldValue(FieldDescFor(fieldNo, false, room), buffer, blank, value);
}

void TCursorFields::GetTableField(int fieldNo, const uint8_t* buffer, bool& blank, void* value) const {
  uint8_t room[FieldDescSize];
  GetFieldValue(FieldDescFor(fieldNo, true, room), buffer, blank, value);
}

void TCursorFields::PutField(int fieldNo, uint8_t* buffer, bool force, const void* value) {
  uint8_t room[FieldDescSize];
  PutFieldValue(FieldDescFor(fieldNo, false, room), buffer, force, value);
}

void TCursorFields::PutTableField(int fieldNo, uint8_t* buffer, const void* value) {
  uint8_t room[FieldDescSize];
  PutFieldValue(FieldDescFor(fieldNo, true, room), buffer, false, value);
}

bool TCursorFields::ReadField(int fieldNo, const uint8_t* buffer, std::span<uint8_t> value) const {
  uint8_t room[FieldDescSize];
  const uint8_t* fieldDesc = FieldDescFor(fieldNo, false, room);
  ORV_ASSERT(value.empty() || value.size() >= size_t(FieldValueWidth(fieldDesc)));
  bool blank = true;
  GetFieldValue(fieldDesc, buffer, blank, value.empty() ? nullptr : value.data());
  return !blank;
}

void TCursorFields::WriteField(int fieldNo, uint8_t* buffer, std::span<const uint8_t> value) {
  uint8_t room[FieldDescSize];
  const uint8_t* fieldDesc = FieldDescFor(fieldNo, false, room);
  const size_t width = size_t(FieldValueWidth(fieldDesc));
  ORV_ASSERT(value.size() >= width ||
             (FieldType(fieldDesc) == dtString && std::memchr(value.data(), 0, value.size()) != nullptr));
  PutFieldValue(fieldDesc, buffer, false, value.data());
}

bool TCursorFields::PlanStoredCopy(const TFieldDefinition& from, const TFieldDefinition& to, TStoredCopy& copy) {
  using TKind = TStoredCopy::TKind;
  if (from.IsBlob() || from.NotStored || to.IsBlob() || to.IsAutoInc() || to.NotStored) return false;
  copy.To = to.RecordOffset;
  copy.Width = to.StoredSize;
  if (from.IsAutoInc()) {
    copy.Kind = TKind::RowNumber;
    return to.Type == EngineFieldTypes::ftInteger && to.StoredSize == sizeof(int32_t);
  }
  if (from.Type != to.Type || from.StoredSize != to.StoredSize) return false;
  copy.From = from.RecordOffset;
  if (to.Type == EngineFieldTypes::ftString) {
    copy.Kind = TKind::Text;
    return to.CharCase == 0;
  }
  copy.Kind = to.Type == EngineFieldTypes::ftBoolean ? TKind::Flag : TKind::Bytes;
  return true;
}

void TCursorFields::WriteBlank(int fieldNo, uint8_t* buffer) {
  uint8_t room[FieldDescSize];
  PutFieldValue(FieldDescFor(fieldNo, false, room), buffer, false, nullptr);
}

void TCursorFields::GetOtherFieldValue(const uint8_t* fieldDesc, const uint8_t* buffer, bool& blank,
                                       void* value) const {
  if (IsAutoIncField(fieldDesc)) {
    blank = false;
    if (value) std::memcpy(value, buffer + RecordAutoIncOffset, sizeof(int32_t));
    return;
  }
  const uint8_t* nullByte = buffer + FieldRecordOffset(fieldDesc);
  const uint8_t* valueBytes = nullByte + 1;
  const bool blob = FieldType(fieldDesc) == dtBlob;
  if (blob && BlobReference(valueBytes) < 0) {
    // An open BLOB is blank by its buffer, whatever the null byte says.
    int32_t size = 0;
    blank = FindOpenBlobSize(BlobReference(valueBytes), size) && size == 0;
  } else {
    blank = *nullByte == 0;
  }
  if (value) std::memcpy(value, valueBytes, blob ? sizeof(int32_t) : size_t(fieldDesc[FieldDescStoredSizeOffset]));
}

void TCursorFields::ReadOtherValue(const TFieldDefinition& field, const uint8_t* buffer, bool& blank,
                                   uint8_t* value) const {
  if (field.IsAutoInc()) {
    blank = false;
    if (value) std::memcpy(value, buffer + RecordAutoIncOffset, sizeof(int32_t));
    return;
  }
  const uint8_t* nullByte = buffer + field.RecordOffset;
  const uint8_t* valueBytes = nullByte + 1;
  if (field.IsBlob() && BlobReference(valueBytes) < 0) {
    // As GetOtherFieldValue reads it.
    int32_t size = 0;
    blank = FindOpenBlobSize(BlobReference(valueBytes), size) && size == 0;
  } else {
    blank = *nullByte == 0;
  }
  if (value) std::memcpy(value, valueBytes, field.IsBlob() ? sizeof(int32_t) : size_t(field.StoredSize));
}

void TCursorFields::PutFieldValue(const uint8_t* fieldDesc, uint8_t* buffer, bool force, const void* value) {
  const bool computed = IsNotStoredField(fieldDesc);
  if (computed && !force) return;
  uint8_t* valueBytes = FieldValueBytes(fieldDesc, buffer);
  const size_t width = size_t(FieldValueWidth(fieldDesc));
  const auto* source = static_cast<const uint8_t*>(value);

  if (IsAutoIncField(fieldDesc)) {
    if (source) std::memmove(valueBytes, source, width);
  } else if (!source) {
    FieldNullByte(fieldDesc, buffer) = 0;
    std::memset(valueBytes, 0, width);
  } else {
    bool hasValue = true;
    switch (FieldType(fieldDesc)) {
      case dtString:
        hasValue = StoreFieldString(fieldDesc, reinterpret_cast<const char*>(source), valueBytes, languageId, sortId);
        break;
      case dtBlob: {
        // The sequence number after the reference stays. A negative
        // reference that is no open BLOB of this cursor counts as a value,
        // as it does when read.
        const int32_t reference = BlobReference(source);
        int32_t size = 0;
        if (reference < 0)
          hasValue = !FindOpenBlobSize(reference, size) || size > 0;
        else
          hasValue = reference != 0;
        std::memmove(valueBytes, source, width);
        break;
      }
      case dtBoolean: {
        const uint16_t word = GetLE16(source);
        PutLE16(valueBytes, word > 1 ? 1 : word);
        break;
      }
      default:
        std::memmove(valueBytes, source, width);
        break;
    }
    FieldNullByte(fieldDesc, buffer) = hasValue ? 1 : 0;
  }
  if (!computed && hasComputedFields) ComputeFields(buffer);
}

void TCursorFields::PutBlobReference(const uint8_t* fieldDesc, uint8_t* buffer, int32_t reference, bool hasValue) {
  ORV_ASSERT(FieldType(fieldDesc) == dtBlob);
  // A BLOB field's value bytes follow its null byte.
  uint8_t* nullByte = buffer + FieldRecordOffset(fieldDesc);
  PutLE32(nullByte + 1, uint32_t(reference));
  *nullByte = hasValue ? 1 : 0;
  if (hasComputedFields) ComputeFields(buffer);
}

uint32_t TCursorFields::GetBlobRef(int fieldNo, const uint8_t* buffer, bool tableNumbering) const {
  uint8_t fieldDesc[FieldDescSize];
  BlobFieldDesc(fieldNo, tableNumbering, fieldDesc);
  return GetLE32(FieldValueBytes(fieldDesc, buffer) + BlobFieldSequenceOffset);
}

void TCursorFields::SetBlobRef(int fieldNo, uint8_t* buffer, bool tableNumbering, uint32_t sequence) {
  uint8_t fieldDesc[FieldDescSize];
  BlobFieldDesc(fieldNo, tableNumbering, fieldDesc);
  PutLE32(FieldValueBytes(fieldDesc, buffer) + BlobFieldSequenceOffset, sequence);
}

void TCursorFields::ClearRecord(uint8_t* buffer) const { std::memset(buffer, 0, cursorRecordSize); }
