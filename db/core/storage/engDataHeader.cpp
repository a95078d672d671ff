#include "engDataHeader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engErrorCodes.h"
#include "engLittleEndian.h"

namespace {

bool IsUtf8Continuation(char c) { return (uint8_t(c) & 0xC0) == 0x80; }

}  // namespace

std::string GetShortString(const uint8_t* p, int limit) {
  const int length = std::min<int>(p[0], limit);
  return std::string(reinterpret_cast<const char*>(p + 1), size_t(length));
}

void PutShortString(uint8_t* p, const std::string& text, int limit, bool utf8) {
  size_t length = std::min(text.size(), size_t(limit));
  if (utf8 && length < text.size())
    while (length > 0 && IsUtf8Continuation(text[length])) --length;
  std::memset(p, 0, size_t(limit) + 1);
  p[0] = uint8_t(length);
  std::memcpy(p + 1, text.data(), length);
}

uint32_t TDataHeader::BlobBlockSize() const {
  const uint16_t size = Get16(DatHdrBlobBlockSize);
  return size == 0 ? DefaultBlobBlockSize : size;
}

int64_t TDataHeader::EngineVersion() const {
  return int64_t(uint64_t(Get32(DatHdrEngineVersion)) | uint64_t(Get32(DatHdrEngineVersion + 4)) << 32);
}

void TDataHeader::SetEngineVersion(int64_t version) {
  Put32(DatHdrEngineVersion, uint32_t(uint64_t(version)));
  Put32(DatHdrEngineVersion + 4, uint32_t(uint64_t(version) >> 32));
}

void TDataHeader::SetWriteTime(TDateTime localTime) {
  const uint64_t bits = std::bit_cast<uint64_t>(localTime - WriteTimeBias);
  Put32(DatHdrWriteTime, uint32_t(bits));
  Put32(DatHdrWriteTime + 4, uint32_t(bits >> 32));
}

uint16_t TDataHeader::Fault(int64_t fileSize) const {
  if (Format() != DataFileFormat) return EngErrWrongVersion;
  const int64_t fieldCount = FieldCount();
  const int64_t recordSize = RecordSize();
  const int64_t nextRecord = NextRecord();
  if (fieldCount > MaxDataFields || Get16(DatHdrBlobFieldCount) > MaxBlobFields) return EngErrHeaderCorrupt;
  if (recordSize < RecordFirstFieldOffset) return EngErrHeaderCorrupt;
  if (fileSize < DataHeaderSize + fieldCount * FieldDescSize) return EngErrHeaderCorrupt;
  if (nextRecord < 1 || nextRecord > MaxRecordNumber) return EngErrHeaderCorrupt;
  if (recordSize * (nextRecord - 1) > MaxRecordAreaBytes) return EngErrHeaderCorrupt;
  if (FirstFree() >= nextRecord) return EngErrHeaderCorrupt;
  return 0;
}

uint16_t FieldDescNumber(const uint8_t* desc) { return GetLE16(desc + FieldDescNumberOffset); }
bool HasRecordBytes(const uint8_t* desc) { return !IsAutoIncField(desc) && !IsNotStoredField(desc); }

int32_t ComputeRecordSize(const uint8_t* descs, int count) {
  int32_t size = RecordFirstFieldOffset;
  for (int i = 0; i < count; ++i) {
    const uint8_t* desc = descs + size_t(i) * FieldDescSize;
    if (HasRecordBytes(desc)) size += desc[FieldDescStoredSizeOffset] + 1;
  }
  return size;
}

bool FieldBytesFit(const uint8_t* desc, int32_t recordSize) {
  const int32_t offset = FieldRecordOffset(desc);
  if (IsAutoIncField(desc)) return offset == RecordAutoIncOffset;
  if (IsNotStoredField(desc)) return true;
  return offset >= RecordFirstFieldOffset && offset + 1 + desc[FieldDescStoredSizeOffset] <= recordSize;
}
