#pragma once
// Bookkeeping of the data file's record cache: the cached records sorted by
// record number, and a most-recently-used chain through the records
// themselves. It decides nothing about reading or writing.

#include <cstdint>

#include "engDataRecord.h"
#include "engHeap.h"
#include "engSystemList.h"

class TRecordCache : public TEngineObject {
public:
  int32_t Capacity = 0;

  int32_t Count() const { return sorted.Count(); }
  bool Full() const { return sorted.Count() >= Capacity; }
  // In record-number order.
  TRecord* Get(int32_t index) const { return static_cast<TRecord*>(sorted.Get(index)); }

  // The cached record of that number, looking at the four most recently
  // used first; nullptr when it is not cached.
  TRecord* Find(uint32_t recordNumber) const;
  // Adds the record at its sorted place and at the head of the chain.
  void Insert(TRecord* record);
  void Remove(TRecord* record);
  void MoveToHead(TRecord* record);
  // The least recently used record that is neither in use nor modified.
  TRecord* LeastRecentlyIdle() const;
  // Forgets every record; the caller has taken them.
  void Clear();

private:
  TSystemList sorted;
  TRecord* head = nullptr;
  TRecord* tail = nullptr;

  // The record's index, or where it would be inserted.
  int32_t SortedIndex(uint32_t recordNumber, bool& found) const;
  void Unchain(TRecord* record);
  void ChainAtHead(TRecord* record);
};
