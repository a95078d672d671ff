#include <gtest/gtest.h>

#include "rtlBits.h"

TEST(Bits, GrowsOnWriteAndFindsTheLowestClearBit) {
  TBits bits;
  EXPECT_EQ(bits.OpenBit(), 0);
  for (int i = 0; i < 130; ++i) bits.SetBits(i, true);
  EXPECT_EQ(bits.Size(), 130);
  EXPECT_EQ(bits.OpenBit(), 130);
  bits.SetBits(64, false);
  EXPECT_EQ(bits.OpenBit(), 64);
  bits.SetBits(3, false);
  EXPECT_EQ(bits.OpenBit(), 3);
  EXPECT_FALSE(bits.Bits(3));
  EXPECT_TRUE(bits.Bits(129));

  // Shrinking drops bits; growing again shows them clear.
  bits.SetSize(10);
  bits.SetSize(130);
  EXPECT_FALSE(bits.Bits(129));
  EXPECT_EQ(bits.OpenBit(), 3);

  EXPECT_THROW(bits.Bits(130), EBitsError);
  EXPECT_THROW(bits.Bits(-1), EBitsError);
  EXPECT_THROW(bits.SetBits(-1, true), EBitsError);
  EXPECT_THROW(bits.SetSize(TBits::MaxBitCount + 1), EBitsError);
}
