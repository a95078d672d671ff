#include "rtlExtended.h"

#include <cmath>

namespace {

constexpr int ExponentBias = 16383;
constexpr int MaxExponent = 0x7FFF;
constexpr int MantissaBits = 64;

}  // namespace

TExtendedBytes LongDoubleToExtended(long double value) {
  uint16_t signAndExponent = std::signbit(value) ? 0x8000 : 0;
  uint64_t mantissa = 0;
  const long double magnitude = std::fabs(value);
  if (std::isnan(value)) {
    signAndExponent |= MaxExponent;
    mantissa = 0xC000000000000000ull;
  } else if (std::isinf(value)) {
    signAndExponent |= MaxExponent;
    mantissa = 0x8000000000000000ull;
  } else if (magnitude != 0) {
    int exponent = 0;
    const long double fraction = std::frexp(magnitude, &exponent);  // in [0.5, 1)
    const int biased = exponent - 1 + ExponentBias;
    if (biased >= MaxExponent) {
      signAndExponent |= MaxExponent;
      mantissa = 0x8000000000000000ull;
    } else if (biased <= 0) {
      // Denormal: the value is mantissa * 2^(1 - bias - 63).
      mantissa = static_cast<uint64_t>(
          std::nearbyint(std::ldexp(magnitude, ExponentBias - 1 + MantissaBits - 1)));
    } else {
      // The fraction times 2^64 lies in [2^63, 2^64); a wider host type
      // rounds the bits beyond 64 to nearest.
      const long double scaled = std::nearbyint(std::ldexp(fraction, MantissaBits));
      if (scaled >= std::ldexp(1.0L, MantissaBits)) {
        mantissa = 0x8000000000000000ull;
        signAndExponent |= static_cast<uint16_t>(biased + 1);
      } else {
        mantissa = static_cast<uint64_t>(scaled);
        signAndExponent |= static_cast<uint16_t>(biased);
      }
    }
  }
  TExtendedBytes bytes{};
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(mantissa >> (8 * i));
  bytes[8] = static_cast<uint8_t>(signAndExponent);
  bytes[9] = static_cast<uint8_t>(signAndExponent >> 8);
  return bytes;
}

long double ExtendedToLongDouble(const TExtendedBytes& bytes) {
  uint64_t mantissa = 0;
  for (int i = 0; i < 8; ++i) mantissa |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  const int signAndExponent = bytes[8] | (bytes[9] << 8);
  const bool negative = (signAndExponent & 0x8000) != 0;
  const int exponent = signAndExponent & MaxExponent;
  long double magnitude;
  if (exponent == MaxExponent) {
    magnitude = (mantissa << 1) == 0 ? HUGE_VALL : std::nanl("");
  } else {
    // Exponent 0 holds denormals, which scale like exponent 1.
    const int unbiased = (exponent == 0 ? 1 : exponent) - ExponentBias;
    magnitude = std::ldexp(static_cast<long double>(mantissa), unbiased - (MantissaBits - 1));
  }
  return negative ? -magnitude : magnitude;
}
