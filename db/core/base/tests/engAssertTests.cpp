#include <gtest/gtest.h>

#include "engAssert.h"
#include "engSystemList.h"

namespace {

#if defined(ENG_ASSERTIONS)
TEST(EngineAssertion, StopsTheRunAtABrokenInvariantAndNamesIt) {
  TSystemList list;
  list.Add(nullptr);
  EXPECT_DEATH(list.Get(1), "engine invariant broken: index >= 0 && index < count");
  int checked = 0;
  ENG_ASSERT(++checked == 1);
  EXPECT_EQ(checked, 1);
}
#else
TEST(EngineAssertion, CostsNothingWhenOff) {
  int evaluated = 0;
  ENG_ASSERT(++evaluated == 1);
  EXPECT_EQ(evaluated, 0);
}
#endif

}  // namespace
