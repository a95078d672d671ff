#include <gtest/gtest.h>

#include <cstring>

#include "engExpDateTime.h"
#include "engExpTestSupport.h"
#include "engExpTypes.h"

namespace {

using ExpTypeCheckTest = TExpFixture;

constexpr int32_t Jan31Of2004 = 731611;

TEST(ExpTypeTables, BinaryResults) {
  EXPECT_EQ(BinaryResultType(opAdd, dtSmallInt, dtWord), dtInteger);
  EXPECT_EQ(BinaryResultType(opSubtract, dtWord, dtInteger), dtWord);
  EXPECT_EQ(BinaryResultType(opAdd, dtWord, dtInteger), dtInteger);
  EXPECT_EQ(BinaryResultType(opMultiply, dtBcd, dtInteger), dtBcd);
  EXPECT_EQ(BinaryResultType(opMultiply, dtBcd, dtFloat), dtFloat);
  EXPECT_EQ(BinaryResultType(opDivide, dtInteger, dtInteger), dtFloat);
  EXPECT_EQ(BinaryResultType(opDivide, dtInteger, dtBcd), dtBcd);
  EXPECT_EQ(BinaryResultType(opDivide, dtBcd, dtFloat), dtFloat);
  EXPECT_EQ(BinaryResultType(opAdd, dtInteger, dtDate), dtDate);
  EXPECT_EQ(BinaryResultType(opSubtract, dtTime, dtSmallInt), dtTime);
  EXPECT_EQ(BinaryResultType(opSubtract, dtDate, dtDate), dtInteger);
  EXPECT_EQ(BinaryResultType(opSubtract, dtTimeStamp, dtDate), dtInteger);
  EXPECT_EQ(BinaryResultType(opSubtract, dtTimeStamp, dtTimeStamp), dtFloat);
  EXPECT_EQ(BinaryResultType(opAdd, dtString, dtBlob), dtBlob);
  EXPECT_EQ(BinaryResultType(opLessEqual, dtString, dtString), dtBoolean);
  EXPECT_EQ(BinaryResultSubtype(opAdd, dtString, stNone, dtBlob, stMemo), stMemo);
  EXPECT_EQ(BinaryResultSubtype(opAdd, dtInteger, stNone, dtFloat, stMoney), stMoney);
  EXPECT_EQ(BinaryResultSubtype(opMultiply, dtFloat, stMoney, dtInteger, stNone), stMoney);
  EXPECT_EQ(BinaryResultSubtype(opSubtract, dtInteger, stNone, dtFloat, stMoney), stNone);
  EXPECT_EQ(BinaryResultSubtype(opDivide, dtFloat, stMoney, dtSmallInt, stNone), stMoney);
}

TEST(ExpTypeTables, Compatibility) {
  EXPECT_TRUE(IsOperatorTypeCompatible(opEqual, dtBlob, stMemo, dtString, stNone));
  EXPECT_TRUE(IsOperatorTypeCompatible(opEqual, dtBlob, 23, dtNone, stNone));
  EXPECT_FALSE(IsOperatorTypeCompatible(opEqual, dtBlob, 23, dtBlob, 23));
  EXPECT_FALSE(IsOperatorTypeCompatible(opEqual, dtBytes, stNone, dtNone, stNone));
  EXPECT_FALSE(IsOperatorTypeCompatible(opGreater, dtInteger, stNone, dtNone, stNone));
  EXPECT_TRUE(IsOperatorTypeCompatible(opLess, dtDate, stNone, dtTimeStamp, stNone));
  EXPECT_FALSE(IsOperatorTypeCompatible(opLess, dtBoolean, stNone, dtBoolean, stNone));
  EXPECT_TRUE(IsOperatorTypeCompatible(opAdd, dtWord, stNone, dtTime, stNone));
  EXPECT_FALSE(IsOperatorTypeCompatible(opAdd, dtFloat, stNone, dtDate, stNone));
  EXPECT_FALSE(IsOperatorTypeCompatible(opAdd, dtDate, stNone, dtFloat, stNone));
  EXPECT_TRUE(IsOperatorTypeCompatible(opSubtract, dtTimeStamp, stNone, dtTime, stNone));
  EXPECT_FALSE(IsOperatorTypeCompatible(opSubtract, dtDate, stNone, dtTimeStamp, stNone));
  EXPECT_FALSE(IsOperatorTypeCompatible(opMultiply, dtDate, stNone, dtInteger, stNone));
  EXPECT_TRUE(IsUnaryTypeCompatible(opUnaryPlus, dtWord));
  EXPECT_FALSE(IsUnaryTypeCompatible(opNegate, dtWord));
  EXPECT_TRUE(IsUnaryTypeCompatible(opIsNotNull, dtBoolean));
  EXPECT_EQ(UnaryResultSubtype(opNegate, dtFloat, stMoney), stMoney);
  EXPECT_TRUE(IsCastCompatible(dtString, dtNone));
  EXPECT_FALSE(IsCastCompatible(dtString, dtBlob));
  EXPECT_FALSE(IsCastCompatible(dtInteger, dtBoolean));
  EXPECT_TRUE(IsCastCompatible(dtWord, dtBoolean));
  EXPECT_FALSE(IsCastCompatible(dtDate, dtTime));
  EXPECT_TRUE(IsCastCompatible(dtTimeStamp, dtTime));
}

TEST_F(ExpTypeCheckTest, QuotedColumnNames) {
  TExpToken* root = ParseAndCheck("JobOwner = 'JobOwner'");
  EXPECT_EQ(root->First->Kind, nkColumn);
  EXPECT_EQ(root->Second->Kind, nkConstant);
  EXPECT_STREQ(root->Second->AsText(), "JobOwner");
  EXPECT_EQ(root->Second->DataSize, 9);
  root = ParseAndCheck("'JobOwner' = 'X'");
  EXPECT_EQ(root->First->Kind, nkColumn);
  EXPECT_TRUE(root->First->FromString);
  EXPECT_EQ(root->First->FieldNo, 1);
  EXPECT_EQ(root->Second->Kind, nkConstant);
  EXPECT_TRUE(root->Second->Name.empty());
  // Both name columns: the right one goes back to being text.
  EXPECT_EQ(CheckError("'Pages' = 'JobOwner'"),
            "Type mismatch between column 'Pages' and constant 'JobOwner' in filter expression");
}

TEST_F(ExpTypeCheckTest, ResultTypesSizesAndScales) {
  struct Case {
    const char* text;
    uint8_t type, subType;
    int32_t size;
    uint8_t scale;
  } cases[] = {
      {"JobDate - JobDate", dtInteger, stNone, 4, 0},
      {"Stamp - Stamp", dtFloat, stNone, 8, 0},
      {"JobDate + 1", dtDate, stNone, 4, 0},
      {"JobOwner || 'abc'", dtString, stNone, 44, 0},
      {"Document + JobOwner", dtBlob, stMemo, 48, 0},
      {"Amount * Pages", dtBcd, stNone, 8, 2},
      {"Cost * 2", dtFloat, stMoney, 8, 0},
      {"-Cost", dtFloat, stMoney, 8, 0},
      {"Copies - Flags", dtInteger, stNone, 2, 0},
      {"SUM(Amount)", dtBcd, stNone, 8, 2},
      {"COUNT(JobOwner)", dtInteger, stNone, 4, 0},
      {"LOWER(Document)", dtBlob, stMemo, 8, 0},
      {"UPPER(JobOwner)", dtString, stNone, 41, 0},
      {"SUBSTRING(JobOwner FROM 2 FOR 5)", dtString, stNone, 6, 0},
      {"SUBSTRING(JobOwner FROM 2)", dtString, stNone, 40, 0},
      {"SUBSTRING(JobOwner FROM 2 FOR 2000000000)", dtString, stNone, 40, 0},
      {"SUBSTRING(JobOwner FROM 2147483647)", dtString, stNone, 1, 0},
      {"TRIM(BOTH 'x' FROM JobOwner)", dtString, stNone, 41, 0},
      {"POS('a' IN JobOwner)", dtInteger, stNone, 4, 0},
      {"REPLACE('a' WITH '' IN JobOwner)", dtString, stNone, 41, 0},
      {"EXTRACT(DAY FROM Stamp)", dtInteger, stNone, 4, 0},
      {"ABS(Ratio)", dtInteger, stNone, 4, 0},
      {"ROUND(Amount TO 32)", dtFloat, stNone, 8, 0},
      {"IF(Pages > 1 THEN Amount ELSE Amount * 2)", dtBcd, stNone, 8, 2},
      {"CAST(Pages AS CHAR(10))", dtString, stNone, 11, 0},
      {"CAST(Pages AS BYTES(10))", dtBytes, stNone, 10, 0},
      {"CAST(JobOwner AS BYTES)", dtBytes, stNone, 41, 0},
      {"CAST(Ratio AS DECIMAL(10, 4))", dtBcd, stNone, 8, 4},
      {"CAST(Document AS BLOB(1, 7))", dtBlob, 28, 8, 0},
      {"CAST(JobOwner AS TIMESTAMP)", dtTimeStamp, stNone, 8, 0},
      {"Pages IN (1, -2, +3)", dtBoolean, stNone, 2, 0},
  };
  for (const Case& c : cases) {
    TExpToken* root = ParseAndCheck(c.text, pfExtended | pfAggregates);
    EXPECT_EQ(root->DataType, c.type) << c.text;
    EXPECT_EQ(root->SubType, c.subType) << c.text;
    EXPECT_EQ(root->DataSize, c.size) << c.text;
    EXPECT_EQ(root->Scale, c.scale) << c.text;
  }
}

TEST_F(ExpTypeCheckTest, DateTextsBecomeValuesOnce) {
  TExpToken* root = ParseAndCheck("JobDate = '2004-01-31'");
  EXPECT_EQ(root->Second->DataType, dtDate);
  EXPECT_EQ(root->Second->AsInteger(), Jan31Of2004);
  root = ParseAndCheck("'2004-01-31 13:14:15' < Stamp");
  EXPECT_EQ(root->First->DataType, dtTimeStamp);
  EXPECT_DOUBLE_EQ(root->First->AsFloat(), Jan31Of2004 * 86400000.0 + 47655000);
  root = ParseAndCheck("JobTime BETWEEN '08:00' AND '17:30:01'");
  EXPECT_EQ(root->Second->AsInteger(), 8 * 3600000);
  EXPECT_EQ(root->Second->Next->AsInteger(), 17 * 3600000 + 30 * 60000 + 1000);
  root = ParseAndCheck("JobDate NOT IN ('2004-01-31', '2004-02-01')");
  EXPECT_EQ(root->Second->Next->AsInteger(), Jan31Of2004 + 1);
  EXPECT_EQ(CheckError("JobDate = '31/01/2004'"),
            "Date, time, or timestamp expression expected, instead found '31/01/2004' in filter expression");
  EXPECT_EQ(CheckError("JobDate IN ('2004-01-31', 'soon')"),
            "Date, time, or timestamp expression expected, instead found 'soon' in filter expression");

  UseLanguage(0x0409);  // month first, 12-hour clock
  root = ParseAndCheck("JobDate = '1/31/2004'");
  EXPECT_EQ(root->Second->AsInteger(), Jan31Of2004);
  root = ParseAndCheck("JobTime = '1:14 PM'");
  EXPECT_EQ(root->Second->AsInteger(), (13 * 60 + 14) * 60000);
  EXPECT_EQ(CheckError("JobDate = '2004-01-31'"),
            "Date, time, or timestamp expression expected, instead found '2004-01-31' in filter expression");
}

TEST_F(ExpTypeCheckTest, DateTimeValueConversions) {
  uint8_t value[8];
  ASSERT_TRUE(TextToDateTimeValue("2004-01-31", dtTimeStamp, *context.FormatSettings, value));
  double stamp;
  memcpy(&stamp, value, sizeof stamp);
  EXPECT_DOUBLE_EQ(stamp, Jan31Of2004 * 86400000.0);
  ASSERT_TRUE(TextToDateTimeValue("06:00", dtTimeStamp, *context.FormatSettings, value));
  memcpy(&stamp, value, sizeof stamp);
  EXPECT_DOUBLE_EQ(stamp, 693594 * 86400000.0 + 21600000);
  EXPECT_FALSE(TextToDateTimeValue("06:00", dtDate, *context.FormatSettings, value));
  EXPECT_FALSE(TextToDateTimeValue("2004-01-31", dtInteger, *context.FormatSettings, value));
  // Before 1899-12-30 the time of day still counts forward from midnight.
  TDateTime early = EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
  EXPECT_EQ(DateTimeToDayNumber(early), 693593);
  EXPECT_EQ(DateTimeToTimeOfDay(early), 21600000);
  EXPECT_DOUBLE_EQ(TimeStampToDateTime(DateTimeToTimeStamp(early)), early);
  EXPECT_DOUBLE_EQ(DayNumberToDateTime(1), EncodeDate(1, 1, 1));
  EXPECT_DOUBLE_EQ(TimeOfDayToDateTime(43200000), 0.5);
}

TEST_F(ExpTypeCheckTest, BooleanContext) {
  EXPECT_EQ(Render(ParseAndCheck("Printed")), "(Printed = True)");
  EXPECT_EQ(tree->First->Parent, tree.get());
  EXPECT_EQ(Render(ParseAndCheck("NOT Printed OR Pages > 1")), "((NOT (Printed = True)) OR (Pages > 1))");
  EXPECT_EQ(Render(ParseAndCheck("Printed = FALSE")), "(Printed = FALSE)");
  EXPECT_EQ(Render(ParseAndCheck("CAST(Pages AS BOOLEAN) AND IF(Printed THEN TRUE ELSE FALSE)")),
            "((CAST(Pages) = True) AND (IF(Printed, TRUE, FALSE) = True))");
  Parse("Printed");
  TypeCheckExpression(context, false, nullptr, tree.get());
  EXPECT_EQ(Render(tree.get()), "Printed");
}

TEST_F(ExpTypeCheckTest, NestedSelect) {
  TExpToken* root = ParseAndCheck("Pages IN (SELECT x FROM t)", pfExtended | pfSubSelect);
  EXPECT_EQ(root->Second->DataType, dtInteger);
  query.ColumnType = dtString;
  EXPECT_EQ(CheckError("Pages NOT IN (SELECT x FROM t)", pfExtended | pfSubSelect),
            "Type mismatch between NOT IN operator and expression 'SELECT' in filter expression");
  query.ColumnType = dtNone;
  EXPECT_EQ(CheckError("Pages IN (SELECT x FROM t)", pfExtended | pfSubSelect),
            "Invalid column name '' or table correlation name '' specified in filter expression");
  query.Columns = 2;
  EXPECT_EQ(CheckError("Pages IN (SELECT x, y FROM t)", pfExtended | pfSubSelect),
            "More than 1 column for sub-select  specified in filter expression");
}

// Every type-check error, by the text that raises it.
TEST_F(ExpTypeCheckTest, Messages) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"Nope = 1", "Invalid column name 'Nope' or table correlation name '' specified in filter expression"},
      {"X.Pages = 1", "Invalid column name 'Pages' or table correlation name 'X' specified in filter expression"},
      {"-JobOwner", "Type mismatch between '-' operator and 'JobOwner' in filter expression"},
      {"NOT Pages", "Type mismatch between 'NOT' operator and 'Pages' in filter expression"},
      {"Pages > 'x'", "Type mismatch between column 'Pages' and constant 'x' in filter expression"},
      {"Pages > NULL", "Type mismatch between column 'Pages' and constant 'NULL' in filter expression"},
      {"Raw IS NULL", "Type mismatch between column 'Raw' and constant 'NULL' in filter expression"},
      {"Pages + 1 = JobOwner", "Type mismatch between expression '+' and column 'JobOwner' in filter expression"},
      {"UPPER(JobOwner) = 1", "Type mismatch between function 'UPPER' and constant '1' in filter expression"},
      {"Picture = JobOwner", "Type mismatch between column 'Picture' and column 'JobOwner' in filter expression"},
      {"min(JobOwner) > 1",
       "min aggregate function must contain a numeric, date, time, or timestamp expression in filter expression"},
      {"UPPER(Pages) = ''", "Type mismatch between UPPER function and function argument in filter expression"},
      {"LOWER(Printed) = ''", "Type mismatch between LOWER function and function argument in filter expression"},
      {"SUBSTRING(Pages FROM 1) = ''",
       "Expression argument of SUBSTRING function must be a string or memo in filter expression"},
      {"SUBSTRING(JobOwner FROM Pages) = ''",
       "FROM argument of SUBSTRING function must be an integer constant in filter expression"},
      {"SUBSTRING(JobOwner FROM 0) = ''",
       "FROM argument of SUBSTRING function must be an integer constant greater than 0 in filter expression"},
      {"SUBSTRING(JobOwner FROM 1 FOR 'x') = ''",
       "FOR argument of SUBSTRING function must be an integer constant in filter expression"},
      {"SUBSTRING(JobOwner FROM 1 FOR 0) = ''",
       "FOR argument of SUBSTRING function must be an integer constant greater than 0 in filter expression"},
      {"TRIM(BOTH ' ' FROM Pages) = ''", "FROM argument of TRIM function must be a string or memo in filter expression"},
      {"TRIM(LEADING 'ab' FROM JobOwner) = ''",
       "Trim character argument of TRIM function must be a single character constant in filter expression"},
      {"TRIM(LEADING '' FROM JobOwner) = ''",
       "Trim character argument of TRIM function must be a single character constant in filter expression"},
      {"EXTRACT(YEAR FROM Pages) = 1",
       "FROM argument of EXTRACT function must be a date, time, or timestamp in filter expression"},
      {"POS('a' IN Pages) = 1", "Type mismatch between POS function and IN argument in filter expression"},
      {"POS(JobOwner IN JobOwner) = 1",
       "Search string argument of POS function must be a string constant in filter expression"},
      {"OCCURS('a' IN Pages) = 1", "Type mismatch between OCCURS function and IN argument in filter expression"},
      {"OCCURS(1 IN JobOwner) = 1",
       "Search string argument of OCCURS function must be a string constant in filter expression"},
      {"REPLACE('a' WITH 'b' IN Pages) = ''",
       "IN argument of REPLACE function must be a string or memo in filter expression"},
      {"REPLACE(Pages WITH 'b' IN JobOwner) = ''",
       "Search argument of REPLACE function must be a string constant in filter expression"},
      {"REPLACE('a' WITH JobOwner IN JobOwner) = ''",
       "WITH argument of REPLACE function must be a string constant in filter expression"},
      {"CAST(Document AS INTEGER) = 1", "Type mismatch between column 'Document' and AS argument in filter expression"},
      {"CAST(Pages AS CHAR('x')) = ''", "Length argument must be an integer in filter expression"},
      {"CAST(Pages AS CHAR(0)) = ''",
       "Length argument must be an integer greater than 0 and less than or equal to 250 in filter expression"},
      {"CAST(Pages AS BYTES(251)) = ''",
       "Length argument must be an integer greater than 0 and less than or equal to 250 in filter expression"},
      {"CAST(Pages AS FLOAT(10, 'x')) = 1", "Scale argument must be an integer in filter expression"},
      {"CAST(Pages AS DECIMAL(10, 5)) = 1",
       "Scale argument must be an integer less than or equal to 4 for the BCD data type filter expression"},
      {"CAST(Document AS BLOB('x', 1)) = ''",
       "First BLOB type argument must be an integer with the value of 1 in filter expression"},
      {"CAST(Document AS BLOB(1, 'x')) = ''", "BLOB type argument must be an integer in filter expression"},
      {"CAST(Document AS BLOB(1, 0)) = ''",
       "BLOB type argument must be an integer greater than 0 and less than or equal to 5 in filter expression"},
      {"CAST(Document AS BLOB(1, 8)) = ''",
       "BLOB type argument must be an integer greater than 0 and less than or equal to 5 in filter expression"},
      {"ABS(JobOwner) = 1",
       "Expression argument of ABS function must be an integer or floating-point type in filter expression"},
      {"ROUND(Pages) = 1", "Expression argument of ROUND function must be a floating-point type in filter expression"},
      {"ROUND(Ratio TO Pages) = 1",
       "Decimal places argument of ROUND function must be an integer constant in filter expression"},
      {"ROUND(Ratio TO 33) = 1",
       "Decimal places argument of ROUND function must be an integer constant between 0 and 32 in filter expression"},
      {"IF(Pages THEN 1 ELSE 2) = 1", "First expression argument of IF function must be a boolean type in filter expression"},
      {"IF(Printed THEN 1 ELSE 2.5) = 1",
       "Type mismatch between second and third IF expression arguments in filter expression"},
      {"Pages LIKE 'x%'", "Type mismatch between LIKE operator and expression 'Pages' in filter expression"},
      {"JobOwner NOT LIKE JobOwner",
       "Constant expression expected after NOT LIKE operator, instead found 'JobOwner' in filter expression"},
      {"JobOwner LIKE 5", "Type mismatch between LIKE operator and expression '5' in filter expression"},
      {"Pages BETWEEN 1 AND Pages",
       "Constant expression expected after BETWEEN operator, instead found 'Pages' in filter expression"},
      {"Pages NOT BETWEEN 1 AND -Pages",
       "Constant expression expected after NOT BETWEEN operator, instead found '-' in filter expression"},
      {"Pages IN (1, 'x')", "Type mismatch between IN operator and expression 'x' in filter expression"},
      {"Pages NOT IN (1 + 2)",
       "Constant expression expected after NOT IN operator, instead found '+' in filter expression"},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckError(c.text, pfExtended | pfAggregates), c.message) << c.text;
}

TEST_F(ExpTypeCheckTest, CastArgumentsWithoutAnOperand) {
  TExpToken node;
  parser.SetText("VARCHAR(12)");
  parser.NextToken();
  ASSERT_TRUE(parser.ParseDataType(&node, 0, false));
  CheckCastArguments(context, &node);
  EXPECT_EQ(node.DataSize, 13);
  TExpToken noLength;
  noLength.DataType = dtBytes;
  CheckCastArguments(context, &noLength);
  EXPECT_EQ(noLength.DataSize, 10);
  FreeTokenTree(node.Second);
}

}  // namespace
