#pragma once
// The 80-bit extended format of stored floats (1 sign bit, 15 exponent bits
// biased by 16383, 64 mantissa bits with an explicit integer bit), converted
// by arithmetic so that streams read the same on any host.

#include <array>
#include <cstdint>

using TExtendedBytes = std::array<uint8_t, 10>;  // little-endian

TExtendedBytes LongDoubleToExtended(long double value);
long double ExtendedToLongDouble(const TExtendedBytes& bytes);
