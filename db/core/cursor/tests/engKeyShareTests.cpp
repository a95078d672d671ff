// The first open's index check finds a leaf entry that differs from the key
// its record builds only through the entries' shares: a change of the key
// that leaves its share the same goes unnoticed. Keys of every length up to
// the longest text keys, so that every lane and the words after the last
// whole round are exercised.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "engKeyShare.h"

namespace {

constexpr int LongestKey = 160;

std::vector<uint8_t> RandomKey(std::mt19937& random, int length) {
  std::vector<uint8_t> key(size_t(length) + 8, 0);  // room past the end: the share must not read it
  for (int i = 0; i < length; ++i) key[size_t(i)] = uint8_t(random());
  return key;
}

TEST(KeyShareTest, AnyChangedBitOrRecordGivesAnotherShare) {
  std::mt19937 random(7);
  for (int length = 1; length <= LongestKey; ++length) {
    std::vector<uint8_t> key = RandomKey(random, length);
    const uint64_t share = KeyRecordShare(key.data(), length, 42);
    EXPECT_NE(KeyRecordShare(key.data(), length, 43), share) << length;
    for (int bit = 0; bit < length * 8; ++bit) {
      key[size_t(bit / 8)] ^= uint8_t(1u << (bit % 8));
      ASSERT_NE(KeyRecordShare(key.data(), length, 42), share) << "length " << length << ", bit " << bit;
      key[size_t(bit / 8)] ^= uint8_t(1u << (bit % 8));
    }
    // Bytes past the key's length are not part of it.
    key[size_t(length)] ^= 0xFF;
    EXPECT_EQ(KeyRecordShare(key.data(), length, 42), share) << length;
  }
}

// Padded text fields give keys of many equal words; words swapped between
// positions, also between lanes, are another key.
TEST(KeyShareTest, SwappedWordsGiveAnotherShare) {
  std::mt19937 random(11);
  const int length = LongestKey;
  std::vector<uint8_t> key = RandomKey(random, length);
  const uint64_t share = KeyRecordShare(key.data(), length, 1);
  for (int a = 0; a + 8 <= length; a += 8)
    for (int b = a + 8; b + 8 <= length; b += 8) {
      std::vector<uint8_t> swapped = key;
      for (int i = 0; i < 8; ++i) std::swap(swapped[size_t(a + i)], swapped[size_t(b + i)]);
      ASSERT_NE(KeyRecordShare(swapped.data(), length, 1), share) << a << " " << b;
    }
}

}  // namespace
