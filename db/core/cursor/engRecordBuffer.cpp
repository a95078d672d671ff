#include "engRecordBuffer.h"

#include "engDataHeader.h"
#include "engLittleEndian.h"

uint32_t GetRecordPhysicalNo(const uint8_t* buffer) { return GetLE32(buffer + RecordLinkOffset); }
void SetRecordPhysicalNo(uint8_t* buffer, uint32_t number) { PutLE32(buffer + RecordLinkOffset, number); }

int32_t GetRecordAutoInc(const uint8_t* buffer) { return int32_t(GetLE32(buffer + RecordAutoIncOffset)); }
void SetRecordAutoInc(uint8_t* buffer, int32_t value) { PutLE32(buffer + RecordAutoIncOffset, uint32_t(value)); }

const uint8_t* FieldValueBytes(const uint8_t* fieldDesc, const uint8_t* buffer) {
  return IsAutoIncField(fieldDesc) ? buffer + RecordAutoIncOffset : buffer + FieldRecordOffset(fieldDesc) + 1;
}

uint8_t* FieldValueBytes(const uint8_t* fieldDesc, uint8_t* buffer) {
  return const_cast<uint8_t*>(FieldValueBytes(fieldDesc, static_cast<const uint8_t*>(buffer)));
}

uint8_t& FieldNullByte(const uint8_t* fieldDesc, uint8_t* buffer) { return buffer[FieldRecordOffset(fieldDesc)]; }

bool FieldHasValue(const uint8_t* fieldDesc, const uint8_t* buffer) {
  return buffer[FieldRecordOffset(fieldDesc)] != 0;
}
