#pragma once
// The class library's bit set: a growable array of bits, all clear at
// first. Writing a bit past the end grows the set; reading one past the end
// raises, as does any negative index.

#include <cstdint>
#include <vector>

#include "rtlExceptions.h"

RTL_EXCEPTION_CLASS(EBitsError, Exception);

inline constexpr const char* SBitsIndexError = "Bits index out of range";

class TBits {
public:
  // A bound on Size, so a stray index cannot claim gigabytes.
  static constexpr int MaxBitCount = 0x7FFFFFFF / 32;

  TBits() = default;

  int Size() const { return size; }
  // Shrinking drops the bits past the new size; growing adds clear bits.
  void SetSize(int newSize);

  bool Bits(int index) const;
  void SetBits(int index, bool value);

  // The index of the lowest clear bit: Size when every bit is set.
  int OpenBit() const;

private:
  std::vector<uint64_t> words;
  int size = 0;
};
