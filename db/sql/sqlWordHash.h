#pragma once
// Hashes and comparisons of short keys eight bytes a step, for the tables
// a statement keeps in memory and probes every row (DISTINCT's source
// values, a hashed join's keys): no division and no byte loop.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint64_t MixWord(uint64_t hash, uint64_t word) {
  hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
  return hash ^ (hash >> 32);
}

// The bytes a word at a time, the last word's rest zero; no word for none
// left.
inline uint64_t MixWords(uint64_t hash, const uint8_t* bytes, size_t count) {
  size_t at = 0;
  for (; at + 8 <= count; at += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + at, 8);
    hash = MixWord(hash, word);
  }
  if (at == count) return hash;
  uint64_t tail = 0;
  std::memcpy(&tail, bytes + at, count - at);
  return MixWord(hash, tail);
}

// Mixes a text's bytes up to its end (its first zero byte, or width) and
// gives its length: one pass over the words that also finds the end. A
// text that ends within width is mixed as MixWords mixes its bytes and
// that zero byte.
inline size_t MixText(uint64_t& hash, const uint8_t* text, size_t width) {
  if constexpr (std::endian::native != std::endian::little) {
    const size_t length = strnlen(reinterpret_cast<const char*>(text), width);
    hash = MixWords(hash, text, std::min(length + 1, width));
    return length;
  }
  constexpr uint64_t Ones = 0x0101010101010101ull;
  constexpr uint64_t Highs = 0x8080808080808080ull;
  auto lowBytes = [](size_t count) { return count == 0 ? 0 : ~uint64_t(0) >> (64 - 8 * count); };
  size_t at = 0;
  for (; at + 8 <= width; at += 8) {
    uint64_t word;
    std::memcpy(&word, text + at, 8);
    // The lowest flagged byte is the word's first zero byte.
    const uint64_t zeros = (word - Ones) & ~word & Highs;
    if (zeros != 0) {
      const size_t inWord = size_t(std::countr_zero(zeros)) / 8;
      hash = MixWord(hash, word & lowBytes(inWord));
      return at + inWord;
    }
    hash = MixWord(hash, word);
  }
  // Fewer than eight bytes left: the zero past them ends the text if none
  // of them does.
  uint64_t word = 0;
  std::memcpy(&word, text + at, width - at);
  const uint64_t zeros = (word - Ones) & ~word & Highs;
  const size_t inWord = zeros != 0 ? std::min(size_t(std::countr_zero(zeros)) / 8, width - at) : width - at;
  hash = MixWord(hash, word & lowBytes(inWord));
  return at + inWord;
}

inline constexpr uint64_t WordHashSeed = 0x9E3779B97F4A7C15ull;

inline uint64_t FinishWordHash(uint64_t hash) { return hash ^ (hash >> 29); }

// Whether count bytes at a and at b are alike. Four to sixteen bytes (an
// owner's or a machine's name) are compared as two words that overlap,
// both within the bytes: no call, no loop.
template <typename TWord>
bool WordsAlike(const char* a, const uint8_t* b, size_t count) {
  TWord a0, b0, a1, b1;
  std::memcpy(&a0, a, sizeof(TWord));
  std::memcpy(&b0, b, sizeof(TWord));
  std::memcpy(&a1, a + count - sizeof(TWord), sizeof(TWord));
  std::memcpy(&b1, b + count - sizeof(TWord), sizeof(TWord));
  return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}

inline bool BytesAlike(const char* a, const uint8_t* b, size_t count) {
  if (count >= 8 && count <= 16) return WordsAlike<uint64_t>(a, b, count);
  if (count >= 4 && count < 8) return WordsAlike<uint32_t>(a, b, count);
  // A printer's or a path's name: whole words, then the last word, which
  // overlaps the one before.
  if (count > 16 && count <= 64) {
    uint64_t differ = 0;
    for (size_t at = 0; at + 8 < count; at += 8) {
      uint64_t x, y;
      std::memcpy(&x, a + at, 8);
      std::memcpy(&y, b + at, 8);
      differ |= x ^ y;
    }
    uint64_t x, y;
    std::memcpy(&x, a + count - 8, 8);
    std::memcpy(&y, b + count - 8, 8);
    return (differ | (x ^ y)) == 0;
  }
  // No bytes are alike wherever they point, and memcmp may not be given a
  // null pointer even for none.
  return count == 0 || std::memcmp(a, b, count) == 0;
}
