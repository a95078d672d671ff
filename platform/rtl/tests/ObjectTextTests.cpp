#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "rtlExtended.h"
#include "rtlObjectText.h"
#include "rtlParser.h"
#include "rtlReader.h"
#include "rtlStreamTestSupport.h"
#include "rtlTestFolder.h"

namespace {

// Text to binary to text must give the same bytes back.
void ExpectRoundTrip(const std::string& text) {
  EXPECT_EQ(BinaryToText(TextToBinary(text)), text);
}

std::string ParseError(const std::string& text) {
  try {
    TextToBinary(text);
  } catch (const EParserError& e) {
    return e.Message;
  }
  return "(no EParserError)";
}

}  // namespace

TEST(ObjectText, StringsQuoteControlCharactersAndSplitLongTextsOnCharacterBoundaries) {
  ExpectRoundTrip(
      "object A: TX\r\n"
      "  Empty = ''\r\n"
      "  Quote = 'It''s'\r\n"
      "  Lines = 'one'#13#10'two'#9\r\n"
      "  Only = #0\r\n"
      "  Utf8 = 'Grüße'\r\n"
      "end\r\n");
  // 70 bytes: cut after 64, the property's value on lines of its own.
  const std::string longText = std::string(60, 'a') + "éééé" + "bb";
  const std::string expected =
      "object A: TX\r\n"
      "  Caption = \r\n"
      "    '" + std::string(60, 'a') + "éé' +\r\n"
      "    'éébb'\r\n"
      "end\r\n";
  EXPECT_EQ(BinaryToText(TextToBinary("object A: TX\r\n  Caption = '" + longText + "'\r\nend\r\n")), expected);
  ExpectRoundTrip(expected);
  // Pieces of a long list item stay at the item's indentation.
  ExpectRoundTrip(
      "object A: TX\r\n"
      "  Items = (\r\n"
      "    '" + std::string(64, 'x') + "' +\r\n"
      "    'y'\r\n"
      "    'z')\r\n"
      "end\r\n");
  // Wide strings read from older streams come out as UTF-8.
  const std::string wide = std::string("TPF0") + "\x02TX" + "\x01" "A" + "\x01S" + "\x12" +
                           std::string("\x02\0\0\0\xE9\0\x3B\x26", 8) + std::string("\0\0", 2);
  EXPECT_EQ(BinaryToText(wide), "object A: TX\r\n  S = 'é☻'\r\nend\r\n");
}

TEST(ObjectText, NumbersKeepTheirKindAndValueWhateverTheirSize) {
  ExpectRoundTrip(
      "object A: TX\r\n"
      "  I8 = -128\r\n"
      "  I16 = 32767\r\n"
      "  I32 = -2147483648\r\n"
      "  I64 = 9223372036854775807\r\n"
      "  F = 1.5\r\n"
      "  Tiny = 1e-4000\r\n"
      "  Huge = 1.18e+4000\r\n"
      "  NegZero = -0.0\r\n"
      "  S = 0.1s\r\n"
      "  C = -922337203685477.5808c\r\n"
      "  C2 = 0.0001c\r\n"
      "  D = 45352.25d\r\n"
      "end\r\n");
  // Another spelling keeps the value but takes the written form.
  EXPECT_EQ(BinaryToText(TextToBinary("object A: TX\r\n  F = 1.50\r\n  H = $FF\r\n  C = 12.34567c\r\nend\r\n")),
            "object A: TX\r\n  F = 1.5\r\n  H = 255\r\n  C = 12.3457c\r\nend\r\n");
  EXPECT_EQ(ParseError("object A: TX\r\n  I = 9223372036854775808\r\nend\r\n"), "Number expected on line 2");
  EXPECT_EQ(ParseError("object A: TX\r\n  C = 922337203685477.5808c\r\nend\r\n"), "Number expected on line 2");
}

TEST(ObjectText, SetsListsCollectionsAndBinaryData) {
  ExpectRoundTrip(
      "object A: TX\r\n"
      "  Style = [fsBold, fsItalic]\r\n"
      "  None = []\r\n"
      "  Empty = ()\r\n"
      "  Nested = (\r\n"
      "    1\r\n"
      "    (\r\n"
      "      'two'\r\n"
      "      True)\r\n"
      "    nil)\r\n"
      "  Columns = <\r\n"
      "    item\r\n"
      "      Width = 10\r\n"
      "      Title.Caption = 'Job'\r\n"
      "    end\r\n"
      "    item [3]\r\n"
      "    end>\r\n"
      "  NoItems = <>\r\n"
      "  NoData = {}\r\n"
      "  Data = {\r\n"
      "    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\r\n"
      "    2021}\r\n"
      "  Link = Form1.Table1\r\n"
      "  Flag = False\r\n"
      "  Nothing = Null\r\n"
      "end\r\n");
}

