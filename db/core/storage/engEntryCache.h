#pragma once
// Bookkeeping of a file's cache (records, BLOB blocks, index pages): the
// cached entries found by their key (record number or offset) through a
// hash table of their own (no allocation per entry), and a
// most-recently-used chain through the entries themselves. It decides
// nothing about reading or writing.
//
// An entry gives its key by CacheKey(), says by Idle() whether it is
// neither in use nor modified, and carries the chain links Newer and Older.
//
// Finding, inserting and removing cost the same whatever the cache's size,
// so a cache may hold thousands of entries. Writing back looks only at the
// entries noted since it last ran (NoteForWriteBack, Noted): an entry changes
// only while its holder has it pinned, so a holder that gives an entry back
// changed notes it, no other can be modified, and a write-back after each
// change costs what the change touched, not what the cache holds. A
// caller whose write-backs take a score of entries a change (the index
// file's pages) says when it wrote those chosen (WrittenBack), so that the
// next one does not find them again only to drop them; the records' and
// blocks' take one or two, where that gained nothing measurable.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "rtlAssert.h"
#include "engHeap.h"

template <typename TEntry>
class TEntryCache : public TEngineObject {
public:
  int32_t Capacity = 0;

  int32_t Count() const { return int32_t(count); }

  // For keys that come in runs of consecutive numbers (record numbers):
  // four consecutive keys get four neighbouring home slots, so a walk
  // placing records one after another probes one line of the processor's
  // cache per four records instead of a random line for each. Keys on
  // wider steps (page and block offsets) keep the default, which spreads
  // every key. Only while the cache is empty.
  void KeepRunsTogether() {
    ORV_ASSERT(count == 0);
    runsTogether = true;
  }
  bool Full() const { return Count() >= Capacity; }
  // The least recently used; Newer leads on from it.
  TEntry* Oldest() const { return oldest; }

  // The cached entry of that key; nullptr when it is not cached.
  TEntry* Find(uint32_t key) const {
    if (newest && newest->CacheKey() == key) return newest;
    if (following && following->CacheKey() == key) return following;
    if (slots.empty()) return nullptr;
    for (size_t i = Home(key);; i = (i + 1) & mask) {
      const TSlot& slot = slots[i];
      if (!slot.entry) return nullptr;
      if (slot.key == key) {
        ORV_ASSERT(slot.entry->CacheKey() == key);  // keys stay while cached
        return slot.entry;
      }
    }
  }

  // Adds the entry, whose key is not cached yet, as the most recently used.
  void Insert(TEntry* entry) {
    ORV_ASSERT(!Find(entry->CacheKey()));  // one entry per key
    if ((count + 1) * 2 > slots.size()) Grow();
    size_t i = Home(entry->CacheKey());
    while (slots[i].entry) i = (i + 1) & mask;
    slots[i] = {entry->CacheKey(), entry};
    ++count;
    ChainAsNewest(entry);
  }

  // Takes the entry out of the chain, and out of the cache when it is
  // listed there; false when it was not.
  bool Remove(TEntry* entry) {
    if (entry == following) following = nullptr;
    const bool listed = Unlist(entry);
    Unchain(entry);
    return listed;
  }

  void MoveToNewest(TEntry* entry) {
    if (entry == newest) return;
    following = entry->Newer;
    Unchain(entry);
    ChainAsNewest(entry);
  }

  // Makes the entry the least recently used: the next to go.
  void MoveToOldest(TEntry* entry) {
    if (entry == oldest) return;
    Unchain(entry);
    entry->Older = nullptr;
    entry->Newer = oldest;
    if (oldest) oldest->Older = entry;
    oldest = entry;
    if (!newest) newest = entry;
  }

  // The least recently used entry that is neither in use nor modified,
  // looked for among the oldest `within` entries.
  TEntry* LeastRecentlyIdle(int32_t within = INT32_MAX) const {
    for (TEntry* entry = oldest; entry && within-- > 0; entry = entry->Newer)
      if (entry->Idle()) return entry;
    return nullptr;
  }

  // Every entry given back changed passes here (reads need not; noting
  // at every pin is correct too, only dearer).
  void NoteForWriteBack(const TEntry* entry) {
    noted.push_back(entry->CacheKey());
    if (noted.size() > 2 * count + NotedSlack) KeepBusyNoted();
  }

  // Replaces chosen with the entries noted since the last call that are
  // still cached and pass, in ascending key order: what writing back in
  // runs of consecutive keys needs. Entries in use or modified that do not
  // pass stay listed for the next call; so do those chosen until the
  // caller says they were written (WrittenBack), so that a write that
  // failed leaves its entries to the next call. The caller's list is
  // reused, as a write-back comes after every change and a fresh list took
  // several allocations each time.
  template <typename TPass>
  void Noted(TPass pass, std::vector<TEntry*>& chosen) {
    chosen.clear();
    KeepBusyNoted([&chosen, &pass](TEntry* entry) {
      if (!pass(entry)) return false;
      chosen.push_back(entry);
      return true;
    });
  }
  // Every entry the last Noted chose was written: idle from now on until
  // noted again, so no later call need find it to see that (these are
  // most keys a call would otherwise look at, each a read of an entry the
  // processor's caches let go since).
  void WrittenBack() { chosenKeys.clear(); }

  // Whether any entry passes.
  template <typename TPass>
  bool Any(TPass pass) const {
    for (const TSlot& slot : slots)
      if (slot.entry && pass(slot.entry)) return true;
    return false;
  }

