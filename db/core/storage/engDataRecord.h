#pragma once
// One record buffer of a table, in the file's record layout: byte 0 the
// deleted marker, bytes 1 to 4 the record's own number (or, deleted, the
// next free record), bytes 5 to 8 its auto-increment value, the fields
// from byte 9. The data file keeps them in its cache and lends them to
// cursors; TRecordStack makes them in slabs and recycles them.

#include <cstdint>
#include <memory>
#include <vector>

#include "rtlAssert.h"
#include "engBuffer.h"
#include "engDataLayout.h"
#include "engHeap.h"
#include "engRecordWindow.h"

class TDataFile;

class TRecord {
public:
  // The buffer starts as the slot of a slab: capacity bytes at slot, which
  // the slab owns; the record's size is the data file's record size.
  TRecord(TDataFile* dataFile, uint8_t* slot, uint16_t capacity);
  TRecord(const TRecord&) = delete;
  TRecord& operator=(const TRecord&) = delete;

  TDataFile* DataFile() const { return dataFile; }
  uint8_t* Buffer() { return bytes; }
  const uint8_t* Buffer() const { return bytes; }
  uint16_t Size() const { return size; }
  // The buffer grows to size (past its slot into a block of its own,
  // keeping its bytes) and never shrinks.
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

  bool IsDeleted() const { return bytes[RecordDeletedOffset] != 0; }
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
  // Given back by the walk's reader and not asked for since: the first
  // entry taken again, before the cache grows.
  bool Passed = false;
  // The pass of look-ups that last kept or used it (0: none).
  uint32_t LookUpPass = 0;

private:
  TDataFile* dataFile;
  uint8_t* bytes;
  bool modified = false;
  uint16_t useCount = 0;
  uint32_t recordNumber = 0;
  uint16_t size = 0;
  uint32_t capacity;
  TEngineBuffer grown;  // the buffer once it outgrew its slot
  TEngineBuffer key;
  int32_t keySize = 0;
};

// Bytes of one record as the file holds them, made what a record buffer
// holds: deciphered and, in use, carrying its own number (the file keeps
// the link only for deleted records).
void DecodeRecordImage(TDataFile& file, uint8_t* bytes, uint32_t size, uint32_t number);

// Records read side by side for a pass that visits each once (a filter's
// scan), outside the data file's cache: their images in the layout a
// cached record has, valid until the next read into the run. A pass's run
// may show them where the file's pages hold them (engRecordWindow.h).
class TRecordRun {
public:
  uint32_t First() const { return first; }
  int32_t Count() const { return count; }
  bool Holds(uint32_t number) const { return number >= first && number - first < uint32_t(count); }
  // number lies in the run.
  const uint8_t* Record(uint32_t number) const {
    ORV_ASSERT(Holds(number));
    return (shown ? shown : images.Get()) + size_t(number - first) * size;
  }
  bool IsDeleted(uint32_t number) const { return Record(number)[RecordDeletedOffset] != 0; }
  // The records are shown where the file's pages hold them.
  bool InPlace() const { return shown != nullptr; }
  // The records are no longer in use: the run holds nothing.
  void Hide() {
    shown = nullptr;
    count = 0;
    window.Hide();
  }
  // Some records shown in place read as zeros: another program cut the
  // file below them (engRecordWindow.h).
  bool Faulted() const { return window.Faulted(); }
  // Gives up the window of the file's pages; the run holds nothing.
  void ReleaseWindow() {
    shown = nullptr;
    count = 0;
    window.Release();
  }

private:
  friend class TDataFile;
  TEngineBuffer images;
  TRecordWindow window;
  const uint8_t* shown = nullptr;  // the first record, when shown in place
  uint32_t first = 0;
  int32_t count = 0;
  uint16_t size = 0;
};

class TRecordSlab;

// The records of one data file. They are made in slabs, a block of records
// side by side (each object followed by its buffer), instead of two
// allocations each: a cache filling from empty (every open) paid two
// allocations per record, and a buffer rounded up to 510-byte steps. The
// stack owns every record it made; the cache, cursors and the free list
// only borrow them. Taking one pops the last given back (unused, sized for
// the file) or makes the next of a slab.
class TRecordStack {
public:
  explicit TRecordStack(TDataFile* dataFile);
  // Every record made has been given back.
  ~TRecordStack();
  TRecordStack(const TRecordStack&) = delete;
  TRecordStack& operator=(const TRecordStack&) = delete;

  // Cleared.
  TRecord* Take();
  // The same, but its bytes are whatever it held last: for a caller that
  // overwrites all of them (a record read from the file).
  TRecord* TakeUncleared();
  void Return(TRecord* record);

  int32_t MadeCount() const { return made; }
  int32_t IdleCount() const { return int32_t(idle.size()); }

private:
  TDataFile* dataFile;
  std::vector<std::unique_ptr<TRecordSlab>> slabs;
  std::vector<TRecord*> idle;
  int32_t made = 0;

  TRecord* Make();
};
