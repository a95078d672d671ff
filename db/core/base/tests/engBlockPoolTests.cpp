#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
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

// Blocks out at once never share a byte, and each keeps what its owner
// wrote while others are taken and given back around it: within the
// bound, past it (pages given back to the system, whole slabs unmapped),
// in the order they came and shuffled (slabs with blocks kept and blocks
// given back).
TEST(EngineBlockPool, BlocksOutKeepTheirBytesWhileOthersComeAndGo) {
  struct TCase {
    const char* Name;
    size_t Taken;   // blocks taken at first, in blocks of the bound
    size_t Stride;  // every Stride-th of them given back, then as many taken again
    bool Shuffled;  // given back in a shuffled order
  };
  const size_t bound = size_t(PoolKeptBytes / int64_t(PooledBlockBytes));
  const TCase cases[] = {{"within the bound, every other", 1, 2, false},
                         {"past the bound, every third", 3, 3, false},
                         {"past the bound, all of them", 2, 1, false},
                         {"past the bound, one in a slab", 2, PoolSlabBytes / PooledBlockBytes, false},
                         {"past the bound, all of them shuffled", 2, 1, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<TPooledBlock> blocks;
    std::vector<uint8_t> marks;
    uint8_t next = 0;
    auto take = [&](size_t index) {
      blocks[index] = TPooledBlock(PooledBlockBytes);
      marks[index] = ++next;
      std::memset(blocks[index].Get(), marks[index], PooledBlockBytes);
    };
    blocks.resize(c.Taken * bound);
    marks.resize(blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i) take(i);
    std::vector<size_t> givenBack;
    for (size_t i = 0; i < blocks.size(); i += c.Stride) givenBack.push_back(i);
    if (c.Shuffled) std::shuffle(givenBack.begin(), givenBack.end(), std::mt19937(7));
    for (const size_t i : givenBack) blocks[i] = TPooledBlock();
    EXPECT_LE(PooledIdleBytes(), PoolKeptBytes);
    for (const size_t i : givenBack) take(i);
    for (size_t i = 0; i < blocks.size(); ++i) {
      const uint8_t* bytes = blocks[i].Get();
      ASSERT_EQ(blocks[i].Size(), PooledBlockBytes);
      const bool kept = bytes[0] == marks[i] && std::memcmp(bytes, bytes + 1, PooledBlockBytes - 1) == 0;
      EXPECT_TRUE(kept) << "block " << i;
    }
    blocks.clear();
    EXPECT_EQ(PooledIdleBytes(), PoolKeptBytes);
  }
}

}  // namespace
