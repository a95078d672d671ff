// The trail of a chain walk: whether an offset was passed, whatever order
// the chain took through the file, and the walk order for freeing.

#include <gtest/gtest.h>

#include <vector>

#include "engBlobTrail.h"

namespace {

constexpr uint32_t Step = 64;

std::vector<uint32_t> Walked(const TBlockTrail& trail) {
  std::vector<uint32_t> offsets;
  trail.ForEach([&offsets](uint32_t offset) { offsets.push_back(offset); });
  return offsets;
}

TEST(BlockTrailTest, OffsetsInsideRunsOfConsecutiveBlocksAreFoundInAnyOrderOfRuns) {
  TBlockTrail trail(Step);
  // Up the file in consecutive blocks, then a run lower down, a lone
  // block, and another run that goes on from it.
  trail.Add(512 + 10 * Step);
  trail.AddRun(512 + 11 * Step, 3);
  trail.Add(512 + 2 * Step);
  trail.Add(512 + 3 * Step);
  trail.Add(512 + 30 * Step);
  trail.AddRun(512 + 31 * Step, 2);
  EXPECT_EQ(trail.Count(), 9);
  EXPECT_EQ(trail.Highest(), 512 + 32 * Step);
  for (uint32_t block : {10u, 11u, 13u, 2u, 3u, 30u, 32u}) EXPECT_TRUE(trail.Contains(512 + block * Step)) << block;
  for (uint32_t block : {0u, 1u, 4u, 9u, 14u, 29u, 33u}) EXPECT_FALSE(trail.Contains(512 + block * Step)) << block;
  const std::vector<uint32_t> order{512 + 10 * Step, 512 + 11 * Step, 512 + 12 * Step, 512 + 13 * Step, 512 + 2 * Step,
                                    512 + 3 * Step,  512 + 30 * Step, 512 + 31 * Step, 512 + 32 * Step};
  EXPECT_EQ(Walked(trail), order);

  // Asked again after more blocks joined: the index catches up with them.
  trail.Add(512 + 5 * Step);
  trail.AddRun(512 + 40 * Step, 1);
  EXPECT_TRUE(trail.Contains(512 + 5 * Step));
  EXPECT_TRUE(trail.Contains(512 + 40 * Step));
  EXPECT_FALSE(trail.Contains(512 + 4 * Step));
}

TEST(BlockTrailTest, AChainWalkingDownTheFileFindsEveryBlockItPassed) {
  TBlockTrail trail(Step);
  std::vector<uint32_t> order;
  for (uint32_t block = 3000; block > 0; --block) {
    const uint32_t offset = 512 + block * Step;
    ASSERT_FALSE(trail.Contains(offset));
    trail.Add(offset);
    order.push_back(offset);
  }
  for (uint32_t block = 1; block <= 3000; block += 7) EXPECT_TRUE(trail.Contains(512 + block * Step));
  EXPECT_EQ(Walked(trail), order);
}

}  // namespace
