#pragma once
// A number as a decimal digit string: value = 0.Digits x 10^Exponent. Shared
// by the float formats, FormatFloat and Format; internal to the run-time.

#include <cstdint>
#include <string>

struct TDecimalDigits {
  bool Negative = false;
  int Exponent = 0;
  std::string Digits;  // no trailing zeros; empty for zero

  // Rounded to at most `precision` significant digits (1..18) and
  // `decimals` digits after the point, ties away from zero.
  static TDecimalDigits FromFloat(long double value, int precision, int decimals);
  // Exact: a currency scaled by 10000, rounded to `decimals` (at most 4 kept).
  static TDecimalDigits FromScaledCurrency(int64_t scaled, int decimals);

  bool IsZero() const { return Digits.empty(); }
  // Keeps `count` leading digits, rounding the rest half away from zero.
  void RoundTo(int count);
  // The digit at a power of ten position (0 = units, -1 = tenths, ...).
  char DigitAt(int power) const;
};

// Integer digits of a non-negative number, with thousands separators.
std::string GroupThousands(const std::string& integerDigits, const std::string& separator);
