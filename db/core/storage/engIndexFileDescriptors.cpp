// The header image: index descriptors, counters, index definition and the
// verification of the header.

#include <algorithm>
#include <cstring>

#include "engErrorCodes.h"
#include "engIndexFile.h"
#include "engIndexFileLayout.h"
#include "engLittleEndian.h"
#include "engStrings.h"
#include "rtlStrUtils.h"

namespace {

constexpr uint8_t BlobFieldType = 3;

std::string DescriptorName(const uint8_t* descriptor) {
  int length = std::min<int>(descriptor[IdxDescName], IdxDescNameLimit);
  return std::string(reinterpret_cast<const char*>(descriptor + IdxDescName + 1), length);
}

void PutDescriptorName(uint8_t* descriptor, const std::string& name) {
  size_t length = std::min<size_t>(name.size(), IdxDescNameLimit);
  memset(descriptor + IdxDescName, 0, IdxDescNameLimit + 1);
  descriptor[IdxDescName] = uint8_t(length);
  memcpy(descriptor + IdxDescName + 1, name.data(), length);
}

}  // namespace

void TIndexFile::SetModified() { header[HdrModified] = 1; }

void TIndexFile::CheckSlot(int slot) const {
  if (slot < 0 || slot >= IndexSlotCount) RaiseIndexError(EngErrHeaderCorrupt);
}

void TIndexFile::IncRecordCount() {
  PutLE32(header + HdrRecordCount, GetRecordCount() + 1);
  SetModified();
}

void TIndexFile::DecRecordCount() {
  PutLE32(header + HdrRecordCount, GetRecordCount() - 1);
  SetModified();
}

void TIndexFile::SetRecordCount(uint32_t count) {
  if (count == GetRecordCount()) return;
  PutLE32(header + HdrRecordCount, count);
  SetModified();
}

uint32_t TIndexFile::GetRecordCount() const { return GetLE32(header + HdrRecordCount); }

uint32_t TIndexFile::GetRootOffset(int slot) const {
  CheckSlot(slot);
  return GetLE32(Slot(slot) + IdxDescRoot);
}

void TIndexFile::SetRootOffset(int slot, uint32_t offset) {
  CheckSlot(slot);
  PutLE32(Slot(slot) + IdxDescRoot, offset);
  SetModified();
}

uint32_t TIndexFile::GetFirstFreePage(int slot) const {
  CheckSlot(slot);
  return GetLE32(Slot(slot) + IdxDescFirstFree);
}

void TIndexFile::SetFirstFreePage(int slot, uint32_t offset) {
  CheckSlot(slot);
  PutLE32(Slot(slot) + IdxDescFirstFree, offset);
  SetModified();
}

// Setting the flag empties slot 0 but keeps its free pages.
void TIndexFile::SetNoPrimary(bool value) {
  header[HdrNoPrimary] = value ? 1 : 0;
  if (value) {
    uint8_t* slot = Slot(0);
    slot[IdxDescName] = 0;
    memset(slot + IdxDescKeyLength, 0, IdxDescFirstFree - IdxDescKeyLength);
    memset(slot + IdxDescZero, 0, IndexDescSize - IdxDescZero);
  }
  SetModified();
}

int TIndexFile::GetSecondaryCount() const { return header[HdrSecondaryCount]; }

void TIndexFile::SetSecondaryCount(int count) {
  if (count < 0 || count > MaxSecondaryIndexes) RaiseIndexError(EngErrIndexLimits);
  header[HdrSecondaryCount] = uint8_t(count);
  SetModified();
}

void TIndexFile::GetIndexDescriptor(int slot, uint8_t* descriptor) const {
  CheckSlot(slot);
  memcpy(descriptor, Slot(slot), IndexDescSize);
}

void TIndexFile::GetIndexFields(int slot, uint16_t* fieldNumbers) const {
  CheckSlot(slot);
  for (int i = 0; i < MaxKeyFields; ++i) fieldNumbers[i] = GetLE16(Slot(slot) + IdxDescFieldNumbers + 2 * i);
}

