#include <gtest/gtest.h>

#include <memory>

#include "rtlAssert.h"
#include "engOwnedList.h"

namespace {

#if defined(ORV_ASSERTIONS)
TEST(EngineAssertion, StopsTheRunAtABrokenInvariantAndNamesIt) {
  TOwnedList<int> list;
  list.Add(std::make_unique<int>(0));
  EXPECT_DEATH(list.Get(1), "invariant broken: index >= 0 && index < Count\\(\\)");
  int checked = 0;
  ORV_ASSERT(++checked == 1);
  EXPECT_EQ(checked, 1);
}
#else
TEST(EngineAssertion, CostsNothingWhenOff) {
  int evaluated = 0;
  ORV_ASSERT(++evaluated == 1);
  EXPECT_EQ(evaluated, 0);
}
#endif

}  // namespace
