#include <gtest/gtest.h>

#include "engExpEvalTestSupport.h"
#include "osCodePage.h"

namespace {

using ExpEvalFunctions = TExpEvalFixture;

TEST_F(ExpEvalFunctions, TextFunctions) {
  record.SetText("JobOwner", "Smith & Smithers");
  EXPECT_EQ(TextOf("UPPER(JobOwner)"), "SMITH & SMITHERS");
  EXPECT_EQ(TextOf("LOWER(JobOwner)"), "smith & smithers");
  EXPECT_EQ(TextOf("SUBSTRING(JobOwner FROM 3 FOR 3)"), "ith");
  EXPECT_EQ(TextOf("SUBSTRING(JobOwner FROM 9)"), "Smithers");
  EXPECT_EQ(TextOf("SUBSTRING(JobOwner FROM 50)"), "NULL");
  EXPECT_EQ(TextOf("REPLACE('Smith' WITH 'Jones' IN JobOwner)"), "Jones & Jonesers");
  EXPECT_EQ(TextOf("REPLACE('x' WITH '' IN 'xx')"), "NULL");
  EXPECT_EQ(IntegerOf("POS('Smithers' IN JobOwner)"), 9);
  EXPECT_EQ(IntegerOf("POS('smith' IN JobOwner)"), 0);
  EXPECT_EQ(IntegerOf("OCCURS('Smith' IN JobOwner)"), 2);
  EXPECT_EQ(IntegerOf("OCCURS('aa' IN 'aaaaa')"), 2);
  EXPECT_EQ(TextOf("TRIM(LEADING '*' FROM '**ab**')"), "ab**");
  EXPECT_EQ(TextOf("TRIM(TRAILING '*' FROM '**ab**')"), "**ab");
  EXPECT_EQ(TextOf("TRIM(BOTH '*' FROM '**ab**')"), "ab");
  EXPECT_EQ(TextOf("TRIM(BOTH '*' FROM '***')"), "NULL");
  record.SetNull("JobOwner");
  EXPECT_EQ(TextOf("UPPER(JobOwner)"), "NULL");
  EXPECT_EQ(IntegerOf("POS('a' IN JobOwner)"), 0);
}

TEST_F(ExpEvalFunctions, CharactersFollowTheLocale) {
  record.SetText("JobOwner", "M\xC3\xBCller");
  EXPECT_EQ(TextOf("SUBSTRING(JobOwner FROM 2 FOR 1)"), "\xC3\xBC");
  EXPECT_EQ(IntegerOf("POS('l' IN JobOwner)"), 3);
  EXPECT_EQ(TextOf("UPPER(JobOwner)"), "M\xC3\x9CLLER");
  EXPECT_EQ(TextOf("CAST(JobOwner AS CHAR(2))"), "M");  // never half a character

  evalContext.LanguageId = 0x0407;
  record.SetText("JobOwner", Utf8ToAnsi(1252, "M\u00fcller"));
  EXPECT_EQ(TextOf("SUBSTRING(JobOwner FROM 2 FOR 1)"), Utf8ToAnsi(1252, "\u00fc"));
  EXPECT_EQ(IntegerOf("POS('l' IN JobOwner)"), 3);
  EXPECT_EQ(TextOf("UPPER(JobOwner)"), Utf8ToAnsi(1252, "M\u00dcLLER"));
}

TEST_F(ExpEvalFunctions, Cast) {
  record.Set<int32_t>("Pages", 42);
  record.Set<int32_t>("JobDate", DayOf(2004, 1, 31));
  record.Set<int64_t>("Amount", 123452);
  record.Set<double>("Stamp", DateTimeToTimeStamp(EncodeDateTime(2004, 2, 2, 6, 30, 0, 0)));
  EXPECT_EQ(TextOf("CAST(Pages AS CHAR(10))"), "42");
  EXPECT_EQ(IntegerOf("CAST('12' AS INTEGER)"), 12);
  EXPECT_EQ(Evaluate("CAST(Pages AS DECIMAL(10, 2))")->AsBcd(), 42002);
  EXPECT_EQ(TextOf("CAST(Amount AS CHAR(12))"), "123.45");
  EXPECT_EQ(TextOf("CAST('Smithers' AS CHAR(5))"), "Smith");
  EXPECT_EQ(TextOf("CAST(JobDate AS CHAR(20))"), "2004-01-31");
  EXPECT_EQ(IntegerOf("CAST(Stamp AS DATE)"), DayOf(2004, 2, 2));
  EXPECT_EQ(IntegerOf("CAST(Stamp AS TIME)"), (6 * 60 + 30) * 60000);
  EXPECT_TRUE(IsNullResult("CAST(Copies AS CHAR(10))"));
  EXPECT_EQ(EvaluationError("CAST('abc' AS INTEGER)"), "CAST function argument cannot be converted to INTEGER from 'abc'");

  const TFormatSettings german = FormatSettingsForLanguage(0x0407);
  evalContext.FormatSettings = &german;
  EXPECT_EQ(TextOf("CAST(JobDate AS CHAR(20))"), "31.01.2004");
  EXPECT_EQ(TextOf("CAST(Amount AS CHAR(12))"), "123,45");

  for (auto [ratio, whole] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}, {70000.0, 70000}}) {
    record.Set<double>("Ratio", ratio);
    EXPECT_EQ(IntegerOf("CAST(Ratio AS INTEGER)"), whole) << ratio;
  }
  EXPECT_EQ(Evaluate("CAST(Ratio AS SMALLINT)")->AsSmallInt(), 4464);  // the low 16 bits of 70000
  record.Set<double>("Ratio", 1e20);
  EXPECT_EQ(EvaluationError("CAST(Ratio AS INTEGER)"), "CAST function argument cannot be converted to INTEGER");
}

