#include <gtest/gtest.h>

#include <cmath>

#include "engBcd.h"
#include "engNumbers.h"
#include "engTextChecks.h"
#include "rtlExceptions.h"

namespace {

Currency Curr(int64_t scaled) { return Currency::FromScaled(scaled); }

TEST(EngineNumbers, RoundsHalfAwayFromZero) {
  EXPECT_EQ(DecimalsFormat(0), "##############0");
  EXPECT_EQ(DecimalsFormat(3), "##############0.000");
  EXPECT_DOUBLE_EQ(RoundFloat(2.5, 0), 3);
  EXPECT_DOUBLE_EQ(RoundFloat(-2.5, 0), -3);
  EXPECT_DOUBLE_EQ(RoundFloat(1.2349, 2), 1.23);
  EXPECT_DOUBLE_EQ(RoundFloat(-1.235001, 2), -1.24);
  EXPECT_EQ(RoundFloat(0, 2), 0);
  EXPECT_DOUBLE_EQ(IntPowerFloat(2, 10), 1024);
  EXPECT_DOUBLE_EQ(IntPowerFloat(2, 0), 1);
  EXPECT_DOUBLE_EQ(TruncFloat(-7.9), -7);
  EXPECT_TRUE(std::isinf(TruncFloat(INFINITY)));

  EXPECT_EQ(RoundCurrency(Curr(12345), 2), Curr(12300));   // 1.2345 -> 1.23
  EXPECT_EQ(RoundCurrency(Curr(12350), 2), Curr(12400));   // 1.235 -> 1.24
  EXPECT_EQ(RoundCurrency(Curr(-12350), 2), Curr(-12400));
  EXPECT_EQ(RoundCurrency(Curr(-5000), 0), Curr(-10000));
  EXPECT_EQ(RoundCurrency(Curr(12345), 9), Curr(12345));   // clamped to 4
  EXPECT_EQ(TruncCurrency(Curr(-19999)), Curr(-10000));
  EXPECT_EQ(IntPowerCurrency(Curr(1000), 2), Curr(100));   // 0.1^2
}

TEST(StoredBcd, RoundTripsAtEveryScale) {
  EXPECT_EQ(FloatToStoredBcd(123.45, 2), 123452);
  EXPECT_EQ(CurrencyToStoredBcd(Curr(1234500), 2), 123452);
  EXPECT_DOUBLE_EQ(StoredBcdToFloat(123452), 123.45);
  EXPECT_DOUBLE_EQ(StoredBcdToFloat(52), 0.05);
  EXPECT_EQ(StoredBcdToCurrency(52), Curr(500));
  EXPECT_EQ(FloatToStoredBcd(-123.45, 2), -123452);
  EXPECT_DOUBLE_EQ(StoredBcdToFloat(-123452), -123.45);
  EXPECT_EQ(StoredBcdToCurrency(-52), Curr(-500));
  EXPECT_EQ(FloatToStoredBcd(123.5, 0), 1240);
  EXPECT_DOUBLE_EQ(StoredBcdToFloat(1240), 124);
  EXPECT_EQ(FloatToStoredBcd(1.23456, 4), 123464);
  EXPECT_DOUBLE_EQ(StoredBcdToFloat(123464), 1.2346);
  EXPECT_EQ(CurrencyToStoredBcd(Curr(-12346), 4), -123464);
  EXPECT_EQ(FloatToStoredBcd(0.05, 2), 52);
  EXPECT_EQ(FloatToStoredBcd(0, 2), 2);
  EXPECT_DOUBLE_EQ(StoredBcdToFloat(2), 0);
}

TEST(StoredBcd, ZeroAtScaleZeroReadsBack) {
  EXPECT_EQ(FloatToStoredBcd(0, 0), 0);
  EXPECT_EQ(StoredBcdToFloat(0), 0);
  EXPECT_EQ(StoredBcdToCurrency(0), Curr(0));
}

TEST(StoredBcd, TooManyDigitsIsAConversionError) {
  EXPECT_THROW(FloatToStoredBcd(1e17, 4), EConvertError);
}

TEST(TextChecks, FollowRangesAndSettings) {
  TFormatSettings comma;
  comma.DecimalSeparator = ',';
  EXPECT_TRUE(IsValidWord("65535"));
  EXPECT_FALSE(IsValidWord("-1"));
  EXPECT_TRUE(IsValidSmallInt("-32768"));
  EXPECT_FALSE(IsValidSmallInt("32768"));
  EXPECT_TRUE(IsValidInteger("2147483647"));
  EXPECT_FALSE(IsValidInteger("2147483648"));
  EXPECT_TRUE(IsValidBoolean("false"));
  EXPECT_FALSE(IsValidBoolean("0"));
  EXPECT_TRUE(IsValidFloat("1,5", comma));
  EXPECT_FALSE(IsValidFloat("1.5", comma));
  EXPECT_TRUE(IsValidDate("2024-02-29", TFormatSettings()));
  EXPECT_FALSE(IsValidDate("2023-02-29", TFormatSettings()));
  EXPECT_TRUE(IsValidTime("23:59:59", TFormatSettings()));
  EXPECT_TRUE(IsValidDateTime("2024-02-29 10:00", TFormatSettings()));
}

}  // namespace
