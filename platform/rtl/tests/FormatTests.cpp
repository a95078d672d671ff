#include <gtest/gtest.h>

#include "rtlExceptions.h"
#include "rtlFormat.h"
#include "rtlFormatSettings.h"

namespace {

std::string InvalidText(const std::string& fmt) { return "Format '" + fmt + "' invalid or incompatible with argument"; }

void ExpectInvalid(const std::string& fmt, std::initializer_list<TVarRec> args) {
  try {
    Format(fmt, args);
    FAIL() << fmt << " formatted";
  } catch (const EConvertError& e) {
    EXPECT_EQ(InvalidText(fmt), e.Message);
  }
}

}  // namespace

TEST(Format, WholeNumbers) {
  EXPECT_EQ("42|   -3|7    |-00012", Format("%d|%5d|%-5d|%.5d", {42, -3, 7, -12}));
  EXPECT_EQ("4294967295|18446744073709551615", Format("%u|%u", {-1, int64_t{-1}}));
  EXPECT_EQ("FF|000A|FFFFFFFF|FFFFFFFFFFFFFFFF", Format("%x|%.4x|%X|%x", {255, 10, -1, int64_t{-1}}));
  EXPECT_EQ("-9223372036854775808", Format("%d", {INT64_MIN}));
  EXPECT_EQ("18446744073709551615", Format("%d", {UINT64_MAX}));
  EXPECT_EQ("1", Format("%d", {true}));
}

TEST(Format, Floats) {
  EXPECT_EQ("1.23456789000000E+003", Format("%e", {1234.56789}));
  EXPECT_EQ("1.23E+003|-5.0E-007", Format("%.3e|%.2e", {1234.56789, -5e-7}));
  EXPECT_EQ("0.3|1E20|1E-6|0.00001|1234.5", Format("%g|%g|%g|%g|%g", {0.1 + 0.2, 1e20, 1e-6, 1e-5, 1234.5}));
  EXPECT_EQ("1.2346", Format("%.5g", {1.23456}));
  EXPECT_EQ("2.68|1.001|-3.00|0", Format("%f|%.3f|%f|%.0f", {2.675, 1.0005, -3.0, 0.4}));
  EXPECT_EQ("1,234,567.89|-1,000", Format("%n|%.0n", {1234567.891, -1000.0}));
  EXPECT_EQ("12.50", Format("%m", {12.5}));
  EXPECT_EQ("0.12", Format("%f", {0.123f}));
}

TEST(Format, CurrencyArgumentsKeepAllDigits) {
  Currency big = Currency::FromScaled(INT64_MAX);
  EXPECT_EQ("922337203685477.58", Format("%f", {big}));
  EXPECT_EQ("-0.0001", Format("%.4f", {Currency::FromScaled(-1)}));
}

TEST(Format, SettingsGiveSeparatorsAndCurrency) {
  TFormatSettings german = FormatSettingsForLanguage(0x0407);
  EXPECT_EQ("1.234,50 €|-1.234,50 €|1,5", Format("%m|%m|%g", {1234.5, -1234.5, 1.5}, german));
  TFormatSettings english = FormatSettingsForLanguage(0x0409);
  EXPECT_EQ("$1,234.50|($0.50)", Format("%m|%m", {1234.5, -0.5}, english));
}

TEST(Format, Strings) {
  std::string name = "world";
  EXPECT_EQ("hello world!", Format("hello %s!", {name}));
  EXPECT_EQ("[  abc][abc  ][ab][x]", Format("[%5s][%-5S][%.2s][%s]", {"abc", "abc", "abc", 'x'}));
  // Width and precision count UTF-8 characters, and cutting keeps them whole.
  EXPECT_EQ("[ äö][ä]", Format("[%3s][%.1s]", {"äö", "äö"}));
  EXPECT_EQ("100%", Format("%d%%", {100}));
  EXPECT_EQ("", Format("", {}));
}

TEST(Format, IndexesAndStars) {
  EXPECT_EQ("b a b", Format("%1:s %0:s %s", {"a", "b"}));
  EXPECT_EQ("   42|42   |007", Format("%*d|%-*d|%.*d", {5, 42, 5, 42, 3, 7}));
  EXPECT_EQ("x:   y", Format("%0:s:%1:*s", {"x", 4, "y"}));
}

TEST(Format, Pointers) {
  int value = 0;
  std::string text = Format("%p", {static_cast<const void*>(&value)});
  EXPECT_EQ(2 * sizeof(void*), text.size());
  EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST(Format, MismatchesAndMissingArgumentsRaise) {
  ExpectInvalid("%d", {1.5});
  ExpectInvalid("%f", {1});
  ExpectInvalid("%s", {3});
  ExpectInvalid("%d", {'c'});
  ExpectInvalid("%p", {1});
  ExpectInvalid("%d %d", {1});
  ExpectInvalid("%5:d", {1});
  ExpectInvalid("%*d", {"x", 1});
  ExpectInvalid("%q", {1});
  ExpectInvalid("abc %", {1});
  ExpectInvalid("%.d", {1});
}

TEST(Exceptions, ClassNamesAndMessages) {
  try {
    throw EFOpenError("Cannot open %s", {"x"});
  } catch (const EStreamError& e) {
    EXPECT_STREQ("EFOpenError", e.ClassName());
    EXPECT_EQ("Cannot open x", e.Message);
    EXPECT_STREQ("Cannot open x", e.what());
  }
  EOSError os("denied", 13);
  EXPECT_EQ(13u, os.ErrorCode);
  EXPECT_STREQ("EOSError", os.ClassName());
  try {
    Abort();
  } catch (const Exception& e) {
    EXPECT_STREQ("EAbort", e.ClassName());
  }
}
