#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rtlConvert.h"
#include "rtlDateTime.h"
#include "rtlExceptions.h"

namespace {

TDateTime FixedNow() { return EncodeDateTime(2024, 6, 15, 10, 30, 0, 0); }

// Pins Now() for one test.
class ClockGuard {
public:
  ClockGuard() : previous(SetClock(FixedNow)) {}
  ~ClockGuard() { SetClock(previous); }

private:
  TClockFunction previous;
};

std::string Ymd(TDateTime value) {
  int y, m, d;
  DecodeDate(value, y, m, d);
  return std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d);
}

}  // namespace

TEST(DateTime, EncodeDecodeRoundTrips) {
  EXPECT_EQ(0.0, EncodeDate(1899, 12, 30));
  EXPECT_EQ(2.0, EncodeDate(1900, 1, 1));
  EXPECT_EQ(-1.0, EncodeDate(1899, 12, 29));
  EXPECT_EQ(45000.0, EncodeDate(2023, 3, 15));
  for (TDateTime day : {-693593.0, -36522.0, -1.0, 0.0, 59.0, 60.0, 45351.0, 2958465.0}) {
    int y, m, d;
    DecodeDate(day, y, m, d);
    EXPECT_EQ(day, EncodeDate(y, m, d)) << Ymd(day);
  }
  EXPECT_EQ("1-1-1", Ymd(-693593.0));
  EXPECT_EQ("9999-12-31", Ymd(2958465.0));
  EXPECT_EQ("2024-2-29", Ymd(EncodeDate(2024, 2, 29)));
}

// The integer decoding of whole days gives what the general one gives, at
// month, year and century ends, before 1899, and out to its bound.
TEST(DateTime, WholeDaysDecodeAsTheirDateTimes) {
  std::vector<int64_t> days = {-MaxExactDecodeDays, -693594, -693593, -36522, -1, 0, 1, 59, 60, 61, 45351,
                               2958465, 2958466, MaxExactDecodeDays};
  for (int64_t day = EncodeDate(1999, 12, 1); day <= EncodeDate(2001, 3, 31); ++day) days.push_back(day);
  for (int64_t day : days) {
    int y, m, d;
    DecodeDays(day, y, m, d);
    EXPECT_EQ(std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d), Ymd(double(day))) << day;
  }
}

TEST(DateTime, LeapYearsAndInvalidDates) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_EQ(29, DaysInMonth(2024, 2));
  EXPECT_EQ(28, DaysInMonth(2100, 2));
  TDateTime value = 123;
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, value));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, value));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, value));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, value));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, value));
  EXPECT_EQ(123, value);
  try {
    EncodeDate(2023, 13, 1);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ("Invalid argument to date encode", e.Message);
  }
  try {
    EncodeTime(1, 60, 0, 0);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ("Invalid argument to time encode", e.Message);
  }
}

TEST(DateTime, TimesRoundToMillisecondsAndNegativeDatesCountForward) {
  int h, n, s, ms;
  DecodeTime(EncodeTime(23, 59, 59, 999), h, n, s, ms);
  EXPECT_EQ(23 * 3600000 + 59 * 60000 + 59 * 1000 + 999, ((h * 60 + n) * 60 + s) * 1000 + ms);
  // Just short of midnight rounds into the next day.
  TDateTime almost = EncodeDate(2024, 12, 31) + 0.9999999999;
  EXPECT_EQ("2025-1-1", Ymd(almost));
  DecodeTime(almost, h, n, s, ms);
  EXPECT_EQ(0, h + n + s + ms);
  // Before 1899-12-30 the fraction still counts from midnight.
  TDateTime before = EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
  EXPECT_EQ(-1.25, before);
  DecodeTime(before, h, n, s, ms);
  EXPECT_EQ(6, h);
  EXPECT_EQ("1899-12-29", Ymd(before));
  EXPECT_EQ(7, DayOfWeek(0.0));  // a Saturday
  EXPECT_EQ(1, DayOfWeek(EncodeDate(2024, 6, 16)));
  EXPECT_EQ(6, DayOfWeek(-1.5));
}

TEST(DateTime, ClockIsInjectable) {
  ClockGuard clock;
  EXPECT_EQ(FixedNow(), Now());
  EXPECT_EQ(EncodeDate(2024, 6, 15), Date());
  EXPECT_DOUBLE_EQ(EncodeTime(10, 30, 0, 0), Time());
}

TEST(DateTimeText, FormatSpecifiers) {
  TDateTime value = EncodeDateTime(2024, 3, 5, 14, 7, 9, 45);
  EXPECT_EQ("5 05 Tue Tuesday 3 03 Mar March 24 2024", FormatDateTime("d dd ddd dddd m mm mmm mmmm yy yyyy", value));
  EXPECT_EQ("14:07:09.045 14:7:9.45", FormatDateTime("hh:nn:ss.zzz h:n:s.z", value));
  EXPECT_EQ("14:07 2:07 pm 2 P 02 PM", FormatDateTime("hh:mm h:mm am/pm h A/P hh AMPM", value));
  EXPECT_EQ("2024-03-05|Tuesday, March 05, 2024|14:07|14:07:09",
            FormatDateTime("ddddd|dddddd|t|tt", value));
  EXPECT_EQ("at 14h 'x' day-5", FormatDateTime("'at' hh\"h\" \"'x'\" 'day'-d", value));
  EXPECT_EQ("2024-03-05 14:07:09|2024-03-05", DateTimeToStr(value) + "|" + DateTimeToStr(std::trunc(value)));
  EXPECT_EQ("12 AM", FormatDateTime("h AMPM", EncodeTime(0, 30, 0, 0)));
  EXPECT_EQ("0001-01-01", DateToStr(-693593.0));
}