std::string TIndexFile::GetIndexName(int slot) const {
  CheckSlot(slot);
  return DescriptorName(Slot(slot));
}

// Name, key length, options, per-field flags and field numbers; the tree
// starts empty and the free pages stay with the slot.
void TIndexFile::SetIndexDescriptor(int slot, const uint8_t* descriptor) {
  CheckSlot(slot);
  uint8_t* target = Slot(slot);
  memcpy(target, descriptor, IdxDescRoot);
  PutLE32(target + IdxDescRoot, 0);
  target[IdxDescZero] = 0;
  memset(target + IdxDescZero + 2, 0, IndexDescSize - IdxDescZero - 2);
  SetModified();
}

void TIndexFile::SetIndexNameAndFields(int slot, const std::string& name, const uint16_t* fieldNumbers) {
  CheckSlot(slot);
  uint8_t* target = Slot(slot);
  PutDescriptorName(target, name);
  for (int i = 0; i < MaxKeyFields; ++i) PutLE16(target + IdxDescFieldNumbers + 2 * i, fieldNumbers[i]);
  SetModified();
}

void TIndexFile::CheckKeyFields(const uint8_t* descriptor, const std::string& indexName) const {
  if (descriptor[IdxDescFieldCount] > MaxKeyFields) RaiseIndexError(EngErrIndexLimits);
  for (int i = 0; i < descriptor[IdxDescFieldCount]; ++i) {
    uint8_t type = 0, size = 0;
    uint16_t fieldNo = GetLE16(descriptor + IdxDescFieldNumbers + 2 * i);
    if (table->GetKeyField(fieldNo, type, size) && type == BlobFieldType)
      RaiseIndexError(EngErrIndexFieldType, indexName);
  }
}

void TIndexFile::SetPrimaryIndex(const uint8_t* descriptor) {
  if (GetLE16(Slot(0) + IdxDescKeyLength) != 0) RaiseIndexError(EngErrPrimaryExists);
  CheckKeyFields(descriptor, std::string());
  if (descriptor[IdxDescFieldCount] == 0) {
    SetNoPrimary(true);
    return;
  }
  header[HdrNoPrimary] = 0;
  uint8_t* slot = Slot(0);
  memset(slot + IdxDescName, 0, IdxDescNameLimit + 1);
  memcpy(slot + IdxDescKeyLength, descriptor + IdxDescKeyLength, IdxDescRoot - IdxDescKeyLength);
  slot[IdxDescUnique] = 1;
  SetModified();
}

void TIndexFile::AddIndex(const uint8_t* descriptor) {
  int count = GetSecondaryCount();
  if (count >= MaxSecondaryIndexes) RaiseIndexError(EngErrIndexLimits);
  if (descriptor[IdxDescFieldCount] > MaxKeyFields) RaiseIndexError(EngErrIndexLimits);
  std::string name = DescriptorName(descriptor);
  std::string trimmed = Trim(name);
  if (trimmed.empty()) RaiseIndexError(EngErrIndexNameMissing);
  if (!IsIdentStartChar(name[0])) RaiseIndexError(EngErrIndexName, name);
  for (int slot = 1; slot <= count; ++slot)
    if (SameText(Trim(DescriptorName(Slot(slot))), trimmed)) RaiseIndexError(EngErrIndexExists, name);
  CheckKeyFields(descriptor, name);

  uint8_t* target = Slot(count + 1);
  memcpy(target, descriptor, IdxDescRoot);
  PutLE32(target + IdxDescRoot, 0);
  header[HdrSecondaryCount] = uint8_t(count + 1);
  SetModified();
  SetCacheLimits();
}

