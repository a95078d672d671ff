#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "engCharMaps.h"
#include "engTextCompare.h"
#include "osCodePage.h"
#include "osCollation.h"
#include "osLocaleCaseMap.h"

namespace {

constexpr uint16_t English = 0x0409;
constexpr uint16_t German = 0x0407;

std::string Cp1252(const char* utf8) { return Utf8ToAnsi(1252, utf8); }

// Heap copies sized exactly to the texts: a read past a terminator shows
// under the address sanitizer.
int Compare(uint16_t language, uint16_t sort, const std::string& a, const std::string& b, int length = 0) {
  auto copyA = std::make_unique<char[]>(a.size() + 1), copyB = std::make_unique<char[]>(b.size() + 1);
  std::memcpy(copyA.get(), a.c_str(), a.size() + 1);
  std::memcpy(copyB.get(), b.c_str(), b.size() + 1);
  return CompareKeyText(language, sort, copyA.get(), false, length, copyB.get());
}

TEST(EngineTextCompare, LanguageZeroComparesBytes) {
  const uint8_t low[] = {1, 0x7F}, high[] = {1, 0x80};
  EXPECT_EQ(CompareBytes(low, high, 2, false), -1);
  EXPECT_EQ(CompareBytes(low, high, 2, true), 1);
  EXPECT_EQ(CompareBytes(nullptr, high, 2, false), 1);

  EXPECT_EQ(Compare(0, 0, "B", "a"), -1);
  EXPECT_EQ(Compare(0, 0, "ab", "abc"), -1);
  EXPECT_EQ(Compare(0, 0, "abcX", "abcY", 3), 0);
  EXPECT_EQ(Compare(0, 0, "ab", "ab", 200), 0);
  EXPECT_EQ(Compare(0, 0, std::string(300, 'x') + "a", std::string(300, 'x') + "b"), -1);

  // Case-insensitive comparisons leave their inputs as they were.
  const char a[] = "\xC3\xA9" "cole", b[] = "\xC3\x89" "COLE";
  EXPECT_EQ(CompareKeyText(0, 0, a, true, 0, b), 0);
  EXPECT_STREQ(a, "\xC3\xA9" "cole");
  const char c[] = "abcd", d[] = "ABCE";
  EXPECT_EQ(CompareKeyText(0, 0, c, true, 3, d), 0);
  EXPECT_EQ(CompareKeyText(0, 0, c, true, 0, d), -1);
  EXPECT_STREQ(c, "abcd");

  // Long texts, two-byte characters straddling every piece boundary.
  std::string lower, upper;
  for (int i = 0; i < 301; ++i) {
    lower += i % 2 ? "\xC3\xA9" : "x";
    upper += i % 2 ? "\xC3\x89" : "X";
  }
  EXPECT_EQ(CompareKeyText(0, 0, lower.c_str(), true, 0, upper.c_str()), 0);
  EXPECT_EQ(CompareKeyText(0, 0, (lower + "a").c_str(), true, 0, (upper + "B").c_str()), -1);
  EXPECT_EQ(CompareKeyText(0, 0, (lower + "b").c_str(), true, int(lower.size()), (upper + "A").c_str()), 0);
}

TEST(EngineTextCompare, LanguagesCollateIgnoringAccents) {
  EXPECT_EQ(Compare(English, 0, "a", "B"), -1);
  EXPECT_EQ(Compare(English, 0, "apple", "Apple"), -1);
  EXPECT_EQ(Compare(English, 0, Cp1252("caf\u00e9"), "cafe"), 0);
  char a[] = "abc", b[] = "ABC";
  EXPECT_EQ(CompareKeyText(English, 0, a, true, 0, b), 0);
  EXPECT_STREQ(a, "abc");

  EXPECT_EQ(Compare(German, 0, Cp1252("M\u00fcller"), "Muller"), 0);
  EXPECT_EQ(Compare(German, 1, Cp1252("M\u00fcller"), "Mueller"), 0);
  EXPECT_EQ(Compare(German, 0, Cp1252("M\u00fcller"), "Mueller"), 1);

  EXPECT_EQ(CompareChar(English, 0, 'e', char(0xE9)), 0);
  EXPECT_NE(CompareChar(English, 0, 'e', 'E'), 0);
  EXPECT_EQ(CompareChar(0, 0, 'e', char(0xE9)), -1);
}

TEST(EngineTextCompare, CaseMappingKeepsLengths) {
  char text[] = "gr\xC3\xBC\xC3\x9F" "e";
  char out[sizeof text];
  UpperText(0, 0, text, out);
  EXPECT_STREQ(out, "GR\xC3\x9C\xC3\x9F" "E");
  LowerText(0, 0, out, out);
  EXPECT_STREQ(out, text);

  std::string german = Cp1252("\u00fcber");
  UpperText(German, 0, german.data(), german.data());
  EXPECT_EQ(german, Cp1252("\u00dcBER"));
  UpperText(0x0411, 0, "abc", out);
  EXPECT_STREQ(out, "abc");
}

// Language 0 maps plain ASCII texts on a short way of its own: every
// ASCII character must come out as the locale's mapping gives it, alone
// and beside characters that take the general way.
TEST(EngineTextCompare, LanguageZeroCasesAsciiAsTheLocaleDoes) {
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii.push_back(char(c));
  for (const uint32_t flags : {LCMAP_UPPERCASE, LCMAP_LOWERCASE}) {
    SCOPED_TRACE(flags);
    std::string expected(ascii.size() + 1, '\0');
    ASSERT_EQ(LCMapStringUtf8(English, flags, ascii.c_str(), int(ascii.size() + 1), expected.data(), int(expected.size())),
              int(expected.size()));
    std::string mapped(ascii.size() + 1, '\0');
    if (flags == LCMAP_UPPERCASE) UpperText(0, 0, ascii.c_str(), mapped.data());
    else LowerText(0, 0, ascii.c_str(), mapped.data());
    EXPECT_EQ(mapped, expected);
  }
  char mixed[] = "abc \xC3\xA9 xyz";
  UpperText(0, 0, mixed, mixed);
  EXPECT_STREQ(mixed, "ABC \xC3\x89 XYZ");
}

TEST(EngineCharMaps, MapsListBytesInSortOrder) {
  TCharMap map;
  GetCharMap(0, 0, map);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(map[i], i);

  TLanguageCharMapsList list;
  TCharMap again;
  list.GetCharMap(German, 1, map);
  list.GetCharMap(German, 1, again);
  EXPECT_EQ(std::memcmp(map, again, sizeof map), 0);
  auto position = [&](char c) { return std::find(std::begin(map), std::end(map), uint8_t(c)) - std::begin(map); };
  EXPECT_LT(position('1'), position('a'));
  EXPECT_LT(position('a'), position('B'));
  for (int i = 1; i < 256; ++i) {
    const char lower = char(map[i - 1]), higher = char(map[i]);
    EXPECT_NE(CompareStringA(0x10407, SORT_STRINGSORT, &lower, 1, &higher, 1), CSTR_GREATER_THAN) << i;
  }
  std::sort(std::begin(map), std::end(map));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(map[i], i);
}

}  // namespace
