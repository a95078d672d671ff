#include "rtlBits.h"

#include "rtlAssert.h"

#include <bit>

namespace {
constexpr int WordBits = 64;
}

void TBits::SetSize(int newSize) {
  if (newSize < 0 || newSize > MaxBitCount) throw EBitsError(SBitsIndexError);
  words.resize(static_cast<size_t>((newSize + WordBits - 1) / WordBits), 0);
  // Bits past the size stay clear, so a later growth shows them clear.
  if (newSize % WordBits != 0) words.back() &= (uint64_t(1) << (newSize % WordBits)) - 1;
  size = newSize;
}

bool TBits::Bits(int index) const {
  if (index < 0 || index >= size) throw EBitsError(SBitsIndexError);
  return (words[static_cast<size_t>(index / WordBits)] >> (index % WordBits)) & 1;
}

void TBits::SetBits(int index, bool value) {
  if (index < 0) throw EBitsError(SBitsIndexError);
  if (index >= size) SetSize(index + 1);
  uint64_t& word = words[static_cast<size_t>(index / WordBits)];
  const uint64_t mask = uint64_t(1) << (index % WordBits);
  word = value ? (word | mask) : (word & ~mask);
}

int TBits::OpenBit() const {
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] != ~uint64_t(0)) {
      const int bit = static_cast<int>(i) * WordBits + std::countr_one(words[i]);
      return bit < size ? bit : size;
    }
  }
  ORV_ASSERT(static_cast<int>(words.size()) * WordBits >= size);
  return size;
}