// A removed secondary descriptor is parked behind the last one; the slots
// after it move down together with their cached pages.
void TIndexFile::DeleteIndex(int slot, bool remove) {
  if (slot == 0) {
    SetNoPrimary(true);
    return;
  }
  int count = GetSecondaryCount();
  if (!remove) return;
  if (slot < 1 || slot > count) RaiseIndexError(EngErrIndexName);
  uint8_t removed[IndexDescSize];
  memcpy(removed, Slot(slot), IndexDescSize);
  memmove(Slot(slot), Slot(slot + 1), size_t(count - slot) * IndexDescSize);
  memcpy(Slot(count), removed, IndexDescSize);

  RenumberCachedPages(slot, count);

  header[HdrSecondaryCount] = uint8_t(count - 1);
  SetModified();
}

// ---- verification --------------------------------------------------------

void TIndexFile::VerifyPageOffset(uint32_t offset) const {
  if (offset == 0) return;
  uint32_t end = GetEndOffset();
  if (end == IndexHeaderSize || offset < IndexHeaderSize || offset > end - IndexPageSize ||
      offset % IndexPageSize != 0)
    RaiseIndexError(EngErrHeaderCorrupt);
}

void TIndexFile::VerifySlot(int slot) const {
  const uint8_t* d = Slot(slot);
  const bool noPrimary = GetNoPrimary();
  if (slot == 0) {
    if (d[IdxDescName] != 0 || (!d[IdxDescUnique] && !noPrimary)) RaiseIndexError(EngErrHeaderCorrupt);
  } else {
    std::string name = Trim(DescriptorName(d));
    if (name.empty() || !IsIdentStartChar(name[0])) RaiseIndexError(EngErrHeaderCorrupt);
    for (int other = 1; other <= GetSecondaryCount(); ++other)
      if (other != slot && SameText(Trim(DescriptorName(Slot(other))), name)) RaiseIndexError(EngErrHeaderCorrupt);
  }
  if (d[IdxDescFieldCount] > MaxKeyFields) RaiseIndexError(EngErrHeaderCorrupt);

  int fields = 0;
  int total = 0;
  for (; fields < MaxKeyFields; ++fields) {
    uint16_t fieldNo = GetLE16(d + IdxDescFieldNumbers + 2 * fields);
    if (fieldNo == 0) break;
    uint8_t type = 0, size = 0;
    if (!table->GetKeyField(fieldNo, type, size) || type == BlobFieldType) RaiseIndexError(EngErrHeaderCorrupt);
    total += size + 1;
  }
  const bool emptyPrimary = slot == 0 && noPrimary && d[IdxDescFieldCount] == 0;
  if (total > MaxKeyFieldBytes || (total == 0 && !emptyPrimary)) RaiseIndexError(EngErrHeaderCorrupt);
  // Pages and cursors size keys by these values, so they must agree with
  // the fields.
  if (!emptyPrimary) {
    int keyLength = total + (d[IdxDescUnique] ? 0 : 4);
    if (fields != d[IdxDescFieldCount] || GetLE16(d + IdxDescKeyLength) != keyLength ||
        d[IdxDescCompression] > kcFull)
      RaiseIndexError(EngErrHeaderCorrupt);
  }
  VerifyPageOffset(GetLE32(d + IdxDescRoot));
  VerifyPageOffset(GetLE32(d + IdxDescFirstFree));
}

void TIndexFile::VerifyIndexFile() {
  if (header[HdrFormat] != IndexFileFormat) RaiseIndexError(EngErrWrongVersion);
  uint32_t end = GetEndOffset();
  if (GetSecondaryCount() > MaxSecondaryIndexes || end < IndexHeaderSize || end % IndexPageSize != 0)
    RaiseIndexError(EngErrHeaderCorrupt);
  VerifySlot(0);
  for (int slot = 1; slot <= GetSecondaryCount(); ++slot) VerifySlot(slot);
  const uint8_t* deleted = Slot(DeletedIndexNo);
  if (GetLE16(deleted + IdxDescKeyLength) != DeletedKeyLength || deleted[IdxDescCompression] != kcNone)
    RaiseIndexError(EngErrHeaderCorrupt);
  VerifyPageOffset(GetLE32(deleted + IdxDescRoot));
  VerifyPageOffset(GetLE32(deleted + IdxDescFirstFree));
}
