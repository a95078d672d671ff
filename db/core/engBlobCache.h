#pragma once
// Bookkeeping of the BLOB file's block cache: the cached blocks sorted by
// offset, and a most-recently-used chain through the blocks themselves. It
// decides nothing about reading or writing.

#include <cstdint>

#include "engBlobBlock.h"
#include "engHeap.h"
#include "engSystemList.h"

class TBlockCache : public TEngineObject {
public:
  int32_t Capacity = 0;

  int32_t Count() const { return sorted.Count(); }
  // In offset order.
  TBlock* Get(int32_t index) const { return static_cast<TBlock*>(sorted.Get(index)); }
  TBlock* Newest() const { return newest; }

  // The cached block at offset, looking at the four most recently used
  // first; nullptr when it is not cached.
  TBlock* Find(uint32_t offset) const;
  // Adds the block at its sorted place and as the most recently used.
  void Insert(TBlock* block);
  // False when the block was not in the sorted list.
  bool Remove(TBlock* block);
  void MoveToNewest(TBlock* block);
  // The least recently used block that is neither in use nor modified.
  TBlock* LeastRecentlyIdle() const;
  // Forgets every block; the caller has taken them.
  void Clear();

private:
  TSystemList sorted;
  TBlock* newest = nullptr;
  TBlock* oldest = nullptr;

  // The block's index, or where it would be inserted.
  int32_t SortedIndex(uint32_t offset, bool& found) const;
  void Unchain(TBlock* block);
  void ChainAsNewest(TBlock* block);
};
