#include <gtest/gtest.h>

#include <vector>

#include "engBlockPool.h"

namespace {

// Blocks of the pool's size given back are handed out again, up to the
// bound and no more; a block of another size goes back to the heap.
TEST(EngineBlockPool, KeepsBlocksOfItsSizeUpToItsBound) {
  const size_t bound = size_t(PoolKeptBytes / int64_t(PooledBlockBytes));
  std::vector<TPooledBlock> taken;
  for (size_t i = 0; i < bound; ++i) taken.emplace_back(PooledBlockBytes);
  EXPECT_EQ(PooledIdleBytes(), 0);  // the pool never keeps more than the bound

  { TPooledBlock other(PooledBlockBytes + 1); }
  EXPECT_EQ(PooledIdleBytes(), 0);
  const uint8_t* given = taken.back().Get();
  taken.pop_back();
  EXPECT_EQ(PooledIdleBytes(), int64_t(PooledBlockBytes));
  taken.emplace_back(PooledBlockBytes);
  EXPECT_EQ(taken.back().Get(), given);
  EXPECT_EQ(PooledIdleBytes(), 0);

  for (int i = 0; i < 3; ++i) taken.emplace_back(PooledBlockBytes);
  taken.clear();
  EXPECT_EQ(PooledIdleBytes(), PoolKeptBytes);
}

}  // namespace
