#include "raScriptTestSupport.h"
#include "raExpression.h"

namespace {

struct TResultCase {
  const char* Expression;
  TVarType Kind;  // varInteger for an Integer result, varDouble for extended
  const char* Text;
};

class OperatorResultTest : public testing::TestWithParam<TResultCase> {};

TEST_P(OperatorResultTest, FollowsTheIntegerAndExtendedRule) {
  const Variant result = raEvaluate(GetParam().Expression);
  EXPECT_EQ(result.VarType(), GetParam().Kind) << GetParam().Expression;
  EXPECT_EQ(result.AsString(), GetParam().Text) << GetParam().Expression;
}

INSTANTIATE_TEST_SUITE_P(
    Values, OperatorResultTest,
    testing::Values(TResultCase{"7 div 0", varInteger, "0"}, TResultCase{"7 / 0", varInteger, "0"},
                    TResultCase{"7 mod 0", varInteger, "0"}, TResultCase{"1 / 4", varDouble, "0.25"},
                    TResultCase{"8 / 4", varInteger, "2"}, TResultCase{"3 + 0.5", varDouble, "3.5"},
                    TResultCase{"2.5 + 0.5", varInteger, "3"}, TResultCase{"2.5 * 2", varInteger, "5"},
                    TResultCase{"-7 div 2", varInteger, "-3"}, TResultCase{"-7 mod 2", varInteger, "-1"},
                    TResultCase{"7.9 div 2", varInteger, "3"},
                    // Whole results beyond the Integer range stay extended.
                    TResultCase{"2147483647 + 1", varDouble, "2147483648"},
                    TResultCase{"-2147483647 - 2", varDouble, "-2147483649"},
                    TResultCase{"65536 * 65536", varDouble, "4294967296"},
                    TResultCase{"(-2147483647 - 1) div -1", varDouble, "2147483648"},
                    TResultCase{"(-2147483647 - 1) mod -1", varInteger, "0"},
                    TResultCase{"-(-2147483647 - 1)", varDouble, "2147483648"},
                    TResultCase{"+2.0", varDouble, "2"}, TResultCase{"-2.0", varInteger, "-2"}));

struct TTextCase {
  const char* Declarations;
  const char* Body;
  const char* Variable;
  const char* Text;
};

class AssignmentTest : public testing::TestWithParam<TTextCase> {};

TEST_P(AssignmentTest, ConvertsByTheTable) {
  EXPECT_EQ(raRunBlock(GetParam().Declarations, GetParam().Body, GetParam().Variable), GetParam().Text) << GetParam().Body;
}

INSTANTIATE_TEST_SUITE_P(
    Values, AssignmentTest,
    testing::Values(TTextCase{"c: Currency;", "c := 1.23456;", "c", "1.2346"},
                    TTextCase{"c: Currency;", "c := 2 / 3;", "c", "0.6667"},
                    TTextCase{"d: Date;", "d := 0;", "d", ""},
                    TTextCase{"d: Date;", "d := 45000;", "d", "2023-03-15"},
                    TTextCase{"i: Integer;", "i := 7.9;", "i", "7"},
                    TTextCase{"i: Integer;", "i := -7.9;", "i", "-7"},
                    TTextCase{"e: Extended;", "e := 1 / 3;", "e", "0.333333333333333333"},
                    TTextCase{"s: Single;", "s := 1 / 3;", "s", "0.33333334"},
                    TTextCase{"s: Single; b: Boolean;", "s := 1.0e300 * 10; b := s > 1.0e38;", "b", "True"},
                    TTextCase{"ch: Char;", "ch := 'xyz';", "ch", "x"},
                    TTextCase{"s: String; ch: Char;", "ch := 'a'; s := ch + 'bc';", "s", "ab"},
                    TTextCase{"v: Variant; i: Integer;", "v := 5; i := v + 1;", "i", "6"},
                    TTextCase{"v: Variant;", "v := 'ab'; v := v + 'cd';", "v", "abcd"},
                    TTextCase{"v: Variant;", "v := 7; v := v / 0;", "v", "0"},
                    TTextCase{"v: Variant;", "v := 1073741824; v := v * v * -8; v := -v;", "v", "9.22337203685478E18"},
                    TTextCase{"v: Variant; s: String;", "v := Null; s := v;", "s", ""},
                    TTextCase{"b: Boolean;", "b := 'abc' < 'abd';", "b", "True"},
                    TTextCase{"b: Boolean;", "b := 'a' = 'A';", "b", "False"},
                    TTextCase{"b: Boolean;", "b := not (1 > 2) and (2 >= 2);", "b", "True"},
                    TTextCase{"i: Integer;", "i := clHightlightText;", "i", "-2147483634"},
                    TTextCase{"i: Integer;", "i := CLNAVY;", "i", "8388608"},
                    TTextCase{"s: String;", "s := dtReportTextFile;", "s", "ReportTextFile"},
                    TTextCase{"b: Boolean;", "b := true;", "b", "True"}));

TEST(Values, ConversionsThatTheTableRefuses) {
  TraIntegerValue integer(3);
  EXPECT_FALSE(integer.SetValue(TraStringValue("12")));
  EXPECT_EQ(integer.Value, 3);
  TraDateValue date(10);
  EXPECT_FALSE(date.SetValue(TraTimeValue(0.5)));
  EXPECT_TRUE(date.SetValue(TraDateTimeValue(20.5)));
  TraStringValue text;
  EXPECT_FALSE(text.SetValue(TraIntegerValue(1)));
  TraBooleanValue boolean;
  EXPECT_FALSE(boolean.SetValue(TraIntegerValue(1)));
  TraCurrencyValue currency;
  ASSERT_TRUE(currency.SetValue(TraExtendedValue(1.23456L)));
  EXPECT_EQ(currency.Value.Scaled, 12346);
  // A string assigned to an Integer variable does not compile.
  EXPECT_EQ(raFirstError(*raCompileBlock("i: Integer;", "i := '12';")), std::to_string(raIncompatibleTypes));
}

TEST(Values, NumbersOutsideTheTargetsRangeAreAScriptError) {
  for (const char* body : {"i := 1.0e10;", "i := -2147483649.0;", "e := 1.0e300 * 1.0e300; i := e;"}) {
    auto program = raCompileBlock("i: Integer; e: Extended;", body);
    ASSERT_FALSE(program->HasErrors()) << body;
    EXPECT_THROW(program->Execute(), EScriptError) << body;
  }
  for (const char* body : {"c := 1.0e30;", "d := 1.0e300;", "d := -700000;", "DecodeDate(3000000, i, i, i);"}) {
    auto program = raCompileBlock("c: Currency; d: DateTime; i: Integer;", body);
    ASSERT_FALSE(program->HasErrors()) << body;
    EXPECT_THROW(program->Execute(), EScriptError) << body;
  }
}

TEST(Values, FreshValuesAndBuiltInConstants) {
  EXPECT_EQ(raNewValue(daInteger)->GetText(), "0");
  EXPECT_EQ(raNewValue(daChar)->GetText(), " ");
  EXPECT_EQ(raNewValue(daBoolean)->GetText(), "False");
  EXPECT_EQ(raNewValue(daUnknown), nullptr);
  EXPECT_EQ(raBuiltInConstant("clnone")->GetText(), "536870911");
  EXPECT_EQ(raBuiltInConstant("clHighlightText"), nullptr);
  EXPECT_EQ(raBuiltInConstant("null")->DataType(), daVariant);
  EXPECT_EQ(raBuiltInConstant("NIL")->DataType(), daObject);
  EXPECT_EQ(raBuiltInConstant("nil")->GetText(), "nil");
}

TEST(Values, SubrangeTestsMembershipAsIntegers) {
  TraSubrangeValue range(std::make_unique<TraIntegerValue>(1), std::make_unique<TraIntegerValue>(3));
  for (auto [x, inside] : {std::pair{0, false}, {1, true}, {3, true}, {4, false}}) {
    bool result;
    ASSERT_TRUE(range.Compare(TraIntegerValue(x), ttEqual, result));
    EXPECT_EQ(result, inside) << x;
  }
}

}  // namespace
