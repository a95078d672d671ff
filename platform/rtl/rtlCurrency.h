#pragma once
// The class library's currency type: a fixed-point number with four
// decimals. A struct rather than a plain int64_t, so that an overload or a
// Format argument can never mistake a scaled currency for a whole number.

#include <compare>
#include <cstdint>

struct Currency {
  static constexpr int64_t Scale = 10000;

  int64_t Scaled = 0;  // the value times 10000

  static constexpr Currency FromScaled(int64_t scaled) { return Currency{scaled}; }
  static constexpr Currency FromInt(int64_t whole) { return Currency{whole * Scale}; }
  // Rounds to the nearest 1/10000, ties to even, as the FPU does. Raises
  // EConvertError when the value lies outside the currency range.
  static Currency FromDouble(double value);
  double ToDouble() const { return static_cast<double>(Scaled) / Scale; }

  friend constexpr auto operator<=>(Currency, Currency) = default;
};
