#include "engDataRecord.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "engDataFile.h"
#include "engFileBuffer.h"
#include "engLittleEndian.h"

namespace {

constexpr int32_t RecordBufferStep = 510;
constexpr int32_t KeyBufferStep = 127;
// A slot's bytes start on this step, so that a record's copy starts aligned.
constexpr int32_t SlotAlignment = 16;
// A slab's bytes: below the C heap's own mapping threshold, so a slab freed
// with its file goes back to the heap that the next file's slabs (or any
// other block) are taken from, already in memory, as freed records did.
// Larger slabs come from mappings of their own, which a new file touches
// page by page again; slabs kept for the process instead pinned memory
// the heap could not give back (peak memory 4.5 MB higher at a million
// rows).
constexpr int64_t SlabBytes = 64 * 1024;
// A file's first slab: many files never hold more than a few records at
// once (a small answer's, a cursor's current one), and a slab is cleared
// whole when it is made.
constexpr int64_t FirstSlabBytes = 4 * 1024;
#if defined(__SANITIZE_ADDRESS__)
// Poisoned bytes after each slot, so that an overrun of a record's buffer
// is caught as it was with a block of its own.
constexpr int32_t SlotRedZone = 32;
#else
constexpr int32_t SlotRedZone = 0;
#endif

constexpr int64_t RoundUp(int64_t value, int64_t step) { return (value + step - 1) / step * step; }

}  // namespace

// One block of records, each object followed by its slot, so that a record
// in use touches neighbouring lines as a record of its own allocation did.
// Records are made as they are taken, so a slab's untouched pages stay
// untouched; the slab ends the objects it made.
class TRecordSlab {
public:
  TRecordSlab(TEngineBuffer block, uint16_t recordSize)
      : block(std::move(block)),
        slotCapacity(uint16_t(std::min<int64_t>(RoundUp(recordSize, SlotAlignment), UINT16_MAX))),
        stride(int32_t(LeastBytes(recordSize))),
        capacity(int32_t(this->block.Size() / size_t(stride))) {
    ORV_ASSERT(capacity >= 1);
  }
  ~TRecordSlab() {
    for (int32_t i = 0; i < count; ++i) Object(i)->~TRecord();
#if defined(__SANITIZE_ADDRESS__)
    ASAN_UNPOISON_MEMORY_REGION(block.Get(), block.Size());
#endif
  }
  TRecordSlab(const TRecordSlab&) = delete;
  TRecordSlab& operator=(const TRecordSlab&) = delete;

  // The bytes one record of this size takes in a slab: its object, its
  // slot and, under AddressSanitizer, the poisoned zone after the slot.
  static int64_t LeastBytes(uint16_t recordSize) {
    return ObjectBytes + RoundUp(recordSize, SlotAlignment) + SlotRedZone;
  }

  bool Full() const { return count == capacity; }
  // The next record of the slab; not full.
  TRecord* Make(TDataFile* dataFile) {
    ORV_ASSERT(!Full());
    uint8_t* slot = reinterpret_cast<uint8_t*>(Object(count)) + ObjectBytes;
#if defined(__SANITIZE_ADDRESS__)
    ASAN_POISON_MEMORY_REGION(slot + slotCapacity, size_t(stride - ObjectBytes - slotCapacity));
#endif
    TRecord* record = new (Object(count)) TRecord(dataFile, slot, slotCapacity);
    ++count;
    return record;
  }

private:
  static constexpr int64_t ObjectBytes = RoundUp(sizeof(TRecord), SlotAlignment);

  TEngineBuffer block;
  uint16_t slotCapacity;
  int32_t stride;  // from one record's object to the next
  int32_t capacity;
  int32_t count = 0;

  TRecord* Object(int32_t i) { return reinterpret_cast<TRecord*>(block.Get() + size_t(i) * size_t(stride)); }
};

TRecord::TRecord(TDataFile* dataFile, uint8_t* slot, uint16_t capacity)
    : dataFile(dataFile), bytes(slot), capacity(capacity) {
  SetSize(dataFile->RecordSize());
}

void TRecord::SetSize(uint16_t newSize) {
  if (newSize > capacity) {
    TEngineBuffer larger(size_t(RoundUp(newSize, RecordBufferStep)));
    std::memcpy(larger.Get(), bytes, capacity);
    grown = std::move(larger);
    bytes = grown.Get();
    capacity = uint32_t(grown.Size());
  }
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

TRecordStack::TRecordStack(TDataFile* dataFile) : dataFile(dataFile) {}

TRecordStack::~TRecordStack() {
  ORV_ASSERT(IdleCount() == MadeCount());  // a record outliving its slab
  // A record still held somewhere keeps its slab, as a record not given
  // back used to keep its block: the heap may not lend that memory again.
  if (IdleCount() != MadeCount())
    for (std::unique_ptr<TRecordSlab>& slab : slabs) static_cast<void>(slab.release());
}

TRecord* TRecordStack::Take() {
  TRecord* record = TakeUncleared();
  std::memset(record->Buffer(), 0, record->Size());
  return record;
}

TRecord* TRecordStack::Make() {
  if (slabs.empty() || slabs.back()->Full()) {
    const uint16_t recordSize = dataFile->RecordSize();
    const int64_t bytes = slabs.empty() ? FirstSlabBytes : SlabBytes;
    TEngineBuffer block(size_t(std::max(bytes, TRecordSlab::LeastBytes(recordSize))));
    slabs.push_back(std::make_unique<TRecordSlab>(std::move(block), recordSize));
  }
  ++made;
  return slabs.back()->Make(dataFile);
}

TRecord* TRecordStack::TakeUncleared() {
  if (idle.empty()) return Make();
  TRecord* record = idle.back();
  idle.pop_back();
  record->SetSize(dataFile->RecordSize());
  record->ClearUse();
  record->SetModified(false);
  record->SetRecordNumber(0);
  record->Newer = record->Older = nullptr;
  record->Orphaned = false;
  record->Walked = false;
  record->Passed = false;
  record->LookUpPass = 0;
  return record;
}

void TRecordStack::Return(TRecord* record) {
  ORV_ASSERT(record && int32_t(idle.size()) < made);
  idle.push_back(record);
}
