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
  uint32_t CacheKey() const { return key; }
  bool Idle() const { return true; }
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
