#include "engDataRecord.h"

#include <algorithm>
#include <cstring>

#include "engDataFile.h"
#include "engFileBuffer.h"
#include "engLittleEndian.h"

namespace {

constexpr int32_t RecordBufferStep = 510;
constexpr int32_t KeyBufferStep = 127;
constexpr int32_t StackReserve = 16383;

}  // namespace

TRecord::TRecord(TDataFile* dataFile) : dataFile(dataFile) { SetSize(dataFile->RecordSize()); }

void TRecord::SetSize(uint16_t newSize) {
  GrowFileBuffer(buffer, newSize, RecordBufferStep);
  size = newSize;
}

void TRecord::SetKeySize(int32_t newSize) {
  GrowFileBuffer(key, newSize, KeyBufferStep);
  keySize = newSize;
}

void TRecord::SetRecordNumber(uint32_t number) {
  recordNumber = number;
  if (!IsDeleted()) PutLE32(Buffer() + RecordLinkOffset, number);
}

void TRecord::Clear(bool takeAutoInc) {
  std::memset(Buffer(), 0, size);
  if (takeAutoInc) PutLE32(Buffer() + RecordAutoIncOffset, uint32_t(dataFile->NextAutoIncValue()));
  PutLE32(Buffer() + RecordLinkOffset, recordNumber);
  modified = false;
}

void DecodeRecordImage(TDataFile& file, uint8_t* bytes, uint32_t size, uint32_t number) {
  if (file.IsEncrypted()) file.Decipher(bytes, size);
  if (bytes[RecordDeletedOffset] == 0) PutLE32(bytes + RecordLinkOffset, number);
}

void TRecord::LoadFromImage(const uint8_t* image) {
  std::memcpy(Buffer(), image, size);
  DecodeRecordImage(*dataFile, Buffer(), size, recordNumber);
  modified = false;
}

void TRecord::StoreToImage(uint8_t* image) {
  std::memcpy(image, Buffer(), size);
  if (dataFile->IsEncrypted()) dataFile->Encipher(image, size);
  modified = false;
}

void TRecord::SetDeleted(bool deleted) {
  Buffer()[RecordDeletedOffset] = deleted ? 1 : 0;
  modified = true;
}

uint32_t TRecord::NextFree() const { return IsDeleted() ? GetLE32(Buffer() + RecordLinkOffset) : 0; }

void TRecord::SetNextFree(uint32_t link) {
  PutLE32(Buffer() + RecordLinkOffset, link);
  modified = true;
}

int32_t TRecord::AutoIncValue() const { return int32_t(GetLE32(Buffer() + RecordAutoIncOffset)); }

void TRecord::SetAutoIncValue(int32_t value) {
  PutLE32(Buffer() + RecordAutoIncOffset, uint32_t(value));
  modified = true;
}

void TRecord::CopyFrom(const TRecord& other) {
  dataFile = other.dataFile;
  modified = other.modified;
  recordNumber = other.recordNumber;
  std::memcpy(Buffer(), other.Buffer(), std::min(size, other.size));
}

bool TRecord::SameAs(const uint8_t* other) const { return std::memcmp(Buffer(), other, size) == 0; }

void TRecord::CopyFields(const uint8_t* source) {
  if (size > RecordFirstFieldOffset)
    std::memcpy(Buffer() + RecordFirstFieldOffset, source + RecordFirstFieldOffset, size - RecordFirstFieldOffset);
  modified = true;
}

TRecordStack::TRecordStack(TDataFile* dataFile) : dataFile(dataFile) { records.Reserve(StackReserve); }

TRecordStack::~TRecordStack() = default;

TRecord* TRecordStack::Take() {
  TRecord* record = TakeUncleared();
  std::memset(record->Buffer(), 0, record->Size());
  return record;
}

TRecord* TRecordStack::TakeUncleared() {
  if (records.Empty()) return new TRecord(dataFile);
  TRecord* record = records.ExtractLast().release();
  record->SetSize(dataFile->RecordSize());
  record->ClearUse();
  record->SetModified(false);
  record->SetRecordNumber(0);
  record->Newer = record->Older = nullptr;
  record->Orphaned = false;
  record->Walked = false;
  return record;
}

void TRecordStack::Return(TRecord* record) { records.Adopt(record); }
