#include <gtest/gtest.h>

#include "engBcd.h"
#include "engExpEvalTestSupport.h"
#include "osCodePage.h"

namespace {

using ExpEvalOperators = TExpEvalFixture;

TEST_F(ExpEvalOperators, NullIsTwoValued) {
  EXPECT_TRUE(Holds("JobOwner = NULL"));
  EXPECT_TRUE(Holds("JobOwner IS NULL"));
  EXPECT_FALSE(Holds("JobOwner <> NULL"));
  EXPECT_FALSE(Holds("JobOwner > ''"));  // the empty comparison
  EXPECT_TRUE(Holds("JobOwner >= ''"));
  EXPECT_TRUE(Holds("Pages < 1"));  // as its zero value
  EXPECT_FALSE(Holds("Pages = 0"));
  EXPECT_TRUE(Holds("Pages + 1 IS NULL"));
  EXPECT_TRUE(Holds("JobOwner NOT LIKE 'a%'"));
  EXPECT_FALSE(Holds("JobOwner LIKE '%'"));
  EXPECT_TRUE(Holds("Pages IN (1, NULL)"));
  EXPECT_FALSE(Holds("Pages NOT IN (1, NULL)"));
  EXPECT_TRUE(Holds("NOT Printed"));
  EXPECT_EQ(TextOf("'ab' || JobOwner"), "ab");
  record.SetText("JobOwner", "Smith");
  EXPECT_FALSE(Holds("JobOwner = NULL"));
  EXPECT_TRUE(Holds("JobOwner <> NULL"));
  EXPECT_TRUE(Holds("JobOwner > ''"));
}

TEST_F(ExpEvalOperators, Arithmetic) {
  record.Set<int32_t>("Pages", 7);
  record.Set<int16_t>("Copies", -3);
  record.Set<double>("Ratio", 0.5);
  record.Set<int64_t>("Amount", 123452);  // 123.45
  TExpTreePtr half = Evaluate("Pages / 2");
  EXPECT_EQ(half->DataType, dtFloat);
  EXPECT_DOUBLE_EQ(half->AsFloat(), 3.5);
  EXPECT_TRUE(IsNullResult("10 / 0"));
  EXPECT_TRUE(IsNullResult("Ratio / (Pages - 7)"));
  EXPECT_EQ(IntegerOf("Pages * Copies - 1"), -22);
  EXPECT_EQ(IntegerOf("-Copies"), 3);
  EXPECT_DOUBLE_EQ(FloatOf("Pages + Ratio"), 7.5);

  TExpTreePtr doubled = Evaluate("Amount * 2");
  EXPECT_EQ(doubled->DataType, dtBcd);
  EXPECT_EQ(doubled->AsBcd(), 246902);
  EXPECT_EQ(Evaluate("Amount / 3")->AsBcd(), 41152);
  // 15239.9025 is kept at the scale of 2 before the subtraction.
  EXPECT_EQ(Evaluate("Amount - Amount * Amount")->AsBcd(), -15116452);
  EXPECT_DOUBLE_EQ(FloatOf("Amount + Ratio"), 123.95);
  EXPECT_TRUE(Holds("Amount > 123"));
  EXPECT_TRUE(Holds("Amount < 123.46"));
}

TEST_F(ExpEvalOperators, OverflowRaises) {
  record.Set<int32_t>("Pages", 100000);
  record.Set<uint16_t>("Flags", 0);
  EXPECT_EQ(EvaluationError("Pages * Pages"), "Numeric overflow in '*' operator");
  EXPECT_EQ(EvaluationError("Flags - 1"), "Numeric overflow in '-' operator");
  EXPECT_EQ(IntegerOf("Pages * 21474"), 2147400000);
  record.Set<int32_t>("Pages", INT32_MIN);
  EXPECT_EQ(EvaluationError("-Pages"), "Numeric overflow in '-' operator");
  EXPECT_EQ(EvaluationError("Pages - 1"), "Numeric overflow in '-' operator");
  record.Set<int64_t>("Amount", FloatToStoredBcd(9e13, 2));
  EXPECT_EQ(EvaluationError("Amount * Amount"), "Numeric overflow in '*' operator");
}

TEST_F(ExpEvalOperators, DatesAndTimes) {
  record.Set<int32_t>("JobDate", DayOf(2004, 1, 31));
  record.Set<int32_t>("JobTime", 6 * 3600000);
  record.Set<double>("Stamp", DateTimeToTimeStamp(EncodeDateTime(2004, 2, 2, 6, 30, 0, 0)));
  EXPECT_EQ(IntegerOf("JobDate + 1"), DayOf(2004, 2, 1));
  EXPECT_EQ(IntegerOf("1 + JobDate"), DayOf(2004, 2, 1));
  EXPECT_DOUBLE_EQ(FloatOf("Stamp + 1"), DateTimeToTimeStamp(EncodeDateTime(2004, 2, 3, 6, 30, 0, 0)));
  EXPECT_EQ(IntegerOf("JobTime + 1000"), 6 * 3600000 + 1000);
  EXPECT_EQ(IntegerOf("JobTime + 86400000"), 30 * 3600000);  // no wrap at midnight
  EXPECT_EQ(IntegerOf("JobDate - '2004-01-01'"), 30);
  EXPECT_EQ(IntegerOf("Stamp - JobDate"), 2);
  EXPECT_EQ(IntegerOf("Stamp - JobTime"), 30 * 60000);
  TExpTreePtr between = Evaluate("Stamp - CAST('2004-02-01 06:30' AS TIMESTAMP)");
  EXPECT_EQ(between->DataType, dtFloat);
  EXPECT_DOUBLE_EQ(between->AsFloat(), 86400000.0);
  EXPECT_TRUE(Holds("Stamp > JobDate"));
  EXPECT_TRUE(Holds("Stamp < '2004-02-03'"));
  EXPECT_TRUE(Holds("JobDate = '2004-01-31'"));
  EXPECT_TRUE(Holds("JobTime > '05:59'"));
}

TEST_F(ExpEvalOperators, LogicShortCircuitsOnTheRight) {
  record.Set<int16_t>("Copies", 1);
  EXPECT_FALSE(Holds("Pages = 1 AND Copies = 2"));
  EXPECT_EQ(record.Calls("Pages"), 0);
  EXPECT_TRUE(Holds("Pages = 1 OR Copies = 1"));
  EXPECT_EQ(record.Calls("Pages"), 0);
  EXPECT_TRUE(Holds("Pages IS NULL AND Copies = 1"));
  EXPECT_EQ(record.Calls("Pages"), 1);
  EXPECT_TRUE(Holds("Copies BETWEEN 1 AND 2"));
  EXPECT_FALSE(Holds("Copies NOT BETWEEN 0 AND 1"));
  EXPECT_TRUE(Holds("Copies IN (3, 2, 1)"));
}

TEST_F(ExpEvalOperators, TextsByLocale) {
  record.SetText("JobOwner", "M\xC3\xBCller");  // UTF-8 under language 0
  EXPECT_TRUE(Holds("JobOwner LIKE 'M_ller'"));
  EXPECT_FALSE(Holds("JobOwner LIKE 'Muller'"));
  EXPECT_TRUE(Holds("JobOwner > 'Mz'"));  // bytes: the lead byte sorts after letters
  EXPECT_FALSE(Holds("JobOwner = 'm\xC3\xBCller'"));

  evalContext.LanguageId = 0x0407;
  record.SetText("JobOwner", Utf8ToAnsi(1252, "M\u00fcller"));
  EXPECT_TRUE(Holds("JobOwner LIKE 'Mu%er'"));
  EXPECT_FALSE(Holds("JobOwner LIKE 'mu%'"));
  EXPECT_TRUE(Holds("JobOwner < 'Mz'"));
  EXPECT_TRUE(Holds("JobOwner = 'Muller'"));
}

// Answers IN (SELECT ...) and keeps what it was asked.
class TRecordingQuery : public TExpNestedQuery {
public:
  bool HasRows = true;
  std::string Condition;

