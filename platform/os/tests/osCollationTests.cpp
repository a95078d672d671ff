#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "osCollation.h"

namespace {

constexpr LCID kEnglish = 0x0409;
constexpr LCID kGerman = 0x0407;
constexpr LCID kGermanPhoneBook = 0x10407;
constexpr uint32_t kIgnoreAll = SORT_STRINGSORT | NORM_IGNORECASE | NORM_IGNORENONSPACE;
constexpr uint32_t kKeepCase = SORT_STRINGSORT | NORM_IGNORENONSPACE;

int Compare(LCID locale, uint32_t flags, const std::string& a, const std::string& b) {
  return CompareStringA(locale, flags, a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
}

TEST(osCollation, IgnoringCaseAndAccentsComparesBaseLetters) {
  EXPECT_EQ(Compare(kEnglish, kIgnoreAll, "a", "B"), CSTR_LESS_THAN);
  EXPECT_EQ(Compare(kEnglish, kIgnoreAll, "B", "c"), CSTR_LESS_THAN);
  EXPECT_EQ(Compare(kEnglish, kIgnoreAll, "c", "a"), CSTR_GREATER_THAN);
  EXPECT_EQ(Compare(kEnglish, kIgnoreAll, "Apple", "aPPLE"), CSTR_EQUAL);
  EXPECT_EQ(Compare(kEnglish, kIgnoreAll, "r\xE9sum\xE9", "RESUME"), CSTR_EQUAL);
  EXPECT_EQ(Compare(kEnglish, kIgnoreAll, "a-b", "ab"), CSTR_LESS_THAN);  // string sort: hyphen counts
}

TEST(osCollation, KeepingCaseSeparatesCasesButNotLetters) {
  EXPECT_EQ(Compare(kEnglish, kKeepCase, "a", "A"), CSTR_LESS_THAN);
  EXPECT_EQ(Compare(kEnglish, kKeepCase, "A", "b"), CSTR_LESS_THAN);
  EXPECT_EQ(Compare(kEnglish, kKeepCase, "Ab", "ab"), CSTR_GREATER_THAN);
  EXPECT_EQ(Compare(kEnglish, kKeepCase, "Ab", "ac"), CSTR_LESS_THAN);  // letters decide before case
  EXPECT_EQ(Compare(kEnglish, kKeepCase, "\xE9t\xE9", "ete"), CSTR_EQUAL);
}

TEST(osCollation, StringSortAloneWeighsAccentsThenCase) {
  EXPECT_EQ(Compare(kEnglish, SORT_STRINGSORT, "e", "\xE9"), CSTR_LESS_THAN);
  EXPECT_EQ(Compare(kEnglish, SORT_STRINGSORT, "\xE9", "f"), CSTR_LESS_THAN);
  EXPECT_EQ(Compare(kEnglish, SORT_STRINGSORT, "\xE9", "\xC9"), CSTR_LESS_THAN);
  EXPECT_EQ(Compare(kEnglish, SORT_STRINGSORT | NORM_IGNORECASE, "\xE9", "\xC9"), CSTR_EQUAL);
  EXPECT_EQ(Compare(kEnglish, SORT_STRINGSORT | NORM_IGNORECASE, "e", "\xC9"), CSTR_LESS_THAN);
}

TEST(osCollation, GermanPhoneBookSortsUmlautsAsLetterPlusE) {
  EXPECT_EQ(Compare(kGerman, kIgnoreAll, "M\xFCller", "Muller"), CSTR_EQUAL);
  EXPECT_EQ(Compare(kGerman, kIgnoreAll, "M\xFCller", "Mueller"), CSTR_GREATER_THAN);
  EXPECT_EQ(Compare(kGermanPhoneBook, kIgnoreAll, "M\xFCller", "Mueller"), CSTR_EQUAL);
  EXPECT_EQ(Compare(kGermanPhoneBook, kIgnoreAll, "M\xFCller", "Muller"), CSTR_LESS_THAN);
  EXPECT_EQ(Compare(kGermanPhoneBook, kKeepCase, "\xC4rger", "Aerger"), CSTR_EQUAL);
}

TEST(osCollation, LanguagesPlaceTheirLettersAndReadTheirCodePage) {
  EXPECT_EQ(Compare(0x041D, kIgnoreAll, "z", "\xE5"), CSTR_LESS_THAN);  // Swedish å after z
  EXPECT_EQ(Compare(kEnglish, kIgnoreAll, "z", "\xE5"), CSTR_GREATER_THAN);
  EXPECT_EQ(Compare(0x0406, kIgnoreAll, "z", "\xE6"), CSTR_LESS_THAN);  // Danish æ after z
  EXPECT_EQ(Compare(0x0419, kIgnoreAll, "\xE0", "\xE1"), CSTR_LESS_THAN);  // Russian а < б in 1251
  EXPECT_EQ(Compare(0x0419, kIgnoreAll, "\xC0", "\xE0"), CSTR_EQUAL);     // А = а
  EXPECT_EQ(Compare(0x040A, kIgnoreAll, "cz", "ch"), CSTR_LESS_THAN);     // traditional: ch after c
  EXPECT_EQ(Compare(0x0C0A, kIgnoreAll, "cz", "ch"), CSTR_GREATER_THAN);  // modern: ch is c + h
}

TEST(osCollation, LengthsAndTerminators) {
  EXPECT_EQ(CompareStringA(kEnglish, SORT_STRINGSORT, "abcd", 3, "abc", -1), CSTR_EQUAL);
  EXPECT_EQ(CompareStringA(kEnglish, SORT_STRINGSORT, "abc\0xyz", 7, "abc\0qqq", 7), CSTR_EQUAL);
  EXPECT_EQ(CompareStringA(kEnglish, SORT_STRINGSORT, "", 0, "a", -1), CSTR_LESS_THAN);
  std::string longA(400, 'x'), longB(400, 'x');
  longA += 'a';
  longB += 'b';
  EXPECT_EQ(Compare(kEnglish, SORT_STRINGSORT, longA, longB), CSTR_LESS_THAN);
}

TEST(osCollation, FailsOnUnknownLocaleFlagsOrText) {
  EXPECT_EQ(CompareStringA(0x0000, kIgnoreAll, "a", -1, "b", -1), 0);
  EXPECT_EQ(CompareStringA(0x1234, kIgnoreAll, "a", -1, "b", -1), 0);
  EXPECT_EQ(CompareStringA(0x10409, kIgnoreAll, "a", -1, "b", -1), 0);
  EXPECT_EQ(CompareStringA(kEnglish, NORM_IGNORECASE, "a", -1, "b", -1), 0);  // word sort
  EXPECT_EQ(CompareStringA(kEnglish, SORT_STRINGSORT | 0x4, "a", -1, "b", -1), 0);
  EXPECT_EQ(CompareStringA(kEnglish, SORT_STRINGSORT, nullptr, -1, "b", -1), 0);
}

TEST(osCollation, ThreadsShareLazilyCreatedCollators) {
  const LCID locales[] = {0x040C, 0x0C0C, 0x0410, 0x0413};
  const uint32_t flagSets[] = {SORT_STRINGSORT, SORT_STRINGSORT | NORM_IGNORECASE, kKeepCase, kIgnoreAll};
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round)
        for (LCID locale : locales)
          for (uint32_t flags : flagSets) {
            if (Compare(locale, flags, "abc", "abd") != CSTR_LESS_THAN) ++failures[t];
            if (Compare(locale, flags, "c\xF4te", "cote") == 0) ++failures[t];
          }
    });
  for (std::thread& thread : threads) thread.join();
  for (int count : failures) EXPECT_EQ(count, 0);
}

}  // namespace
