#pragma once
// Bookkeeping of a file's cache (records, BLOB blocks, index pages): the
// cached entries found by their key (record number or offset) through a
// hash table, and a most-recently-used chain through the entries
// themselves. It decides nothing about reading or writing.
//
// An entry gives its key by CacheKey(), says by Idle() whether it is
// neither in use nor modified, and carries the chain links Newer and Older.
//
// Finding, inserting and removing cost the same whatever the cache's size,
// so a cache may hold thousands of entries. Writing back looks only at the
// entries pinned since it last ran (NotePinned, Pinned): an entry changes
// only while its holder has it pinned, so no other can be modified, and a
// write-back after each change costs what the change touched, not what the
// cache holds.

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "engAssert.h"
#include "engHeap.h"

template <typename TEntry>
class TEntryCache : public TEngineObject {
public:
  int32_t Capacity = 0;

  int32_t Count() const { return int32_t(entries.size()); }
  bool Full() const { return Count() >= Capacity; }
  // The least recently used; Newer leads on from it.
  TEntry* Oldest() const { return oldest; }

  // The cached entry of that key; nullptr when it is not cached.
  TEntry* Find(uint32_t key) const {
    if (newest && newest->CacheKey() == key) return newest;
    const auto found = entries.find(key);
    return found == entries.end() ? nullptr : found->second;
  }

  // Adds the entry, whose key is not cached yet, as the most recently used.
  void Insert(TEntry* entry) {
    const bool added = entries.emplace(entry->CacheKey(), entry).second;
    ENG_ASSERT(added);  // one entry per key
    if (!added) return;
    ChainAsNewest(entry);
  }

  // Takes the entry out of the chain, and out of the cache when it is
  // listed there; false when it was not.
  bool Remove(TEntry* entry) {
    const auto found = entries.find(entry->CacheKey());
    const bool listed = found != entries.end() && found->second == entry;
    if (listed) entries.erase(found);
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

  // Every pin of an entry passes here.
  void NotePinned(const TEntry* entry) {
    pinned.push_back(entry->CacheKey());
    if (pinned.size() > 2 * entries.size() + PinnedSlack) KeepBusyPinned();
  }

  // Of the entries pinned since the last call, those still cached that
  // pass, in ascending key order: what writing back in runs of consecutive
  // keys needs. Entries in use or modified stay listed for the next call.
  template <typename TPass>
  std::vector<TEntry*> Pinned(TPass pass) {
    std::vector<TEntry*> chosen;
    KeepBusyPinned([&chosen, &pass](TEntry* entry) {
      if (pass(entry)) chosen.push_back(entry);
    });
    return chosen;
  }

  // Whether any entry passes.
  template <typename TPass>
  bool Any(TPass pass) const {
    for (const auto& [key, entry] : entries)
      if (pass(entry)) return true;
    return false;
  }

  // The entries that pass, in ascending key order.
  template <typename TPass>
  std::vector<TEntry*> InKeyOrder(TPass pass) const {
    std::vector<TEntry*> chosen;
    for (const auto& [key, entry] : entries)
      if (pass(entry)) chosen.push_back(entry);
    std::sort(chosen.begin(), chosen.end(),
              [](const TEntry* a, const TEntry* b) { return a->CacheKey() < b->CacheKey(); });
    return chosen;
  }
  std::vector<TEntry*> InKeyOrder() const {
    return InKeyOrder([](const TEntry*) { return true; });
  }
  // Each entry, in no particular order; f must not change the cache.
  template <typename TVisit>
  void ForEach(TVisit visit) const {
    for (const auto& [key, entry] : entries) visit(entry);
  }
  // The largest key cached; 0 for an empty cache.
  uint32_t HighestKey() const {
    uint32_t highest = 0;
    for (const auto& [key, entry] : entries) highest = std::max(highest, key);
    return highest;
  }

  // Forgets every entry; the caller has taken them.
  void Clear() {
    for (const auto& [key, entry] : entries) entry->Newer = entry->Older = nullptr;
    entries.clear();
    pinned.clear();
    newest = oldest = nullptr;
  }

private:
  static constexpr size_t PinnedSlack = 64;

  std::unordered_map<uint32_t, TEntry*> entries;
  std::vector<uint32_t> pinned;  // keys, with repeats until the next sort

  // Sorts the pinned keys, drops repeats and those of entries gone or
  // idle, and shows each busy one to visit in key order.
  template <typename TVisit>
  void KeepBusyPinned(TVisit visit) {
    std::sort(pinned.begin(), pinned.end());
    size_t kept = 0;
    for (size_t i = 0; i < pinned.size(); ++i) {
      if (i > 0 && pinned[i] == pinned[i - 1]) continue;
      TEntry* entry = Find(pinned[i]);
      if (!entry || entry->Idle()) continue;
      pinned[kept++] = pinned[i];
      visit(entry);
    }
    pinned.resize(kept);
  }
  void KeepBusyPinned() {
    KeepBusyPinned([](TEntry*) {});
  }
  TEntry* newest = nullptr;
  TEntry* oldest = nullptr;

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