TEST(ObjectText, ObjectHeadersCarryFlagsPositionsAndOptionalNames) {
  ExpectRoundTrip(
      "object TX\r\n"
      "  inherited Child1: TY\r\n"
      "  end\r\n"
      "  inline Frame1: TZ [2]\r\n"
      "    object Inner: TX [0]\r\n"
      "    end\r\n"
      "  end\r\n"
      "end\r\n");
  // Any white space and line ends are accepted on input.
  EXPECT_EQ(BinaryToText(TextToBinary("object A:TX\n\tP=1 end")), "object A: TX\r\n  P = 1\r\nend\r\n");
}

TEST(ObjectText, ParseErrorsNameTheReasonAndTheLine) {
  EXPECT_EQ(ParseError(""), "'object' expected on line 1");
  EXPECT_EQ(ParseError("object A: TX\r\n  P 1\r\nend\r\n"), "'=' expected on line 2");
  EXPECT_EQ(ParseError("object A: TX\r\n  P = 'open\r\nend\r\n"), "Invalid string constant on line 2");
  EXPECT_EQ(ParseError("object A: TX\r\n  P = {0G}\r\nend\r\n"), "Invalid binary value on line 2");
  EXPECT_EQ(ParseError("object A: TX\r\n  P = [a b]\r\nend\r\n"), "']' expected on line 2");
  EXPECT_EQ(ParseError("object A: TX\r\n\r\n  P = <\r\n  x>\r\nend\r\n"), "'item' expected on line 4");
  EXPECT_EQ(ParseError("object A: TX\r\n  P = ="), "Invalid property value on line 2");
  EXPECT_EQ(ParseError("object A: TX\r\n  P = 1\r\n"), "Identifier expected on line 3");
}

TEST(ObjectText, FloatsWithoutATextFormAreRefused) {
  std::string binary = TextToBinary("object A: TX\r\n  F = 1.5\r\nend\r\n");
  const size_t at = binary.find('\x05', 10) + 1;  // the extended value
  binary.replace(at, 10, std::string("\0\0\0\0\0\0\0\x80\xFF\x7F", 10));  // infinity
  EXPECT_THROW(BinaryToText(binary), EReadError);
}

TEST(ExtendedFloat, ConvertsBitForBitBothWays) {
  struct TCase {
    long double value;
    TExtendedBytes bytes;
  };
  const TCase cases[] = {
      {1.0L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
      {-2.5L, {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0}},
      {0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {-0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}},
      {HUGE_VALL, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
      {0.1L, {0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(LongDoubleToExtended(c.value), c.bytes) << static_cast<double>(c.value);
    const long double back = ExtendedToLongDouble(c.bytes);
    EXPECT_EQ(back, c.value);
    EXPECT_EQ(std::signbit(back), std::signbit(c.value));
  }
  EXPECT_TRUE(std::isnan(ExtendedToLongDouble(LongDoubleToExtended(std::nanl("")))));
  // The smallest denormal and the largest finite value survive.
  const TExtendedBytes smallest = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(LongDoubleToExtended(ExtendedToLongDouble(smallest)), smallest);
  const TExtendedBytes largest = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x7F};
  EXPECT_EQ(LongDoubleToExtended(ExtendedToLongDouble(largest)), largest);
}

TEST(ObjectText, FloatsConvertTheSameUnderACommaDecimalSeparator) {
  // A German locale of our own making, switched on process-wide.
  TTestFolder scratch;
  const std::filesystem::path folder = scratch.Path();
  const std::string make = "localedef -i de_DE -f UTF-8 " + (folder / "de_DE.UTF-8").string() + " >/dev/null 2>&1";
  const std::string previous = setlocale(LC_ALL, nullptr);
  if (std::system(make.c_str()) != 0 || setenv("LOCPATH", folder.c_str(), 1) != 0 ||
      setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "no de_DE locale can be made here";
  }
  const std::string separator = localeconv()->decimal_point;
  const std::string text =
      "object A: TX\r\n  F = 1.5\r\n  S = 0.25s\r\n  C = 12.5c\r\n  D = 45352.5d\r\n  E = 1.5e-10\r\nend\r\n";
  std::string converted;
  long double value = 0;
  try {
    converted = BinaryToText(TextToBinary(text));
    TStringStream in(TextToBinary(text));
    TReader reader(in);
    reader.ReadSignature();
    reader.ReadStr();
    reader.ReadStr();
    reader.ReadStr();
    value = reader.ReadFloat();
  } catch (...) {
  }
  setlocale(LC_ALL, previous.c_str());
  unsetenv("LOCPATH");
  EXPECT_EQ(separator, ",");
  EXPECT_EQ(converted, text);
  EXPECT_EQ(value, 1.5L);
}
