#include <gtest/gtest.h>

#include <cmath>

#include "rtlConvert.h"
#include "rtlExceptions.h"
#include "rtlStrUtils.h"

namespace {

template <typename Call>
std::string ConvertErrorOf(Call call) {
  try {
    call();
  } catch (const EConvertError& e) {
    return e.Message;
  }
  return "no error";
}

}  // namespace

TEST(Convert, Integers) {
  EXPECT_EQ("-9223372036854775808", IntToStr(INT64_MIN));
  EXPECT_EQ("00FF|FFFFFFFF|FFFFFFFFFFFFFFFF", IntToHex(255, 4) + "|" + IntToHex(-1, 2) + "|" + IntToHex(int64_t{-1}, 2));
  EXPECT_EQ(-12, StrToInt("  -12"));
  EXPECT_EQ(255, StrToInt("$FF"));
  EXPECT_EQ(-1, StrToInt("0xFFFFFFFF"));
  EXPECT_EQ(INT32_MIN, StrToInt("-2147483648"));
  EXPECT_EQ(INT64_MAX, StrToInt64("9223372036854775807"));
  EXPECT_EQ(7, StrToIntDef("2147483648", 7));
  EXPECT_EQ(7, StrToIntDef("12 ", 7));
  EXPECT_EQ(7, StrToIntDef("", 7));
  EXPECT_EQ(7, StrToIntDef("--1", 7));
  EXPECT_EQ(7, StrToIntDef("$1FFFFFFFF", 7));
  int64_t big;
  EXPECT_FALSE(TryStrToInt64("9223372036854775808", big));
  EXPECT_EQ("'1x' is not a valid integer value", ConvertErrorOf([] { StrToInt("1x"); }));
}

TEST(Convert, FloatToText) {
  EXPECT_EQ("0.3", FloatToStr(0.1 + 0.2));
  EXPECT_EQ("0.30000000000000004", FloatToStrF(0.1 + 0.2, ffGeneral, 17, 0));
  EXPECT_EQ("1E15|123456789012345|0.00001|1E-6", FloatToStr(1e15) + "|" + FloatToStr(123456789012345.0) + "|" +
                                                     FloatToStr(0.00001) + "|" + FloatToStr(0.000001));
  EXPECT_EQ("-1.5|0|INF|NAN", FloatToStr(-1.5) + "|" + FloatToStr(0.0) + "|" + FloatToStr(INFINITY) + "|" +
                                  FloatToStr(NAN));
  EXPECT_EQ("1.2346E+03", FloatToStrF(1234.56, ffExponent, 5, 2));
  EXPECT_EQ("0.13|1.01|0.00", FloatToStrF(0.125, ffFixed, 15, 2) + "|" + FloatToStrF(1.005, ffFixed, 15, 2) + "|" +
                                  FloatToStrF(-0.001, ffFixed, 15, 2));
  EXPECT_EQ("1,000,000.0", FloatToStrF(1e6, ffNumber, 15, 1));
  // More integer digits than the precision allows: general form.
  EXPECT_EQ("1E20", FloatToStrF(1e20, ffFixed, 15, 2));
}

TEST(Convert, CurrencyText) {
  EXPECT_EQ("-922337203685477.5808", CurrToStr(Currency::FromScaled(INT64_MIN)));
  // Ties go to the even last digit, anything above a tie goes up.
  EXPECT_EQ("12.3456|12.3456|12.3458|12.3457", CurrToStr(StrToCurr("12.34565")) + "|" +
                                                   CurrToStr(StrToCurr("12.34555")) + "|" +
                                                   CurrToStr(StrToCurr("12.34575")) + "|" +
                                                   CurrToStr(StrToCurr("12.345650001")));
  EXPECT_EQ("1500", CurrToStr(StrToCurr("1.5E3")));
  EXPECT_EQ(Currency::FromScaled(0), StrToCurr("0.00001"));
  EXPECT_EQ(Currency::FromScaled(INT64_MIN), StrToCurr("-922337203685477.5808"));
  Currency c;
  EXPECT_FALSE(TryStrToCurr("922337203685477.5808", c));
  EXPECT_FALSE(TryStrToCurr("1e30", c));
  EXPECT_EQ(Currency::FromScaled(25000), Currency::FromDouble(2.5));
  EXPECT_THROW(Currency::FromDouble(1e300), EConvertError);
}

