#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <utility>

#include "engBuffer.h"
#include "engHeap.h"
#include "engScopeGuard.h"

TEST(ScopeGuard, RunsOnEveryWayOutUnlessDismissed) {
  int runs = 0;
  { TScopeGuard guard([&] { ++runs; }); }
  EXPECT_EQ(runs, 1);
  EXPECT_THROW(
      {
        TScopeGuard guard([&] { ++runs; });
        throw std::runtime_error("work failed");
      },
      std::runtime_error);
  EXPECT_EQ(runs, 2);
  {
    TScopeGuard guard([&] { ++runs; });
    guard.Dismiss();
  }
  EXPECT_EQ(runs, 2);
}

// While a failure leaves the scope, the cleanup's own failure gives way to
// it; on a normal exit the cleanup's failure is reported.
TEST(ScopeGuard, TheFirstFailureIsTheOneReported) {
  try {
    TScopeGuard guard([] { throw std::logic_error("cleanup failed"); });
    throw std::runtime_error("work failed");
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "work failed");
  }
  EXPECT_THROW({ TScopeGuard guard([] { throw std::logic_error("cleanup failed"); }); }, std::logic_error);
}

TEST(EngineBuffer, OwnsAZeroedBlockOfTheEngineHeapAndGivesItBack) {
  const int64_t before = EngineHeapTotal();
  {
    TEngineBuffer buffer(100);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer.Size(), 100u);
    EXPECT_EQ(EngineHeapTotal(), before + 100);
    const uint8_t zeros[100] = {};
    EXPECT_EQ(std::memcmp(buffer.Get(), zeros, sizeof zeros), 0);

    TEngineBuffer taken(std::move(buffer));
    EXPECT_FALSE(buffer);
    EXPECT_EQ(taken.Size(), 100u);
    taken = TEngineBuffer(10);
    EXPECT_EQ(EngineHeapTotal(), before + 10);
    taken.Reset();
    EXPECT_FALSE(taken);
    EXPECT_EQ(EngineHeapTotal(), before);
    taken = TEngineBuffer(20);
  }
  EXPECT_EQ(EngineHeapTotal(), before);
}
