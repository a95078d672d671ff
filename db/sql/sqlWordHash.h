#pragma once
// Hashes of short keys eight bytes a step, for the tables a statement keeps
// in memory and probes every row (DISTINCT's source values, a hashed join's
// keys): no division and no byte loop.

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint64_t MixWord(uint64_t hash, uint64_t word) {
  hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
  return hash ^ (hash >> 32);
}

// The bytes a word at a time; the last word holds what is left.
inline uint64_t MixBytes(uint64_t hash, const uint8_t* bytes, size_t count) {
  size_t at = 0;
  for (; at + 8 <= count; at += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + at, 8);
    hash = MixWord(hash, word);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, bytes + at, count - at);
  return MixWord(hash, tail);
}

inline constexpr uint64_t WordHashSeed = 0x9E3779B97F4A7C15ull;

inline uint64_t FinishWordHash(uint64_t hash) { return hash ^ (hash >> 29); }