TEST(DateTimeText, OtherLanguages) {
  TDateTime value = EncodeDateTime(2024, 3, 5, 14, 7, 9, 0);
  TFormatSettings german = FormatSettingsForLanguage(0x0407);
  EXPECT_EQ("05.03.2024 14:07:09", DateTimeToStr(value, german));
  TFormatSettings english = FormatSettingsForLanguage(0x0409);
  EXPECT_EQ("3/5/2024 2:07:09 PM", DateTimeToStr(value, english));
  EXPECT_EQ("2:07 PM", FormatDateTime("t", value, english));
  TFormatSettings hungarian = FormatSettingsForLanguage(0x040E);
  EXPECT_EQ("2024. 03. 05.", DateToStr(value, hungarian));
  EXPECT_EQ(std::trunc(value), StrToDate("2024. 03. 05.", hungarian));
  TFormatSettings unknown = FormatSettingsForLanguage(0x7FFF);
  EXPECT_EQ("2024-03-05 14:07:09", DateTimeToStr(value, unknown));
}

// The rules kept for the process are each language's own, asked in any
// order: a kept value handed to the wrong language reads dates wrongly.
TEST(DateTimeText, KeptRulesAreEachLanguagesOwn) {
  const TDateTime value = EncodeDateTime(2024, 3, 5, 14, 7, 9, 0);
  const struct {
    uint16_t Language;
    const char* Date;
  } cases[] = {{0x0407, "05.03.2024"}, {0x0409, "3/5/2024"}, {0, "2024-03-05"},
               {0x040E, "2024. 03. 05."}, {0x7FFF, "2024-03-05"}};
  for (int round = 0; round < 2; ++round)
    for (const auto& each : cases) {
      SCOPED_TRACE(each.Language);
      const TFormatSettings& kept = SharedFormatSettingsForLanguage(each.Language);
      EXPECT_EQ(&kept, &SharedFormatSettingsForLanguage(each.Language));
      EXPECT_EQ(DateToStr(value, kept), each.Date);
      EXPECT_EQ(DateTimeToStr(value, kept), DateTimeToStr(value, FormatSettingsForLanguage(each.Language)));
      EXPECT_EQ(StrToDate(each.Date, kept), std::trunc(value));
    }
}

TEST(DateTimeText, Parsing) {
  ClockGuard clock;
  TFormatSettings german = FormatSettingsForLanguage(0x0407);
  TFormatSettings english = FormatSettingsForLanguage(0x0409);
  EXPECT_EQ(EncodeDate(2024, 3, 5), StrToDate("2024-03-05"));
  EXPECT_EQ(EncodeDate(2024, 3, 5), StrToDate(" 5.3.2024 ", german));
  EXPECT_EQ(EncodeDate(2024, 3, 5), StrToDate("3/5/2024", english));
  EXPECT_EQ(EncodeDate(2024, 3, 5), StrToDate("5.3.", german));  // current year
  EXPECT_EQ(EncodeDate(2030, 1, 2), StrToDate("30-1-2"));         // within 50 years ahead
  EXPECT_EQ(EncodeDate(1980, 1, 2), StrToDate("80-1-2"));
  EXPECT_EQ(EncodeDateTime(2024, 3, 5, 14, 7, 0, 0), StrToDateTime("3/5/2024 2:07 PM", english));
  EXPECT_EQ(EncodeTime(0, 15, 0, 0), StrToTime("12:15 am", english));
  EXPECT_EQ(EncodeTime(14, 7, 9, 45), StrToTime("14:07:09.045"));
  EXPECT_EQ(EncodeTime(14, 7, 9, 45), StrToTime("14:07:09,045", german));
  EXPECT_EQ(EncodeTime(10, 0, 0, 0), StrToDateTime("10:00"));
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), StrToDateTime("1899-12-29 06:00"));
  TDateTime value;
  for (const char* bad : {"", "2024", "2024-02-30", "2024-03-05x", "2024-03-05 10:00"})
    EXPECT_FALSE(TryStrToDate(bad, value)) << bad;
  for (const char* bad : {"10", "25:00", "13:00 PM", "10:00:", "10:00 XM"}) EXPECT_FALSE(TryStrToTime(bad, value)) << bad;
  EXPECT_FALSE(TryStrToDateTime("2024-03-05 25:00", value));
  try {
    StrToDate("x");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ("'x' is not a valid date", e.Message);
  }
  EXPECT_THROW(StrToTime("x"), EConvertError);
  try {
    StrToDateTime("x");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ("'x' is not a valid date and time", e.Message);
  }
}

TEST(DateTimeText, EveryLanguageReadsBackWhatItWrites) {
  ClockGuard clock;
  TDateTime value = EncodeDateTime(2024, 11, 23, 21, 5, 7, 0);
  const TFormatSettings& neutral = NeutralFormatSettings();
  int languages = 0;
  for (int id = 1; id <= 0xFFFF; ++id) {
    TFormatSettings settings = FormatSettingsForLanguage(static_cast<uint16_t>(id));
    if (settings.ShortDateFormat == neutral.ShortDateFormat && settings.DecimalSeparator == neutral.DecimalSeparator &&
        settings.CurrencyString == neutral.CurrencyString)
      continue;
    ++languages;
    std::string text = DateTimeToStr(value, settings);
    TDateTime back;
    ASSERT_TRUE(TryStrToDateTime(text, back, settings)) << std::hex << id << ": " << text;
    EXPECT_EQ(value, back) << std::hex << id << ": " << text;
    EXPECT_EQ(1234.5, StrToFloat(FloatToStr(1234.5, settings), settings)) << std::hex << id;
  }
  EXPECT_EQ(98, languages);
}
