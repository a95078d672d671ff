#include <gtest/gtest.h>

#include <cstring>

#include "dbNativeValues.h"
#include "dbParams.h"
#include "rtlExceptions.h"

TEST(NativeValues, TypeNumbersAreAStoredFormat) {
  EXPECT_EQ(ftUnknown, 0);
  EXPECT_EQ(ftString, 1);
  EXPECT_EQ(ftBCD, 8);
  EXPECT_EQ(ftDateTime, 11);
  EXPECT_EQ(ftAutoInc, 14);
  EXPECT_EQ(ftMemo, 16);
  EXPECT_EQ(ftTypedBinary, 21);
  EXPECT_EQ(ftLargeint, 25);
  EXPECT_EQ(ftGuid, 35);
  EXPECT_EQ(FieldTypeName(ftGuid), "ftGuid");
  EXPECT_EQ(FieldTypeName(ftFmtMemo), "ftFmtMemo");
  EXPECT_EQ(FieldTypeName(TFieldType(200)), "ftUnknown");
  EXPECT_EQ(ptUnknown, 0);
  EXPECT_EQ(ptResult, 4);
}

TEST(NativeValues, DatesAndTimesAsTheEngineStoresThem) {
  EXPECT_EQ(DateTimeToDateNumber(0), 693594);
  EXPECT_EQ(DateTimeToDateNumber(EncodeDate(1, 1, 1)), 1);
  EXPECT_EQ(DateNumberToDateTime(693595), 1.0);
  EXPECT_EQ(DateTimeToTimeMSecs(EncodeTime(13, 5, 7, 250)), 47107250);
  EXPECT_EQ(TimeMSecsToDateTime(43200000), 0.5);

  // Before the date-time zero the time still counts forward from midnight.
  const TDateTime early = -1.25;  // 1899-12-29 06:00
  EXPECT_EQ(DateTimeToDateNumber(early), 693593);
  EXPECT_EQ(DateTimeToTimeMSecs(early), 21600000);
  EXPECT_EQ(NativeDateTimeToTimeStamp(early), 693593.0 * 86400000 + 21600000);
  EXPECT_EQ(NativeTimeStampToDateTime(NativeDateTimeToTimeStamp(early)), early);
  const TDateTime late = EncodeDateTime(2026, 12, 7, 23, 59, 59, 999);
  EXPECT_NEAR(NativeTimeStampToDateTime(NativeDateTimeToTimeStamp(late)), late, 1e-9);
  // A time a hair before midnight stays on its day.
  EXPECT_EQ(DateTimeToTimeMSecs(0.9999999999), 86399999);
  EXPECT_THROW(NativeTimeStampToDateTime(0), EConvertError);

  uint8_t native[8];
  const TDateTime day = EncodeDate(2024, 2, 29);
  ConvertNativeValue(ftDate, 0, &day, native, true);
  int32_t number;
  std::memcpy(&number, native, 4);
  EXPECT_EQ(number, DateTimeToDateNumber(day));
  TDateTime back = 0;
  ConvertNativeValue(ftDate, 0, native, &back, false);
  EXPECT_EQ(back, day);
}

TEST(NativeValues, BcdDigitsFollowedByTheScale) {
  EXPECT_EQ(NativeCurrencyToStoredBcd(Currency::FromScaled(1234500), 2), 123452);
  EXPECT_EQ(NativeCurrencyToStoredBcd(Currency::FromScaled(-1234500), 2), -123452);
  EXPECT_EQ(NativeCurrencyToStoredBcd(Currency::FromInt(7), 0), 70);
  EXPECT_EQ(NativeCurrencyToStoredBcd(Currency::FromScaled(12345), 2), 1232);    // 1.2345 -> 1.23
  EXPECT_EQ(NativeCurrencyToStoredBcd(Currency::FromScaled(12350), 2), 1242);    // half away from zero
  EXPECT_EQ(NativeCurrencyToStoredBcd(Currency::FromScaled(-12350), 2), -1242);
  EXPECT_EQ(NativeCurrencyToStoredBcd(Currency::FromScaled(5), 9), 54);          // scale clamped to 4
  EXPECT_THROW(NativeCurrencyToStoredBcd(Currency::FromScaled(INT64_MAX), 4), EConvertError);

  EXPECT_EQ(NativeStoredBcdToCurrency(123452), Currency::FromScaled(1234500));
  EXPECT_EQ(NativeStoredBcdToCurrency(-123452), Currency::FromScaled(-1234500));
  EXPECT_EQ(NativeStoredBcdToCurrency(70), Currency::FromInt(7));
  EXPECT_EQ(NativeStoredBcdToCurrency(0), Currency());
  // Scales past four round to four decimals, half to even.
  EXPECT_EQ(NativeStoredBcdToCurrency(1234565), Currency::FromScaled(12346));  // 1.23456
  EXPECT_EQ(NativeStoredBcdToCurrency(1234255), Currency::FromScaled(12342));  // 1.23425
  EXPECT_EQ(NativeStoredBcdToCurrency(1234355), Currency::FromScaled(12344));  // 1.23435
}
