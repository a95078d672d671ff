#pragma once
// Where things lie in a record buffer that a cursor hands out or takes in:
// the file's record layout (byte 0 the deleted flag, bytes 1 to 4 the
// physical record number, bytes 5 to 8 the auto-increment value, then per
// stored field a null byte and its value bytes), grown at the end by the
// fields a cursor computes.

#include <cstdint>

uint32_t GetRecordPhysicalNo(const uint8_t* buffer);
void SetRecordPhysicalNo(uint8_t* buffer, uint32_t number);
int32_t GetRecordAutoInc(const uint8_t* buffer);
void SetRecordAutoInc(uint8_t* buffer, int32_t value);

// The field's value bytes: after its null byte, or bytes 5 to 8 for an
// auto-increment field, which has no null byte.
const uint8_t* FieldValueBytes(const uint8_t* fieldDesc, const uint8_t* buffer);
uint8_t* FieldValueBytes(const uint8_t* fieldDesc, uint8_t* buffer);
// The null byte (1 when the field has a value, 0 when it is null) of a
// field that has one: every field but the auto-increment field.
uint8_t& FieldNullByte(const uint8_t* fieldDesc, uint8_t* buffer);
bool FieldHasValue(const uint8_t* fieldDesc, const uint8_t* buffer);
