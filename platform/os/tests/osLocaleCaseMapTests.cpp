#include <gtest/gtest.h>

#include <string>

#include "osLocaleCaseMap.h"

namespace {

constexpr LCID kEnglish = 0x0409;
constexpr LCID kTurkish = 0x041F;

std::string Mapped(LCID locale, uint32_t flags, const std::string& text, bool utf8 = false) {
  std::string out(text.size(), '\0');
  auto map = utf8 ? LCMapStringUtf8 : LCMapStringA;
  int written = map(locale, flags, text.data(), static_cast<int>(text.size()), out.data(), static_cast<int>(out.size()));
  EXPECT_EQ(written, static_cast<int>(text.size()));
  return out;
}

TEST(osLocaleCaseMap, CodePageMappingKeepsEveryByteInPlace) {
  EXPECT_EQ(Mapped(kEnglish, LCMAP_UPPERCASE, "stra\xDF" "e \xE4\xFF"), "STRA\xDF" "E \xC4\x9F");  // ß stays, ÿ -> Ÿ
  EXPECT_EQ(Mapped(kEnglish, LCMAP_LOWERCASE, "\xC4\xD6\xDC Abc"), "\xE4\xF6\xFC abc");
  EXPECT_EQ(Mapped(kEnglish, LCMAP_UPPERCASE, "\xB5"), "\xB5");  // micro sign: its upper case is not in 1252
  EXPECT_EQ(Mapped(0x0419, LCMAP_UPPERCASE, "\xEF\xF0\xE8\xE2\xE5\xF2"), "\xCF\xD0\xC8\xC2\xC5\xD2");  // привет
  EXPECT_EQ(Mapped(0x0408, LCMAP_UPPERCASE, "\xE1\xE2\xE3"), "\xC1\xC2\xC3");  // αβγ
}

TEST(osLocaleCaseMap, TurkishKeepsDottedAndDotlessIApart) {
  EXPECT_EQ(Mapped(kTurkish, LCMAP_UPPERCASE, "i\xFD"), "\xDDI");  // i -> İ, ı -> I
  EXPECT_EQ(Mapped(kTurkish, LCMAP_LOWERCASE, "I\xDD"), "\xFDi");  // I -> ı, İ -> i
  EXPECT_EQ(Mapped(kEnglish, LCMAP_UPPERCASE, "i"), "I");
  EXPECT_EQ(Mapped(kEnglish, LCMAP_LOWERCASE, "I"), "i");
}

TEST(osLocaleCaseMap, Utf8MappingKeepsLengthPerCharacter) {
  EXPECT_EQ(Mapped(kEnglish, LCMAP_UPPERCASE, "straße äöü привет", true), "STRAßE ÄÖÜ ПРИВЕТ");
  EXPECT_EQ(Mapped(kEnglish, LCMAP_LOWERCASE, "ÄÖÜ ПРИВЕТ ΣΑ", true), "äöü привет σα");
  EXPECT_EQ(Mapped(kEnglish, LCMAP_UPPERCASE, "ıſ", true), "ıſ");        // I and S would be shorter
  EXPECT_EQ(Mapped(kTurkish, LCMAP_UPPERCASE, "iığ", true), "iıĞ");     // İ longer, I shorter
  EXPECT_EQ(Mapped(kEnglish, LCMAP_UPPERCASE, "a\xC3z\xFF", true), "A\xC3Z\xFF");  // broken bytes stay
}

TEST(osLocaleCaseMap, LengthsBuffersAndFailures) {
  char buffer[8] = "abc";
  EXPECT_EQ(LCMapStringA(kEnglish, LCMAP_UPPERCASE, buffer, -1, nullptr, 0), 4);
  EXPECT_EQ(LCMapStringA(kEnglish, LCMAP_UPPERCASE, buffer, -1, buffer, 3), 0);
  EXPECT_EQ(LCMapStringA(kEnglish, LCMAP_UPPERCASE, buffer, -1, buffer, 4), 4);  // in place
  EXPECT_STREQ(buffer, "ABC");
  EXPECT_EQ(LCMapStringUtf8(kEnglish, LCMAP_LOWERCASE, buffer, -1, buffer, sizeof buffer), 4);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(LCMapStringA(kEnglish, LCMAP_UPPERCASE | LCMAP_LOWERCASE, "a", -1, buffer, 8), 0);
  EXPECT_EQ(LCMapStringA(kEnglish, 0, "a", -1, buffer, 8), 0);
  EXPECT_EQ(LCMapStringA(0x0000, LCMAP_UPPERCASE, "a", -1, buffer, 8), 0);
  EXPECT_EQ(LCMapStringA(kEnglish, LCMAP_UPPERCASE, "a", 0, buffer, 8), 0);
  EXPECT_EQ(LCMapStringUtf8(kEnglish, LCMAP_UPPERCASE, nullptr, 1, buffer, 8), 0);
}

}  // namespace
