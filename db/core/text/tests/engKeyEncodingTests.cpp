#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engKeyEncoding.h"
#include "engTextCompare.h"
#include "osCodePage.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <typename T, typename Encode>
Bytes Encoded(T value, Encode encode) {
  Bytes out(sizeof(T));
  encode(value, out.data());
  return out;
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

int ByteOrder(const Bytes& a, const Bytes& b) { return CompareBytes(a.data(), b.data(), int(a.size()), false); }

struct FieldDesc {
  uint8_t bytes[768] = {};
  explicit FieldDesc(uint8_t type, uint8_t declaredSize = 0) {
    bytes[FieldDescTypeOffset] = type;
    bytes[FieldDescDeclaredSizeOffset] = declaredSize;
    SetStoredSize(bytes);
  }
  int StoredSize() const { return bytes[FieldDescStoredSizeOffset]; }
};

// The segment written after a null byte of 1.
Bytes Segment(const FieldDesc& desc, const void* value, bool caseInsensitive = false, bool descending = false,
              uint16_t language = 0) {
  Bytes out(size_t(desc.StoredSize()) + 1, 0xAA);
  out[0] = 1;
  BuildKeySegment(desc.bytes, value, out.data(), caseInsensitive, descending, language, 0);
  return out;
}

TEST(EngineKeyEncoding, EncoderBytesAndStoredSizes) {
  EXPECT_EQ(Encoded<int32_t>(-1, EncodeInt32Key), (Bytes{0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Encoded<int32_t>(0, EncodeInt32Key), (Bytes{0x80, 0, 0, 0}));
  EXPECT_EQ(Encoded<int16_t>(-2, EncodeInt16Key), (Bytes{0x7F, 0xFE}));
  EXPECT_EQ(Encoded<uint16_t>(0x8001, EncodeWordKey), (Bytes{0x80, 0x01}));
  EXPECT_EQ(Encoded<double>(0.0, EncodeFloatKey), (Bytes{0x80, 0, 0, 0, 0, 0, 0, 0}));

  const int stored[] = {10, 11, 4, 8, 2, 2, 4, 8, 8, 10, 4, 8, 2, 4, 10, 10};
  for (uint8_t type = 0; type <= 15; ++type) EXPECT_EQ(FieldDesc(type, 10).StoredSize(), stored[type]) << int(type);
  FieldDesc decimal(8);
  decimal.bytes[FieldDescScaleOffset] = 2;
  CopyScaleByte(decimal.bytes);
  EXPECT_EQ(decimal.bytes[FieldDescScaleCopyOffset], 2);
}

TEST(EngineKeyEncoding, ByteOrderOfEncodingsIsValueOrder) {
  std::mt19937_64 random(20240611);
  std::vector<double> doubles{0.0, -0.0, -1.0, std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::denorm_min(),
                              -std::numeric_limits<double>::denorm_min()};
  while (doubles.size() < 300) {
    double value = std::bit_cast<double>(random());
    if (!std::isnan(value)) doubles.push_back(value);
  }
  for (double a : doubles)
    for (double b : doubles) ASSERT_EQ(ByteOrder(Encoded(a, EncodeFloatKey), Encoded(b, EncodeFloatKey)), Sign(a, b));

  for (int i = 0; i < 20000; ++i) {
    const uint64_t x = random(), y = i % 4 == 0 ? x ^ (uint64_t(1) << (i % 64)) : random();
    ASSERT_EQ(ByteOrder(Encoded(int64_t(x), EncodeInt64Key), Encoded(int64_t(y), EncodeInt64Key)),
              Sign(int64_t(x), int64_t(y)));
    ASSERT_EQ(ByteOrder(Encoded(int32_t(x), EncodeInt32Key), Encoded(int32_t(y), EncodeInt32Key)),
              Sign(int32_t(x), int32_t(y)));
    ASSERT_EQ(ByteOrder(Encoded(int16_t(x), EncodeInt16Key), Encoded(int16_t(y), EncodeInt16Key)),
              Sign(int16_t(x), int16_t(y)));
    ASSERT_EQ(ByteOrder(Encoded(uint16_t(x), EncodeWordKey), Encoded(uint16_t(y), EncodeWordKey)),
              Sign(uint16_t(x), uint16_t(y)));
    // Descending segments of language 0 are inverted, null byte included.
    const int32_t a = int32_t(x), b = int32_t(y);
    ASSERT_EQ(ByteOrder(Segment(FieldDesc(6), &a, false, true), Segment(FieldDesc(6), &b, false, true)), Sign(b, a));
  }
}

TEST(EngineKeyEncoding, SegmentsByFieldType) {
  const uint8_t minusOne[] = {0xFF, 0xFF, 0xFF, 0xFF};
  for (uint8_t type : {2, 6, 10}) EXPECT_EQ(Segment(FieldDesc(type), minusOne), (Bytes{1, 0x7F, 0xFF, 0xFF, 0xFF}));
  const uint8_t word[] = {0x02, 0x80};
  EXPECT_EQ(Segment(FieldDesc(5), word), (Bytes{1, 0x00, 0x02}));
  EXPECT_EQ(Segment(FieldDesc(12), word), (Bytes{1, 0x80, 0x02}));
  const double one = 1.0;
  EXPECT_EQ(Segment(FieldDesc(11), &one), (Bytes{1, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  const int64_t decimal = 123452;
  EXPECT_EQ(Segment(FieldDesc(8), &decimal), (Bytes{1, 0x80, 0, 0, 0, 0, 0x01, 0xE2, 0x3C}));
  EXPECT_EQ(Segment(FieldDesc(9, 3), "\x09\x08\x07"), (Bytes{1, 9, 8, 7}));
  EXPECT_EQ(Segment(FieldDesc(6), nullptr), (Bytes{1, 0x80, 0, 0, 0}));

  EXPECT_EQ(Segment(FieldDesc(1, 4), "ab"), (Bytes{1, 'a', 'b', 0, 0, 0}));
  EXPECT_EQ(Segment(FieldDesc(1, 2), "xyzw"), (Bytes{1, 'x', 'y', 0}));
  EXPECT_EQ(Segment(FieldDesc(1, 4), "\xC3\xA9t", true), (Bytes{1, 0xC3, 0x89, 'T', 0, 0}));
  EXPECT_EQ(Segment(FieldDesc(1, 2), "a", false, true), (Bytes{0xFE, 0x9E, 0xFF, 0}));
  EXPECT_EQ(Segment(FieldDesc(1, 2), "a", true, true, 0x0409), (Bytes{1, 'A', 0, 0}));
}

// A case-insensitive language-0 segment is the text as the field holds it
// (cut at the field's size) in UpperText's upper-case form: every ASCII
// character, UTF-8 characters anywhere, one cut in two at the field's end.
TEST(EngineKeyEncoding, CaseFoldedSegmentsAreTheUpperCaseFormOfTheText) {
  const FieldDesc desc(1, 12);
  const size_t textBytes = size_t(desc.StoredSize() - 1);
  std::vector<std::string> texts = {"",           "abc",           "Hello, World", "hello, world!",
                                    "twelve chars", "far too long for the field", "\xC3\xA9t\xC3\xA9",
                                    "ab\xC3\xA9z",  "\xE2\x82\xAC", "abcdefghijk\xC3\xA9", "abcdefgh\xC3\xA9", "x\x7Fy~"};
  for (int c = 1; c < 0x80; ++c) texts.push_back(std::string(1, char(c)) + "q" + std::string(9, char(c)));
  for (const std::string& text : texts) {
    Bytes expected(size_t(desc.StoredSize()) + 1, 0);
    expected[0] = 1;
    char* segment = reinterpret_cast<char*>(expected.data() + 1);
    std::memcpy(segment, text.data(), std::min(text.size(), textBytes));
    UpperText(0, 0, segment, segment);
    EXPECT_EQ(Segment(desc, text.c_str(), true), expected) << text;
  }
}

// One string field's keys, NULL as a null byte of 0, in the order the
// table's key comparison gives.
std::vector<std::string> SortedKeys(const std::vector<std::optional<std::string>>& values, uint16_t language,
                                    uint16_t sort, bool descending = false) {
  const FieldDesc desc(1, 10);
  const int size = desc.StoredSize() + 1;
  std::vector<std::pair<Bytes, std::string>> keys;
  for (const auto& value : values) {
    const std::string text = value ? Utf8ToAnsi(language ? 1252 : CP_UTF8, *value) : std::string();
    Bytes key(size_t(size), 0);
    key[0] = value ? 1 : 0;
    BuildKeySegment(desc.bytes, value ? text.c_str() : nullptr, key.data(), false, descending, language, sort);
    keys.emplace_back(key, value.value_or("NULL"));
  }
  std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
    if (language == 0) return CompareBytes(a.first.data(), b.first.data(), size, false) < 0;
    int result = CompareBytes(a.first.data(), b.first.data(), 1, false);
    if (result == 0) {
      std::string textA(a.first.begin() + 1, a.first.end()), textB(b.first.begin() + 1, b.first.end());
      result = CompareKeyText(language, sort, textA.data(), false, size - 1, textB.data());
    }
    return (descending ? -result : result) < 0;
  });
  std::vector<std::string> order;
  for (auto& key : keys) order.push_back(key.second);
  return order;
}

using Order = std::vector<std::string>;

TEST(EngineKeyEncoding, KeysOrderAsTheCollation) {
  const std::vector<std::optional<std::string>> fruit{"banana", std::nullopt, "Apple", "apple", "Banana"};
  EXPECT_EQ(SortedKeys(fruit, 0, 0), (Order{"NULL", "Apple", "Banana", "apple", "banana"}));
  EXPECT_EQ(SortedKeys(fruit, 0, 0, true), (Order{"banana", "apple", "Banana", "Apple", "NULL"}));
  EXPECT_EQ(SortedKeys(fruit, 0x0409, 0), (Order{"NULL", "apple", "Apple", "banana", "Banana"}));

  const std::vector<std::optional<std::string>> names{"Muff", "M\u00fcller", std::nullopt, "Mylius", "Mahler"};
  EXPECT_EQ(SortedKeys(names, 0x0407, 0), (Order{"NULL", "Mahler", "Muff", "M\u00fcller", "Mylius"}));
  EXPECT_EQ(SortedKeys(names, 0x0407, 1), (Order{"NULL", "Mahler", "M\u00fcller", "Muff", "Mylius"}));
}

}  // namespace
