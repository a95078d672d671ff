#pragma once
// Bookkeeping of a file's cache (records, BLOB blocks, index pages): the
// cached entries sorted by their key (record number or offset), and a
// most-recently-used chain through the entries themselves. It decides
// nothing about reading or writing.
//
// An entry gives its key by CacheKey(), says by Idle() whether it is
// neither in use nor modified, and carries the chain links Newer and Older.

#include <cstdint>

#include "engHeap.h"
#include "engSystemList.h"

template <typename TEntry>
class TEntryCache : public TEngineObject {
public:
  int32_t Capacity = 0;

  int32_t Count() const { return sorted.Count(); }
  bool Full() const { return sorted.Count() >= Capacity; }
  // In key order.
  TEntry* Get(int32_t index) const { return static_cast<TEntry*>(sorted.Get(index)); }
  // The least recently used; Newer leads on from it.
  TEntry* Oldest() const { return oldest; }

  // The cached entry of that key, looking at the four most recently used
  // first; nullptr when it is not cached.
  TEntry* Find(uint32_t key) const {
    TEntry* entry = newest;
    for (int i = 0; i < RecentlyUsedLook && entry; ++i, entry = entry->Older)
      if (entry->CacheKey() == key) return entry;
    bool found;
    const int32_t index = SortedIndex(key, found);
    return found ? Get(index) : nullptr;
  }

  // Adds the entry at its sorted place and as the most recently used.
  void Insert(TEntry* entry) {
    bool found;
    sorted.Insert(SortedIndex(entry->CacheKey(), found), entry);
    ChainAsNewest(entry);
  }

  // Takes the entry out of the chain, and out of the sorted list when it is
  // listed there; false when it was not.
  bool Remove(TEntry* entry) {
    bool found;
    const int32_t index = SortedIndex(entry->CacheKey(), found);
    const bool listed = found && Get(index) == entry;
    if (listed) sorted.Delete(index);
    Unchain(entry);
    return listed;
  }

  void MoveToNewest(TEntry* entry) {
    if (entry == newest) return;
    Unchain(entry);
    ChainAsNewest(entry);
  }

  // The least recently used entry that is neither in use nor modified,
  // looked for among the oldest `within` entries.
  TEntry* LeastRecentlyIdle(int32_t within = INT32_MAX) const {
    for (TEntry* entry = oldest; entry && within-- > 0; entry = entry->Newer)
      if (entry->Idle()) return entry;
    return nullptr;
  }

  // Forgets every entry; the caller has taken them.
  void Clear() {
    for (int32_t i = 0; i < sorted.Count(); ++i) Get(i)->Newer = Get(i)->Older = nullptr;
    sorted.Clear();
    newest = oldest = nullptr;
  }

private:
  static constexpr int RecentlyUsedLook = 4;

  TSystemList sorted;
  TEntry* newest = nullptr;
  TEntry* oldest = nullptr;

  // The entry's index, or where it would be inserted.
  int32_t SortedIndex(uint32_t key, bool& found) const {
    int32_t low = 0;
    int32_t high = sorted.Count() - 1;
    while (low <= high) {
      const int32_t middle = (low + high) / 2;
      const int c = CompareKeyWithNumber(int32_t(key), int32_t(Get(middle)->CacheKey()));
      if (c == 0) {
        found = true;
        return middle;
      }
      if (c < 0)
        low = middle + 1;
      else
        high = middle - 1;
    }
    found = false;
    return low;
  }

  void Unchain(TEntry* entry) {
    if (entry->Newer)
      entry->Newer->Older = entry->Older;
    else if (newest == entry)
      newest = entry->Older;
    if (entry->Older)
      entry->Older->Newer = entry->Newer;
    else if (oldest == entry)
      oldest = entry->Newer;
    entry->Newer = entry->Older = nullptr;
  }

  void ChainAsNewest(TEntry* entry) {
    entry->Newer = nullptr;
    entry->Older = newest;
    if (newest) newest->Newer = entry;
    newest = entry;
    if (!oldest) oldest = entry;
  }
};
