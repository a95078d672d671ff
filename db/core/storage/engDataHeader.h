#pragma once
// The data file's header image and its field descriptors as plain bytes,
// with the rules that read them: what a value means, what makes a header
// unusable, and how much of a record each field takes.

#include <cstdint>
#include <string>

#include "engDataLayout.h"
#include "engLittleEndian.h"
#include "rtlDateTime.h"

// A short string at p: a length byte and up to limit characters. A length
// byte above the limit reads as the limit.
std::string GetShortString(const uint8_t* p, int limit);
// Stores at most limit bytes of text (never half a UTF-8 character when
// utf8 is set) and zeroes the rest of the field.
void PutShortString(uint8_t* p, const std::string& text, int limit, bool utf8);

class TDataHeader {
public:
  uint8_t Image[DataHeaderSize] = {};

  // Inline: a cursor operation's change check and every record's field
  // reads take counts and sizes from here.
  uint16_t Get16(int offset) const { return GetLE16(Image + offset); }
  uint32_t Get32(int offset) const { return GetLE32(Image + offset); }
  void Put16(int offset, uint16_t value) { PutLE16(Image + offset, value); }
  void Put32(int offset, uint32_t value) { PutLE32(Image + offset, value); }

  uint8_t Format() const { return Image[DatHdrFormat]; }
  uint16_t RecordSize() const { return Get16(DatHdrRecordSize); }
  uint16_t FieldCount() const { return Get16(DatHdrFieldCount); }
  uint32_t NextRecord() const { return Get32(DatHdrNextRecord); }
  uint32_t FirstFree() const { return Get32(DatHdrFirstFree); }
  // 0 reads as 512.
  uint32_t BlobBlockSize() const;
  bool Encrypted() const { return Image[DatHdrEncrypted] != 0; }
  bool Modified() const { return Image[DatHdrModified] != 0; }
  void SetModified(bool modified) { Image[DatHdrModified] = modified ? 1 : 0; }
  int64_t EngineVersion() const;
  void SetEngineVersion(int64_t version);
  void SetWriteTime(TDateTime localTime);

  // The engine error that keeps this image from heading a usable file of
  // fileSize bytes (wrong format, impossible counts, descriptors past the
  // end), or 0.
  uint16_t Fault(int64_t fileSize) const;
};

// Field descriptors. The three tests below run for every field value a
// cursor reads or writes, so they are inline.
uint16_t FieldDescNumber(const uint8_t* desc);
inline uint16_t FieldRecordOffset(const uint8_t* desc) { return GetLE16(desc + FieldDescRecordOffset); }
inline bool IsAutoIncField(const uint8_t* desc) {
  return desc[FieldDescTypeOffset] == AutoIncFieldType && desc[FieldDescSubtypeOffset] == stAutoInc;
}
inline bool IsNotStoredField(const uint8_t* desc) { return desc[FieldDescNotStoredOffset] != 0; }
// Neither an auto-increment field (which lives in the record header) nor
// one marked not stored: it has a null byte and value bytes of its own.
bool HasRecordBytes(const uint8_t* desc);
// 9 plus, for every field with record bytes, its stored size and null byte.
int32_t ComputeRecordSize(const uint8_t* descs, int count);
// Whether every field's bytes lie where the record of recordSize bytes can
// hold them: the header's value for an auto-increment field, past the
// record header for the others.
bool FieldBytesFit(const uint8_t* desc, int32_t recordSize);
