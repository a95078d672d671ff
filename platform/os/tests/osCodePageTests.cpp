#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "osCodePage.h"
#include "osLocale.h"

namespace {

const unsigned kAnsiPages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

TEST(osCodePage, KnownCharactersOfEachPageConvertBothWays) {
  struct Case {
    unsigned codePage;
    std::string byte;
    std::string utf8;
  };
  const Case cases[] = {
      {1252, "\x80", "€"}, {1252, "\xE9", "é"},  {1252, "\x9F", "Ÿ"}, {1251, "\xE0", "а"}, {1251, "\xC6", "Ж"},
      {874, "\xA1", "ก"},  {874, "\xE0", "เ"},   {1250, "\x8A", "Š"}, {1250, "\xF8", "ř"}, {1253, "\xC1", "Α"},
      {1254, "\xDD", "İ"}, {1254, "\xFD", "ı"},  {1255, "\xE0", "א"}, {1256, "\xC7", "ا"}, {1257, "\xE0", "ą"},
      {1258, "\xD0", "Đ"}, {1258, "\xF2", "\u0323"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToUtf8(c.codePage, c.byte), c.utf8) << c.codePage;
    EXPECT_EQ(Utf8ToAnsi(c.codePage, c.utf8), c.byte) << c.codePage;
  }
}

TEST(osCodePage, EveryByteOfEveryPageRoundTrips) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  for (unsigned page : kAnsiPages) EXPECT_EQ(Utf8ToAnsi(page, AnsiToUtf8(page, all)), all) << page;
  // Undefined bytes: C1 controls below 0xA0, private-use characters above.
  EXPECT_EQ(AnsiToUtf8(1252, "\x81"), "\u0081");
  EXPECT_EQ(AnsiToUtf8(1253, "\xD2"), "\uF7D2");
  EXPECT_EQ(AnsiToUtf8(874, "\xDB"), "\uF8C1");
}

TEST(osCodePage, CharactersThePageCannotHoldBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToAnsi(1252, "a日本b"), "a??b");
  EXPECT_EQ(Utf8ToAnsi(1252, "Жук"), "???");
  EXPECT_EQ(Utf8ToAnsi(1252, "x\xC3"), "x?");         // cut sequence
  EXPECT_EQ(Utf8ToAnsi(1252, "x\xFFy\xE9z"), "x?y?z");  // stray bytes
  EXPECT_EQ(Utf8ToAnsi(1250, "ǎ"), "?");               // no combining caron in 1250
}

TEST(osCodePage, VietnameseLettersSplitIntoBaseAndToneMark) {
  EXPECT_EQ(Utf8ToAnsi(1258, "Việt"), "Vi\xEA\xF2t");  // ê + dot below
  EXPECT_EQ(Utf8ToAnsi(1258, "ấ"), "\xE2\xEC");        // â + acute
  EXPECT_EQ(Utf8ToAnsi(1258, "ả"), "a\xD2");           // a + hook above
  EXPECT_EQ(AnsiToUtf8(1258, "Vi\xEA\xF2t"), "Vi\u00EA\u0323t");
}

TEST(osCodePage, Utf8PassesThroughAndOtherPagesAreRefused) {
  EXPECT_EQ(AnsiToUtf8(CP_UTF8, "Grüße \xFF"), "Grüße \xFF");
  EXPECT_EQ(Utf8ToAnsi(CP_UTF8, "Grüße"), "Grüße");
  EXPECT_THROW(AnsiToUtf8(437, "x"), std::invalid_argument);
  EXPECT_THROW(Utf8ToAnsi(0, "x"), std::invalid_argument);
  EXPECT_EQ(CodePageToUnicode(CP_UTF8), nullptr);
  EXPECT_EQ(UnicodeToCodePageByte(1251, U'я'), 0xFF);
  EXPECT_EQ(UnicodeToCodePageByte(1251, U'é'), -1);
}

TEST(osCodePage, LanguagesTakeTheirWindowsCodePage) {
  const std::pair<LANGID, unsigned> cases[] = {
      {0x0409, 1252}, {0x0407, 1252}, {0x0419, 1251}, {0x0C1A, 1251}, {0x081A, 1250}, {0x0415, 1250},
      {0x041E, 874},  {0x0401, 1256}, {0x0429, 1256}, {0x040D, 1255}, {0x0408, 1253}, {0x041F, 1254},
      {0x0425, 1257}, {0x0427, 1257}, {0x042A, 1258}, {0x0000, CP_UTF8}, {0x0009, 0}, {0x0412, 0},
  };
  for (auto [language, codePage] : cases) EXPECT_EQ(CodePageOfLanguage(language), codePage) << std::hex << language;
}

}  // namespace