TEST_F(ExpEvalFunctions, Extract) {
  record.Set<int32_t>("JobDate", DayOf(2004, 2, 1));  // a Sunday
  record.Set<int32_t>("JobTime", 6 * 3600000 + 7 * 60000);
  // 59.9996 seconds round to the next whole millisecond, a new minute.
  record.Set<double>("Stamp", DateTimeToTimeStamp(EncodeDateTime(2004, 2, 7, 6, 30, 0, 0)) + 59999.6);
  EXPECT_EQ(IntegerOf("EXTRACT(DAYOFWEEK FROM JobDate)"), 1);
  EXPECT_EQ(IntegerOf("EXTRACT(YEAR FROM JobDate)"), 2004);
  EXPECT_EQ(IntegerOf("EXTRACT(MONTH FROM JobDate)"), 2);
  EXPECT_EQ(IntegerOf("EXTRACT(HOUR FROM JobDate)"), 0);
  EXPECT_EQ(IntegerOf("EXTRACT(MINUTE FROM JobTime)"), 7);
  EXPECT_EQ(IntegerOf("EXTRACT(YEAR FROM JobTime)"), 0);
  EXPECT_EQ(IntegerOf("EXTRACT(DAYOFWEEK FROM Stamp)"), 7);
  EXPECT_EQ(IntegerOf("EXTRACT(MINUTE FROM Stamp)"), 31);
  EXPECT_EQ(IntegerOf("EXTRACT(SECOND FROM Stamp)"), 0);
  record.SetNull("JobDate");
  EXPECT_TRUE(IsNullResult("EXTRACT(DAY FROM JobDate)"));
}

TEST_F(ExpEvalFunctions, IfAbsRound) {
  record.Set<int32_t>("Pages", 42);
  record.Set<int16_t>("Copies", -3);
  EXPECT_EQ(Evaluate("IF(Pages > 1 THEN Copies ELSE CAST(Flags AS SMALLINT))")->AsSmallInt(), -3);
  EXPECT_EQ(record.Calls("Flags"), 0);
  EXPECT_EQ(TextOf("IF(Printed THEN 'yes' ELSE 'no')"), "no");
  EXPECT_EQ(IntegerOf("ABS(Copies)"), 3);

  for (auto [ratio, absolute] : {std::pair{-2.5, 2}, {-3.5, 4}, {2.4, 2}}) {
    record.Set<double>("Ratio", ratio);
    EXPECT_EQ(IntegerOf("ABS(Ratio)"), absolute) << ratio;
  }
  record.Set<int64_t>("Amount", -123452);
  EXPECT_EQ(IntegerOf("ABS(Amount)"), 123);
  EXPECT_DOUBLE_EQ(FloatOf("ROUND(Amount)"), -123.0);
  record.Set<double>("Ratio", 2.376);
  EXPECT_DOUBLE_EQ(FloatOf("ROUND(Ratio TO 2)"), 2.38);
  EXPECT_DOUBLE_EQ(FloatOf("ROUND(Ratio)"), 2.0);
  record.Set<double>("Ratio", 1e300);
  EXPECT_DOUBLE_EQ(FloatOf("ROUND(Ratio TO 32)"), 1e300);
  record.Set<double>("Ratio", 3e9);
  EXPECT_EQ(EvaluationError("ABS(Ratio)"), "Numeric overflow in ABS function");
  record.Set<int32_t>("Pages", INT32_MIN);
  EXPECT_EQ(EvaluationError("ABS(Pages)"), "Numeric overflow in ABS function");
}

TEST_F(ExpEvalFunctions, AggregatesGiveTheirArgument) {
  record.Set<int32_t>("Pages", 42);
  EXPECT_EQ(Evaluate("SUM(Pages + 1)", FilterParseFlags | pfAggregates)->AsInteger(), 43);
  EXPECT_TRUE(Evaluate("COUNT(JobOwner)", FilterParseFlags | pfAggregates)->IsNull);
}

}  // namespace
