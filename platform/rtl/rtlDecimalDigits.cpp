#include "rtlDecimalDigits.h"

#include <algorithm>
#include <cmath>
#include <charconv>
#include <cstdlib>

namespace {

void StripTrailingZeros(TDecimalDigits& d) {
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
  if (d.Digits.empty()) {
    d.Negative = false;
    d.Exponent = 0;
  }
}

}  // namespace

void TDecimalDigits::RoundTo(int count) {
  if (count >= static_cast<int>(Digits.size())) return;
  if (count < 0) {
    Digits.clear();
  } else {
    bool up = Digits[count] >= '5';
    Digits.resize(count);
    if (up) {
      while (!Digits.empty() && Digits.back() == '9') Digits.pop_back();
      if (Digits.empty()) {
        Digits.assign(1, '1');
        ++Exponent;
      } else {
        ++Digits.back();
      }
    }
  }
  StripTrailingZeros(*this);
}

char TDecimalDigits::DigitAt(int power) const {
  int index = Exponent - 1 - power;
  return index >= 0 && index < static_cast<int>(Digits.size()) ? Digits[index] : '0';
}

TDecimalDigits TDecimalDigits::FromFloat(long double value, int precision, int decimals) {
  TDecimalDigits d;
  if (value == 0 || !std::isfinite(value)) return d;
  d.Negative = value < 0;
  // Twenty correctly rounded digits hold every tie that can occur within
  // 18 digits exactly, so the half-away rounding below sees true ties.
  // to_chars, unlike printf, ignores the C locale's decimal point.
  char text[64];
  char* end = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific, 19).ptr;
  *end = 0;
  d.Digits.push_back(text[0]);
  const char* p = text + 2;
  while (*p >= '0' && *p <= '9') d.Digits.push_back(*p++);
  d.Exponent = std::atoi(p + 1) + 1;
  StripTrailingZeros(d);
  // A double holds 15 significant digits; coarser roundings start from
  // those, so that 2.675 shows as 2.68 at two decimals.
  precision = std::clamp(precision, 1, 18);
  d.RoundTo(std::max(precision, 15));
  d.RoundTo(precision);
  if (!d.IsZero()) d.RoundTo(d.Exponent + decimals);
  return d;
}

TDecimalDigits TDecimalDigits::FromScaledCurrency(int64_t scaled, int decimals) {
  TDecimalDigits d;
  if (scaled == 0) return d;
  d.Negative = scaled < 0;
  // Through unsigned so that the most negative value keeps its digits.
  uint64_t magnitude = d.Negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  d.Digits = std::to_string(magnitude);
  d.Exponent = static_cast<int>(d.Digits.size()) - 4;
  StripTrailingZeros(d);
  if (!d.IsZero()) d.RoundTo(d.Exponent + std::min(decimals, 4));
  return d;
}

std::string GroupThousands(const std::string& integerDigits, const std::string& separator) {
  if (separator.empty() || integerDigits.size() <= 3) return integerDigits;
  std::string result;
  size_t firstGroup = integerDigits.size() % 3 == 0 ? 3 : integerDigits.size() % 3;
  result.append(integerDigits, 0, firstGroup);
  for (size_t i = firstGroup; i < integerDigits.size(); i += 3) {
    result += separator;
    result.append(integerDigits, i, 3);
  }
  return result;
}
