// One leaf entry's share of a tree's fingerprint in the first open's index
// check: the check compares the sum of the shares of a tree's entries with
// the sum of what the records build. A sum keeps the check's memory flat
// however many records the table holds (a key per record would take
// hundreds of megabytes on a large table), and entries of one tree may
// come in any order.
//
// The share is hashed twice per key and tree (once from the record, once
// from the leaf), and keys of text indexes run to a hundred bytes and more:
// four independent lanes take 32 bytes per round, so the multiplications
// overlap instead of waiting on each other. Lanes are folded in a chain,
// so the same words in other lanes give another share. Nothing of it is
// stored: any change here only has to agree with itself within one check.

#ifndef ENG_KEY_SHARE_H
#define ENG_KEY_SHARE_H

#include <bit>
#include <cstdint>
#include <cstring>

inline uint64_t KeyRecordShare(const uint8_t* key, int length, uint32_t record) {
  constexpr uint64_t Multiplier = 0x9E3779B97F4A7C15ull;
  constexpr int Lanes = 4;
  constexpr int LaneBytes = 8;
  const auto mix = [](uint64_t lane, uint64_t word) { return std::rotl((lane ^ word) * Multiplier, 29); };
  const auto word = [key](int at) {
    uint64_t value;
    std::memcpy(&value, key + at, sizeof value);
    return value;
  };
  uint64_t lane[Lanes] = {14695981039346656037ull ^ uint64_t(length), 0x6A09E667F3BCC908ull, 0xBB67AE8584CAA73Bull,
                          0x3C6EF372FE94F82Bull};
  int i = 0;
  for (; i + Lanes * LaneBytes <= length; i += Lanes * LaneBytes)
    for (int j = 0; j < Lanes; ++j) lane[j] = mix(lane[j], word(i + j * LaneBytes));
  for (; i + LaneBytes <= length; i += LaneBytes) lane[0] = mix(lane[0], word(i));
  uint64_t tail = 0;
  std::memcpy(&tail, key + i, size_t(length - i));
  uint64_t hash = mix(lane[0], tail);
  for (int j = 1; j < Lanes; ++j) hash = mix(hash, lane[j]);
  hash ^= uint64_t(record) * Multiplier;
  hash ^= hash >> 33;
  hash *= 0xFF51AFD7ED558CCDull;
  hash ^= hash >> 33;
  return hash;
}

#endif