  // The entries that pass, in ascending key order.
  template <typename TPass>
  std::vector<TEntry*> InKeyOrder(TPass pass) const {
    std::vector<TEntry*> chosen;
    for (const TSlot& slot : slots)
      if (slot.entry && pass(slot.entry)) chosen.push_back(slot.entry);
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
    for (const TSlot& slot : slots)
      if (slot.entry) visit(slot.entry);
  }
  // The largest key cached; 0 for an empty cache.
  uint32_t HighestKey() const {
    uint32_t highest = 0;
    for (const TSlot& slot : slots)
      if (slot.entry) highest = std::max(highest, slot.key);
    return highest;
  }

  // Forgets every entry, handing each to take (which must not change the
  // cache) along the chain, oldest first: entries that came in order (an
  // answer's records) lie in memory in that order, which the slots scatter.
  template <typename TTake>
  void TakeAll(TTake take) {
    size_t taken = 0;
    for (TEntry* entry = oldest; entry; ++taken) {
      TEntry* const newer = entry->Newer;
      entry->Newer = entry->Older = nullptr;
      take(entry);
      entry = newer;
    }
    ORV_ASSERT(taken == count);  // every entry listed is chained
    std::fill(slots.begin(), slots.end(), TSlot{});
    Forget();
  }
  // Forgets every entry; the caller has taken them.
  void Clear() {
    for (TSlot& slot : slots) {
      if (slot.entry) slot.entry->Newer = slot.entry->Older = nullptr;
      slot = {};
    }
    Forget();
  }

private:
  static constexpr size_t NotedSlack = 64;

  static constexpr size_t FirstSlots = 64;

  // Open addressing with linear probing: at most half the slots are
  // taken, and a removal shifts the entries after it back, so no slot
  // needs a mark and finding stays short. A slot keeps its entry's key,
  // which never changes while the entry is cached, so that probing reads
  // no entry but the one found.
  struct TSlot {
    uint32_t key = 0;
    TEntry* entry = nullptr;
  };
  std::vector<TSlot> slots;
  size_t mask = 0;
  size_t count = 0;
  std::vector<uint32_t> noted;  // keys, with repeats until the next sort
  // Keys of the entries the last Noted chose, listed again by the next one
  // unless written back.
  std::vector<uint32_t> chosenKeys;

  // The product's top bits: keys are runs of numbers or of page offsets,
  // whose low bits are all zero, and the top bits spread both evenly.
  // Kept together, a run's groups of four keys are spread so, and each
  // key takes its place within its group's four slots.
  static constexpr uint32_t RunGroup = 4;
  int shift = 64;
  bool runsTogether = false;
  static size_t Spread(uint32_t key, int shift) { return size_t((uint64_t(key) * 0x9E3779B97F4A7C15ull) >> shift); }
  size_t Home(uint32_t key) const {
    if (!runsTogether) return Spread(key, shift);
    return (Spread(key / RunGroup, shift) & ~size_t(RunGroup - 1)) | (key % RunGroup);
  }

  void Grow() {
    std::vector<TSlot> old = std::move(slots);
    slots.assign(std::max(FirstSlots, old.size() * 2), TSlot{});
    mask = slots.size() - 1;
    shift = 64 - std::countr_zero(slots.size());
    for (const TSlot& slot : old) {
      if (!slot.entry) continue;
      size_t i = Home(slot.key);
      while (slots[i].entry) i = (i + 1) & mask;
      slots[i] = slot;
    }
  }

  // Takes the entry out of the slots; false when it was not there.
  bool Unlist(const TEntry* entry) {
    if (slots.empty()) return false;
    size_t i = Home(entry->CacheKey());
    while (slots[i].entry && slots[i].entry != entry) i = (i + 1) & mask;
    if (!slots[i].entry) return false;
    slots[i] = {};
    --count;
    // Entries after the hole that could not sit where they wanted move
    // back into it.
    for (size_t hole = i, j = (i + 1) & mask; slots[j].entry; j = (j + 1) & mask) {
      const size_t home = Home(slots[j].key);
      const bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
      if (!movable) continue;
      slots[hole] = slots[j];
      slots[j] = {};
      hole = j;
    }
    return true;
  }

  // Sorts the noted keys (with those chosen and not written back), drops
  // repeats and those of entries gone or idle, and shows each busy one to
  // choose in key order: those chosen move to chosenKeys.
  template <typename TChoose>
  void KeepBusyNoted(TChoose choose) {
    noted.insert(noted.end(), chosenKeys.begin(), chosenKeys.end());
    chosenKeys.clear();
    std::sort(noted.begin(), noted.end());
    size_t kept = 0;
    for (size_t i = 0; i < noted.size(); ++i) {
      if (i > 0 && noted[i] == noted[i - 1]) continue;
      TEntry* entry = Find(noted[i]);
      if (!entry || entry->Idle()) continue;
      if (choose(entry)) chosenKeys.push_back(noted[i]);
      else noted[kept++] = noted[i];
    }
    noted.resize(kept);
  }
  void KeepBusyNoted() {
    KeepBusyNoted([](TEntry*) { return false; });
  }
  TEntry* newest = nullptr;
  TEntry* oldest = nullptr;
  // The entry that came next after the last one made the newest: entries
  // used in the order they came (a walk over records appended in order)
  // are found here without a probe of the slots, a miss of the
  // processor's caches for every few records of a large cache.
  TEntry* following = nullptr;

  void Forget() {
    count = 0;
    noted.clear();
    chosenKeys.clear();
    newest = oldest = following = nullptr;
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
