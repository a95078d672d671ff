#pragma once
// One bit per physical record number of a table: the sets that filters,
// ranges and the in-use map build and that navigation walks. Record n is
// bit (n - 1) mod 32 of word (n - 1) div 32, least significant bit first.
// Bitmaps are recycled through one process-wide pool.

#include <cstdint>
#include <mutex>

#include "engHeap.h"
#include "engOwnedList.h"

// A bitmap's memory grows in steps of this many bytes.
inline constexpr int32_t RecordsBitmapMemoryStep = 1024;

class TRecordsBitmap : public TEngineObject {
public:
  ~TRecordsBitmap() override;

  int32_t RecordCount() const { return recordCount; }
  int32_t WordCount() const { return wordCount; }
  int32_t AllocatedBytes() const { return allocatedBytes; }

  // Keeps the bits of records up to the smaller count; records added by a
  // growth start clear, whatever SetAll or Invert left beyond the old count.
  void SetRecordCount(int32_t count);

  // Record numbers lie from 1 to RecordCount(); the caller keeps them there.
  bool IsSet(int32_t recordNumber) const;
  void SetBit(int32_t recordNumber);
  void ClearBit(int32_t recordNumber);

  // The records from recordNumber on that one read of them takes: those set,
  // across gaps of at most maxGap records not set, at most limit of them.
  int32_t SetRunLength(int32_t recordNumber, int32_t limit, int32_t maxGap) const;

  void ClearAll();
  void SetAll();
  // Both bitmaps belong to one table; words the other lacks count as clear.
  void AndWith(const TRecordsBitmap& other);
  void OrWith(const TRecordsBitmap& other);
  void Invert();
  void Assign(const TRecordsBitmap& other);

  int32_t CountSet() const;
  // Set bits among records 1 .. recordNumber - 1.
  int32_t CountSetBefore(int32_t recordNumber) const;
  // Passes set bits after (FindNext) or before (FindPrior) recordNumber,
  // storing each one found in recordNumber and adding (subtracting) 1 to
  // counter; true at the steps-th one, false when the records run out.
  bool FindNext(int32_t& recordNumber, int32_t steps, int32_t& counter) const;
  bool FindPrior(int32_t& recordNumber, int32_t steps, int32_t& counter) const;

private:
  uint32_t* bits = nullptr;
  int32_t allocatedBytes = 0;
  int32_t recordCount = 0;
  int32_t bitCapacity = 0;
  int32_t wordCount = 0;
  // Only words low .. high - 1 are held in bits; every other word is fill,
  // all clear or all set. A statement that picks a few records of a large
  // table (one owner's month) sets bits in a short stretch, and the records
  // in use are all but the few deleted: clearing, copying, combining,
  // counting and searching every word of a million records grew a small
  // statement's time with the table.
  int32_t low = 0;
  int32_t high = 0;
  uint32_t fill = 0;

  uint32_t Word(int32_t word) const { return word >= low && word < high ? bits[word] : fill; }
  uint32_t MeaningfulWord(int32_t word) const;
  // The bits set in the words before word.
  int32_t CountWordsBefore(int32_t word) const;
  // Words first .. last become held, with the fill's value where they were not.
  void Cover(int32_t first, int32_t last);
  void ClearRecords(int32_t first, int32_t last);
  // Words from (down from) word on that hold a set bit; wordCount (-1) when none.
  int32_t NextNonZeroWord(int32_t word) const;
  int32_t PriorNonZeroWord(int32_t word) const;
  // Words first .. last - 1 become held as combine(this word, other's
  // word), every other word newFill.
  template <typename TCombine>
  void Combine(const TRecordsBitmap& other, uint32_t newFill, int32_t first, int32_t last, TCombine combine);
};

class TRecordsBitmapStack : public TEngineObject {
public:
  TRecordsBitmapStack();
  ~TRecordsBitmapStack() override;

  TRecordsBitmap* Get();
  void Release(TRecordsBitmap* bitmap);

private:
  std::mutex lock;
  TOwnedList<TRecordsBitmap> freeBitmaps;
};

// The process-wide pool; exists between engine library start and stop.
extern TRecordsBitmapStack* RecordsBitmapStack;

// A bitmap with every bit clear (record count as its last use left it).
// Outside a started engine library the bitmap is fresh and not pooled.
TRecordsBitmap* GetRecordsBitmap();
// Returns the bitmap to the pool and empties the variable; nil is ignored.
void ReleaseRecordsBitmap(TRecordsBitmap*& bitmap);

// A bitmap taken from the pool for the life of its owner (a scope, a cursor).
class TPooledBitmap {
public:
  TPooledBitmap() : bitmap(GetRecordsBitmap()) {}
  ~TPooledBitmap() { ReleaseRecordsBitmap(bitmap); }
  TPooledBitmap(const TPooledBitmap&) = delete;
  TPooledBitmap& operator=(const TPooledBitmap&) = delete;
  TRecordsBitmap& operator*() const { return *bitmap; }
  TRecordsBitmap* operator->() const { return bitmap; }
  TRecordsBitmap* Get() const { return bitmap; }

private:
  TRecordsBitmap* bitmap;
};