  int ResultColumnCount() override { return 1; }
  bool ResolveColumnType(TExpToken&) override { return true; }
  bool ApplyResultFilter(TExpToken& condition) override {
    EXPECT_EQ(condition.Second->Kind, nkColumn);
    EXPECT_EQ(condition.Second->DataType, dtInteger);
    Condition = Render(&condition) + " " + std::to_string(condition.First->AsInteger());
    return HasRows;
  }
};

TEST_F(ExpEvalOperators, InNestedSelectFiltersTheQuery) {
  TRecordingQuery query;
  TExpTreePtr predicate(NewToken());
  predicate->Kind = nkPredicate;
  predicate->DataType = dtBoolean;
  predicate->First = NewToken();
  predicate->First->Kind = nkColumn;
  predicate->First->Text = "Pages";
  predicate->First->FieldNo = 5;
  predicate->First->DataType = dtInteger;
  predicate->Second = NewToken();
  predicate->Second->Kind = nkSubSelect;
  predicate->Second->Text = "SELECT";
  predicate->Second->DataType = dtInteger;
  predicate->Second->NestedQuery = &query;
  record.Set<int32_t>("Pages", 42);
  for (uint8_t code : {opInSelect, opNotInSelect}) {
    predicate->Code = code;
    for (bool rows : {true, false}) {
      query.HasRows = rows;
      EXPECT_EQ(TExpTreePtr(EvaluateExpression(evalContext, *predicate))->AsBoolean(), rows == (code == opInSelect));
      EXPECT_EQ(query.Condition, "(Pages = SELECT) 42");
    }
  }
}

}  // namespace
