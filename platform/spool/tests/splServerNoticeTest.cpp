#include <gtest/gtest.h>

#include "splServerNotice.h"

namespace {

using std::chrono::milliseconds;
using Clock = TSpoolOutage::Clock;

TEST(SpoolOutage, WaitsDoubleToTheirBoundAndTheLimitEndsTheOutage) {
  TSpoolOutage outage(milliseconds(100), milliseconds(700), milliseconds(5000));
  const Clock::time_point t0{};
  EXPECT_FALSE(outage.InOutage());
  EXPECT_EQ(outage.NextWait(), milliseconds(100));

  // Only the first failure begins an outage, so it is reported once.
  EXPECT_TRUE(outage.Failed(t0));
  EXPECT_EQ(outage.NextWait(), milliseconds(100));
  std::vector<milliseconds> waits;
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(outage.Failed(t0 + milliseconds(i)));
    waits.push_back(outage.NextWait());
  }
  EXPECT_EQ(waits, (std::vector<milliseconds>{milliseconds(200), milliseconds(400), milliseconds(700),
                                              milliseconds(700), milliseconds(700)}));
  EXPECT_FALSE(outage.Expired(t0 + milliseconds(4999)));
  EXPECT_TRUE(outage.Expired(t0 + milliseconds(5000)));

  // The server answered: the outage's length, and the schedule starts over.
  EXPECT_EQ(outage.End(t0 + milliseconds(1234)), milliseconds(1234));
  EXPECT_FALSE(outage.InOutage());
  EXPECT_FALSE(outage.Expired(t0 + milliseconds(99999)));
  EXPECT_EQ(outage.NextWait(), milliseconds(100));
  EXPECT_TRUE(outage.Failed(t0 + milliseconds(2000)));
  EXPECT_FALSE(outage.Expired(t0 + milliseconds(6999)));
  EXPECT_TRUE(outage.Expired(t0 + milliseconds(7000)));
}

TEST(SpoolOutage, ABoundBelowTheFirstWaitIsTheFirstWait) {
  TSpoolOutage outage(milliseconds(300), milliseconds(50), milliseconds(1000));
  outage.Failed(Clock::time_point{});
  outage.Failed(Clock::time_point{});
  EXPECT_EQ(outage.NextWait(), milliseconds(300));
}

}  // namespace
