// The caches' bookkeeping: entries are found, removed and moved by key
// through the open-addressing table, with its homes spread key by key or
// runs of consecutive keys kept together.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "engEntryCache.h"

namespace {

struct TCachedEntry {
  uint32_t key = 0;
  TCachedEntry* Newer = nullptr;
  TCachedEntry* Older = nullptr;
  bool modified = false;
  bool inUse = false;
  uint32_t CacheKey() const { return key; }
  bool Idle() const { return !modified && !inUse; }
};

}  // namespace

class EntryCacheHomes : public testing::TestWithParam<bool> {};

// Runs of consecutive keys, keys on page steps and scattered keys go in
// and out (removals shift the entries after them back into the holes, and
// the table grows several times); every key present is found as itself,
// every key gone is not found, and the chain from the oldest holds them
// all in the order they were last used.
TEST_P(EntryCacheHomes, FindsEveryKeyThroughGrowthAndRemovals) {
  TEntryCache<TCachedEntry> cache;
  if (GetParam()) cache.KeepRunsTogether();
  std::map<uint32_t, std::unique_ptr<TCachedEntry>> present;
  std::vector<uint32_t> order;  // by last use, oldest first
  std::mt19937 random(11);
  auto insert = [&](uint32_t key) {
    if (present.count(key)) return;
    auto entry = std::make_unique<TCachedEntry>();
    entry->key = key;
    cache.Insert(entry.get());
    present[key] = std::move(entry);
    order.push_back(key);
  };
  for (uint32_t key = 1; key <= 700; ++key) insert(key);
  for (uint32_t page = 1; page <= 300; ++page) insert(page * 4096);
  for (int i = 0; i < 300; ++i) insert(random() % 100000);
  for (int i = 0; i < 600; ++i) {
    auto at = present.begin();
    std::advance(at, random() % present.size());
    const uint32_t key = at->first;
    ASSERT_TRUE(cache.Remove(at->second.get()));
    present.erase(at);
    order.erase(std::find(order.begin(), order.end(), key));
    ASSERT_EQ(nullptr, cache.Find(key));
  }
  for (uint32_t key = 300; key <= 900; ++key) insert(key);
  ASSERT_EQ(int32_t(present.size()), cache.Count());
  for (const auto& [key, entry] : present) ASSERT_EQ(entry.get(), cache.Find(key)) << key;
  for (uint32_t key = 100001; key <= 100100; ++key) EXPECT_EQ(nullptr, cache.Find(key));
  size_t at = 0;
  for (TCachedEntry* entry = cache.Oldest(); entry; entry = entry->Newer, ++at) {
    ASSERT_LT(at, order.size());
    EXPECT_EQ(order[at], entry->key);
  }
  EXPECT_EQ(order.size(), at);
  cache.Clear();
}

INSTANTIATE_TEST_SUITE_P(SpreadOrRuns, EntryCacheHomes, testing::Bool());

// A walk uses entries in the order they came, each made the newest in
// turn: every one is found as itself, also where the entry that came next
// left the cache (and another took its key) or moved. Taking them all
// hands each cached entry over once, and leaves the cache empty and usable.
TEST(EntryCacheWalk, EntriesUsedInTheOrderTheyCameAreFoundAsThemselves) {
  TEntryCache<TCachedEntry> cache;
  cache.KeepRunsTogether();
  std::vector<std::unique_ptr<TCachedEntry>> entries;
  auto make = [&](uint32_t key) {
    entries.push_back(std::make_unique<TCachedEntry>());
    entries.back()->key = key;
    cache.Insert(entries.back().get());
    return entries.back().get();
  };
  std::map<uint32_t, TCachedEntry*> cached;
  for (uint32_t key = 1; key <= 200; ++key) cached[key] = make(key);
  for (uint32_t key = 1; key <= 200; ++key) {
    TCachedEntry* found = cache.Find(key);
    ASSERT_EQ(cached[key], found) << key;
    cache.MoveToNewest(found);
    if (key % 7 == 0 && key < 200) {
      // The next entry leaves, and a new one of its key comes in.
      ASSERT_TRUE(cache.Remove(cached[key + 1]));
      ASSERT_EQ(nullptr, cache.Find(key + 1));
      cached[key + 1] = make(key + 1);
    } else if (key % 11 == 0 && key < 200) {
      cache.MoveToOldest(cached[key + 1]);
    }
  }
  for (uint32_t key = 1; key <= 200; ++key) ASSERT_EQ(cached[key], cache.Find(key)) << key;
  std::vector<TCachedEntry*> taken;
  cache.TakeAll([&](TCachedEntry* entry) { taken.push_back(entry); });
  std::vector<TCachedEntry*> expected;
  for (const auto& [key, entry] : cached) expected.push_back(entry);
  std::sort(taken.begin(), taken.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, taken);
  EXPECT_EQ(0, cache.Count());
  EXPECT_EQ(nullptr, cache.Oldest());
  for (uint32_t key = 1; key <= 200; ++key) ASSERT_EQ(nullptr, cache.Find(key)) << key;
  TCachedEntry* again = make(5);
  EXPECT_EQ(again, cache.Find(5));
  EXPECT_EQ(again, cache.Oldest());
  cache.Clear();
}

