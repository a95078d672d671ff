#include "engNumbers.h"

#include <algorithm>
#include <cmath>

std::string DecimalsFormat(int n) {
  std::string format = "##############0";
  if (n > 0) format += "." + std::string(n, '0');
  return format;
}

double RoundFloat(double value, int decimals) {
  if (value == 0) return value;
  double unit = IntPowerFloat(0.1, decimals);
  double scaled = value / unit;
  return TruncFloat(value > 0 ? scaled + 0.5 : scaled - 0.5) * unit;
}

double IntPowerFloat(double base, int n) {
  double result = 1;
  for (int i = 0; i < n; ++i) result *= base;
  return result;
}

double TruncFloat(double value) { return std::trunc(value); }

namespace {

// A product of two currency values, rounded half away from zero to 1/10000.
int64_t MultiplyScaled(int64_t a, int64_t b) {
  __int128 product = static_cast<__int128>(a) * b;
  __int128 half = Currency::Scale / 2;
  return static_cast<int64_t>((product + (product < 0 ? -half : half)) / Currency::Scale);
}

}  // namespace

Currency RoundCurrency(Currency value, int decimals) {
  decimals = std::clamp(decimals, 0, 4);
  // One unit of the last kept decimal, 0.1^decimals.
  int64_t unit = IntPowerCurrency(Currency::FromScaled(1000), decimals).Scaled;
  int64_t whole = value.Scaled / unit;
  int64_t rest = value.Scaled % unit;
  if (rest * 2 >= unit) ++whole;
  if (rest * 2 <= -unit) --whole;
  return Currency::FromScaled(whole * unit);
}

Currency IntPowerCurrency(Currency base, int n) {
  Currency result = Currency::FromInt(1);
  for (int i = 0; i < n; ++i) result = Currency::FromScaled(MultiplyScaled(result.Scaled, base.Scaled));
  return result;
}

Currency TruncCurrency(Currency value) {
  return Currency::FromScaled(value.Scaled / Currency::Scale * Currency::Scale);
}