TEST(Convert, TextToFloat) {
  EXPECT_DOUBLE_EQ(-1.5e3, StrToFloat(" -1.5E+3 "));
  EXPECT_DOUBLE_EQ(0.5, StrToFloat(".5"));
  EXPECT_DOUBLE_EQ(5, StrToFloat("5."));
  EXPECT_EQ(0.0, StrToFloat("1e-400"));
  double value;
  for (const char* bad : {"", ".", "1e", "1,5", "1.5.2", "1 5", "e5", "1e400", "nan"})
    EXPECT_FALSE(TryStrToFloat(bad, value)) << bad;
  EXPECT_EQ("'abc' is not a valid floating point value", ConvertErrorOf([] { StrToFloat("abc"); }));
}

TEST(Convert, GermanRules) {
  TFormatSettings german = FormatSettingsForLanguage(0x0407);
  EXPECT_DOUBLE_EQ(1234.5, StrToFloat("1234,5", german));
  double value;
  EXPECT_FALSE(TryStrToFloat("1234.5", value, german));
  EXPECT_EQ("1234,5", FloatToStr(1234.5, german));
  EXPECT_EQ("1.234,50 €", CurrToStrF(StrToCurr("1234,5", german), ffCurrency, 2, german));
  EXPECT_EQ("1.234.567,89", FormatFloat("#,##0.00", 1234567.891, german));
}

TEST(Convert, FormatFloatPictures) {
  EXPECT_EQ("1234.57|0.00|-12.50", FormatFloat("##############0.00", 1234.5678) + "|" +
                                       FormatFloat("##############0.00", 0.0) + "|" +
                                       FormatFloat("##############0.00", -12.5));
  EXPECT_EQ("1,234,567", FormatFloat("#,##0", 1234567.4));
  EXPECT_EQ("1234.568|12.5|0", FormatFloat("0.###", 1234.5678) + "|" + FormatFloat("0.###", 12.5) + "|" +
                                   FormatFloat("0.###", 0.0001));
  EXPECT_EQ(".5|", FormatFloat("#.##", 0.5) + "|" + FormatFloat("#.##", 0.0));
  EXPECT_EQ("0012|12-35", FormatFloat("0000", 12.0) + "|" + FormatFloat("00-00", 1234.5));
  EXPECT_EQ("1.23E+03|4.00E-03|1.2e5", FormatFloat("0.00E+00", 1234.5) + "|" + FormatFloat("0.00E+00", 0.004) + "|" +
                                           FormatFloat("0.0e-0", 123456.0));
  const std::string sections = "'$'#,##0.00;('$'#,##0.00);'nothing'";
  EXPECT_EQ("$1,234.50|($5.00)|nothing|nothing", FormatFloat(sections, 1234.5) + "|" + FormatFloat(sections, -5.0) +
                                                    "|" + FormatFloat(sections, 0.0) + "|" +
                                                    FormatFloat(sections, -0.001));
  // A negative value that rounds to zero shows no sign.
  EXPECT_EQ("0.0", FormatFloat("0.0", -0.01));
  EXPECT_EQ("-0.5", FormatFloat("0.0;", -0.5));
  EXPECT_EQ("1.5", FormatFloat("", 1.5));
}

TEST(StrUtils, TrimCaseCompareReplace) {
  EXPECT_EQ("a b", Trim("\t a b \r\n"));
  EXPECT_EQ("a  ", TrimLeft("  a  "));
  EXPECT_EQ("  a", TrimRight("  a  "));
  EXPECT_EQ("ABC-Ä", UpperCase("abc-Ä"));
  EXPECT_EQ("abc-ä", LowerCase("ABC-ä"));
  EXPECT_EQ(0, CompareText("Hello", "hELLO"));
  EXPECT_LT(CompareText("a", "B"), 0);
  EXPECT_LT(AnsiCompareText("ab", "abc"), 0);
  EXPECT_GT(CompareText("é", "z"), 0);  // bytes beyond ASCII compare as they are
  EXPECT_TRUE(SameText("File.DAT", "file.dat"));
  EXPECT_FALSE(SameText("a", "a "));
  EXPECT_EQ("x hello HELLO", StringReplace("hello hello HELLO", "hello", "x", 0));
  EXPECT_EQ("x x x", StringReplace("hello hello HELLO", "HeLLo", "x", rfReplaceAll | rfIgnoreCase));
  EXPECT_EQ("aaaa", StringReplace("aa", "a", "aa", rfReplaceAll));
  EXPECT_EQ("abc", StringReplace("abc", "", "x", rfReplaceAll));
}
