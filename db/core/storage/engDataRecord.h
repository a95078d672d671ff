#pragma once
// One record buffer of a table, in the file's record layout: byte 0 the
// deleted marker, bytes 1 to 4 the record's own number (or, deleted, the
// next free record), bytes 5 to 8 its auto-increment value, the fields
// from byte 9. The data file keeps them in its cache and lends them to
// cursors; TRecordStack recycles them.

#include <cstdint>

#include "engAssert.h"
#include "engBuffer.h"
#include "engDataLayout.h"
#include "engHeap.h"
#include "engOwnedList.h"

class TDataFile;

class TRecord : public TEngineObject {
public:
  // The buffer starts with the data file's record size.
  explicit TRecord(TDataFile* dataFile);

  TDataFile* DataFile() const { return dataFile; }
  uint8_t* Buffer() { return buffer.Get(); }
  const uint8_t* Buffer() const { return buffer.Get(); }
  uint16_t Size() const { return size; }
  // The buffer grows to size and never shrinks.
  void SetSize(uint16_t newSize);

  bool Modified() const { return modified; }
  void SetModified(bool value) { modified = value; }
  uint16_t UseCount() const { return useCount; }
  void AddUse() { ++useCount; }
  // Never below 0.
  void ReleaseUse() {
    if (useCount > 0) --useCount;
  }
  void ClearUse() { useCount = 0; }

  uint32_t RecordNumber() const { return recordNumber; }
  // Also into bytes 1 to 4 while the record is in use.
  void SetRecordNumber(uint32_t number);

  // Zero bytes, the record number, and with takeAutoInc the data file's
  // next auto-increment value; not modified.
  void Clear(bool takeAutoInc);
  // The file image, deciphered for an encrypted table; not modified.
  void LoadFromImage(const uint8_t* image);
  // Copies the record out, enciphered for an encrypted table; not modified.
  void StoreToImage(uint8_t* image);

  bool IsDeleted() const { return buffer.Get()[RecordDeletedOffset] != 0; }
  void SetDeleted(bool deleted);
  // 0 while the record is in use.
  uint32_t NextFree() const;
  void SetNextFree(uint32_t link);
  int32_t AutoIncValue() const;
  void SetAutoIncValue(int32_t value);

  // Data file, modified flag, record number and the bytes both sizes hold.
  void CopyFrom(const TRecord& other);
  // Equal when the size's bytes are equal.
  bool SameAs(const uint8_t* other) const;
  // The fields (from byte 9) from a buffer of this size.
  void CopyFields(const uint8_t* source);

  // The record's sort key while records are being sorted.
  uint8_t* Key() { return key.Get(); }
  int32_t KeySize() const { return keySize; }
  void SetKeySize(int32_t newSize);

  // The data file's cache: the key, the most-recently-used chain, and
  // whether the cache let go of the record while a holder still had it.
  uint32_t CacheKey() const { return recordNumber; }
  bool Idle() const { return useCount == 0 && !modified; }
  TRecord* Newer = nullptr;
  TRecord* Older = nullptr;
  bool Orphaned = false;
  // Placed by a walk's read-ahead and not yet given back by a reader.
  bool Walked = false;

private:
  TDataFile* dataFile;
  bool modified = false;
  uint16_t useCount = 0;
  uint32_t recordNumber = 0;
  TEngineBuffer buffer;
  uint16_t size = 0;
  TEngineBuffer key;
  int32_t keySize = 0;
};

// Bytes of one record as the file holds them, made what a record buffer
// holds: deciphered and, in use, carrying its own number (the file keeps
// the link only for deleted records).
void DecodeRecordImage(TDataFile& file, uint8_t* bytes, uint32_t size, uint32_t number);

// Records read side by side for a pass that visits each once (a filter's
// scan), outside the data file's cache: their images in the layout a
// cached record has, valid until the next read into the run.
class TRecordRun {
public:
  uint32_t First() const { return first; }
  int32_t Count() const { return count; }
  bool Holds(uint32_t number) const { return number >= first && number - first < uint32_t(count); }
  // number lies in the run.
  const uint8_t* Record(uint32_t number) const {
    ENG_ASSERT(Holds(number));
    return images.Get() + size_t(number - first) * size;
  }
  bool IsDeleted(uint32_t number) const { return Record(number)[RecordDeletedOffset] != 0; }

private:
  friend class TDataFile;
  TEngineBuffer images;
  uint32_t first = 0;
  int32_t count = 0;
  uint16_t size = 0;
};

// Free records of one data file: taking one pops the last (cleared, unused,
// sized for the file) or makes a new one (zeroed).
class TRecordStack : public TEngineObject {
public:
  explicit TRecordStack(TDataFile* dataFile);
  ~TRecordStack() override;

  TRecord* Take();
  // The same, but its bytes are whatever it held last: for a caller that
  // overwrites all of them (a record read from the file).
  TRecord* TakeUncleared();
  void Return(TRecord* record);

private:
  TDataFile* dataFile;
  TOwnedList<TRecord> records;
};