// The write-back's list: every entry noted, changed, given back and still
// cached comes once, in ascending key order, whatever the order and repeats
// of its notes; one still in use waits for the next call; idle and removed
// ones go. The caller's list is replaced, not added to, each call.
TEST(EntryCacheWriteBack, ListsEachDueNotedEntryOnceInKeyOrder) {
  TEntryCache<TCachedEntry> cache;
  std::vector<std::unique_ptr<TCachedEntry>> entries;
  for (uint32_t page = 1; page <= 200; ++page) {
    entries.push_back(std::make_unique<TCachedEntry>());
    entries.back()->key = page * 4096;
    cache.Insert(entries.back().get());
  }
  auto due = [](const TCachedEntry* entry) { return entry->modified && !entry->inUse; };
  std::mt19937 random(7);
  std::vector<TCachedEntry*> shuffled;
  for (auto& entry : entries) shuffled.push_back(entry.get());
  std::shuffle(shuffled.begin(), shuffled.end(), random);
  std::vector<uint32_t> expected;
  for (size_t i = 0; i < 60; ++i) {
    TCachedEntry* entry = shuffled[i];
    entry->modified = i % 6 != 5;  // every sixth noted without a change
    entry->inUse = i % 10 == 3;
    cache.NoteForWriteBack(entry);
    if (i % 4 == 0) cache.NoteForWriteBack(entry);
    if (due(entry)) expected.push_back(entry->key);
  }
  TCachedEntry* removed = shuffled[0];
  ASSERT_TRUE(removed->modified);
  cache.Remove(removed);
  expected.erase(std::find(expected.begin(), expected.end(), removed->key));
  std::sort(expected.begin(), expected.end());
  auto keysOf = [](const std::vector<TCachedEntry*>& list) {
    std::vector<uint32_t> keys;
    for (const TCachedEntry* entry : list) keys.push_back(entry->key);
    return keys;
  };

  std::vector<TCachedEntry*> listed{shuffled[100], shuffled[101]};  // a list left from before
  cache.Noted(due, listed);
  EXPECT_EQ(expected, keysOf(listed));

  // Written back; those in use are given back changed.
  for (TCachedEntry* entry : listed) entry->modified = false;
  expected.clear();
  for (size_t i = 1; i < 60; ++i) {
    if (!shuffled[i]->inUse) continue;
    shuffled[i]->inUse = false;
    if (shuffled[i]->modified) expected.push_back(shuffled[i]->key);
  }
  ASSERT_FALSE(expected.empty());
  std::sort(expected.begin(), expected.end());
  cache.Noted(due, listed);
  EXPECT_EQ(expected, keysOf(listed));
  for (TCachedEntry* entry : listed) entry->modified = false;
  cache.Noted(due, listed);
  EXPECT_TRUE(listed.empty());
  cache.Clear();
}

// A write-back that failed (no WrittenBack) leaves the entries it chose to
// the next call, noted again or not; once written back, an entry comes
// again only when noted again changed, while entries noted in use before
// the write wait listed for their holders to give them back.
TEST(EntryCacheWriteBack, ChosenEntriesStayListedUntilWrittenBack) {
  TEntryCache<TCachedEntry> cache;
  std::vector<std::unique_ptr<TCachedEntry>> entries;
  for (uint32_t page = 1; page <= 50; ++page) {
    entries.push_back(std::make_unique<TCachedEntry>());
    entries.back()->key = (51 - page) * 4096;  // inserted in descending key order
    cache.Insert(entries.back().get());
  }
  auto due = [](const TCachedEntry* entry) { return entry->modified && !entry->inUse; };
  auto keysOf = [](const std::vector<TCachedEntry*>& list) {
    std::vector<uint32_t> keys;
    for (const TCachedEntry* entry : list) keys.push_back(entry->key);
    return keys;
  };
  std::vector<uint32_t> chosen, waiting;
  for (size_t i = 0; i < 30; i += 2) {
    TCachedEntry* entry = entries[i].get();
    entry->modified = true;
    entry->inUse = i % 6 == 4;
    cache.NoteForWriteBack(entry);
    (entry->inUse ? waiting : chosen).push_back(entry->key);
  }
  std::sort(chosen.begin(), chosen.end());
  std::sort(waiting.begin(), waiting.end());
  std::vector<TCachedEntry*> listed;
  // The listed entries written: the next call lists nothing.
  auto writeBackAndExpectNothingListed = [&] {
    for (TCachedEntry* entry : listed) entry->modified = false;
    cache.WrittenBack();
    cache.Noted(due, listed);
    EXPECT_TRUE(listed.empty());
  };
  cache.Noted(due, listed);
  ASSERT_EQ(chosen, keysOf(listed));

  // The write failed: nothing was written back, nothing noted again.
  cache.Noted(due, listed);
  EXPECT_EQ(chosen, keysOf(listed));

  writeBackAndExpectNothingListed();

  // Changed again and noted, beside the entries given back by their holders.
  std::vector<uint32_t> expected = waiting;
  for (size_t i = 0; i < 30; i += 4) {
    TCachedEntry* entry = entries[i].get();
    if (entry->inUse) continue;
    entry->modified = true;
    cache.NoteForWriteBack(entry);
    expected.push_back(entry->key);
  }
  for (auto& entry : entries) entry->inUse = false;
  std::sort(expected.begin(), expected.end());
  cache.Noted(due, listed);
  EXPECT_EQ(expected, keysOf(listed));
  writeBackAndExpectNothingListed();
  cache.Clear();
}
