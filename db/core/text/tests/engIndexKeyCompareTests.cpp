#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engKeyCompare.h"

namespace {

constexpr int TextSize = 8;

// A string key field of TextSize bytes, an integer field of 4, a row number.
std::vector<uint8_t> Key(const char* text, uint32_t number, uint32_t row) {
  std::vector<uint8_t> key(1 + TextSize + 1 + 4 + 4, 0);
  if (text) {
    key[0] = 1;
    memcpy(key.data() + 1, text, strlen(text));
  }
  key[1 + TextSize] = 1;
  for (int i = 0; i < 4; ++i) key[2 + TextSize + i] = uint8_t(number >> (24 - 8 * i));
  for (int i = 0; i < 4; ++i) key[6 + TextSize + i] = uint8_t(row >> (24 - 8 * i));
  return key;
}

TKeyComparer Comparer(uint16_t languageId) {
  TKeyComparer compare;
  compare.IndexNo = 1;
  compare.LanguageId = languageId;
  compare.FieldCount = 2;
  compare.Fields[0] = {StringFieldType, TextSize, false};
  compare.Fields[1] = {2, 4, false};
  return compare;
}

int Compare(const TKeyComparer& compare, const std::vector<uint8_t>& a,
            const std::vector<uint8_t>& b) {
  return compare.CompareKeys(a.data(), b.data(), int(a.size()));
}

}  // namespace

TEST(IndexKeyCompare, LocaleCollatesTextWhereBytesDoNot) {
  auto lowerA = Key("a", 1, 1), upperB = Key("B", 1, 1);
  EXPECT_EQ(-1, Compare(Comparer(0x0409), lowerA, upperB));
  EXPECT_EQ(1, Compare(Comparer(0), lowerA, upperB));
  // Accents do not count under a locale; case does.
  EXPECT_EQ(0, Compare(Comparer(0x0409), Key("e", 1, 1), Key("\xE9", 1, 1)));
  EXPECT_NE(0, Compare(Comparer(0x0409), Key("e", 1, 1), Key("E", 1, 1)));
}

TEST(IndexKeyCompare, DescendingTurnsFieldsAndRowNumberRound) {
  TKeyComparer compare = Comparer(0x0409);
  auto null = Key(nullptr, 1, 1), text = Key("a", 1, 1);
  EXPECT_EQ(-1, Compare(compare, null, text));
  compare.Fields[0].Descending = true;
  EXPECT_EQ(1, Compare(compare, null, text));
  // The second field and the row number keep their own direction.
  EXPECT_EQ(-1, Compare(compare, Key("a", 1, 9), Key("a", 2, 1)));
  EXPECT_EQ(-1, Compare(compare, Key("a", 1, 1), Key("a", 1, 2)));
  compare.Descending = true;
  EXPECT_EQ(1, Compare(compare, Key("a", 1, 1), Key("a", 1, 2)));

  TKeyComparer bytes = Comparer(0);
  bytes.Descending = true;
  EXPECT_EQ(1, Compare(bytes, null, text));
  bytes.IndexNo = DeletedIndexNo;  // always ascending bytes
  EXPECT_EQ(-1, Compare(bytes, null, text));
  // Under a locale too: "a" after "B" as bytes, before it collated.
  TKeyComparer deleted = Comparer(0x0409);
  deleted.IndexNo = DeletedIndexNo;
  deleted.Descending = true;
  EXPECT_EQ(1, Compare(deleted, Key("a", 1, 1), Key("B", 1, 1)));
}

TEST(IndexKeyCompare, ComparesOnlyTheGivenLength) {
  TKeyComparer compare = Comparer(0x0409);
  auto a = Key("same", 1, 5), b = Key("same", 2, 1);
  EXPECT_EQ(0, compare.CompareKeys(a.data(), b.data(), 1 + TextSize));
  EXPECT_EQ(-1, compare.CompareKeys(a.data(), b.data(), 1 + TextSize + 5));
  EXPECT_EQ(1, compare.CompareKeys(nullptr, b.data(), 4));
}
