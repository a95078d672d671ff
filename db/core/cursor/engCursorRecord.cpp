#include "engCursorRecord.h"

#include <algorithm>
#include <cstring>

#include "engDataFile.h"
#include "engDataRecord.h"
#include "rtlAssert.h"

void TCursorRecord::CheckInvariant() const { ORV_ASSERT((owner == nullptr) == (record == nullptr)); }

void TCursorRecord::Take(TDataFile& file, uint16_t size) {
  ORV_ASSERT(!Held());
  record = file.RecordStack().Take();
  owner = &file;
  record->SetSize(size);
  CheckInvariant();
}

void TCursorRecord::Release() {
  CheckInvariant();
  if (!record) return;
  owner->RecordStack().Return(record);
  record = nullptr;
  owner = nullptr;
}

void TCursorRecord::Resize(uint16_t size) {
  ORV_ASSERT(Held());
  if (record->Size() != size) record->SetSize(size);
}

uint8_t* TCursorRecord::Buffer() {
  ORV_ASSERT(Held());
  return record->Buffer();
}

const uint8_t* TCursorRecord::Buffer() const {
  ORV_ASSERT(Held());
  return record->Buffer();
}

void TCursorRecord::CopyFrom(const TRecord& stored) {
  ORV_ASSERT(Held());
  record->CopyFrom(stored);
  // The computed fields' bytes after the record start blank.
  const uint16_t copied = std::min(record->Size(), stored.Size());
  std::memset(record->Buffer() + copied, 0, size_t(record->Size() - copied));
  record->SetModified(false);
}

void TCursorRecord::CopyStored(const uint8_t* image, uint16_t storedSize, uint32_t number) {
  ORV_ASSERT(Held());
  const uint16_t copied = std::min(record->Size(), storedSize);
  std::memcpy(record->Buffer(), image, copied);
  std::memset(record->Buffer() + copied, 0, size_t(record->Size() - copied));
  record->SetRecordNumber(number);
  record->SetModified(false);
}

void TCursorRecord::CopyImage(const uint8_t* image, uint16_t size, uint32_t number) {
  Resize(size);
  std::memcpy(record->Buffer(), image, size);
  record->SetRecordNumber(number);
  record->SetModified(false);
}
