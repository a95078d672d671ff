#include "rtlConvert.h"

#include <charconv>
#include <cstdio>
#include <limits>

#include "rtlConsts.h"
#include "rtlExceptions.h"

namespace {

// A float text split into its parts, already checked for syntax.
struct TNumberText {
  bool negative = false;
  std::string digits;  // integer and fraction digits, without the point
  int integerDigits = 0;
  int exponent = 0;
};

bool ParseNumberText(const std::string& text, char decimalSeparator, TNumberText& number) {
  size_t pos = 0, end = text.size();
  while (pos < end && text[pos] == ' ') ++pos;
  while (end > pos && text[end - 1] == ' ') --end;
  if (pos < end && (text[pos] == '+' || text[pos] == '-')) number.negative = text[pos++] == '-';
  auto isDigit = [&](size_t i) { return i < end && text[i] >= '0' && text[i] <= '9'; };
  while (isDigit(pos)) number.digits += text[pos++];
  number.integerDigits = static_cast<int>(number.digits.size());
  if (pos < end && text[pos] == decimalSeparator) {
    ++pos;
    while (isDigit(pos)) number.digits += text[pos++];
  }
  if (number.digits.empty()) return false;
  if (pos < end && (text[pos] == 'E' || text[pos] == 'e')) {
    ++pos;
    bool negativeExponent = false;
    if (pos < end && (text[pos] == '+' || text[pos] == '-')) negativeExponent = text[pos++] == '-';
    if (!isDigit(pos)) return false;
    int exponent = 0;
    while (isDigit(pos)) {
      if (exponent < 100000) exponent = exponent * 10 + (text[pos] - '0');
      ++pos;
    }
    number.exponent = negativeExponent ? -exponent : exponent;
  }
  return pos == end;
}

template <typename T>
bool TryParseInteger(const std::string& text, T& value, uint64_t hexLimit) {
  size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  int base = 10;
  if (pos < text.size() && text[pos] == '$') {
    base = 16;
    ++pos;
  } else if (text.size() - pos > 1 && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  uint64_t magnitude = 0;
  const char* first = text.data() + pos;
  const char* last = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(first, last, magnitude, base);
  if (ec != std::errc() || ptr != last || *first == '+' || *first == '-') return false;
  if (base == 16) {
    if (magnitude > hexLimit) return false;
    // Hex spells the bits: $FFFFFFFF is -1 as a 32-bit value.
    using Unsigned = std::make_unsigned_t<T>;
    Unsigned bits = static_cast<Unsigned>(magnitude);
    value = static_cast<T>(negative ? Unsigned(0) - bits : bits);
    return true;
  }
  uint64_t limit = static_cast<uint64_t>(std::numeric_limits<T>::max()) + (negative ? 1 : 0);
  if (magnitude > limit) return false;
  value = negative ? static_cast<T>(0 - magnitude) : static_cast<T>(magnitude);
  return true;
}

std::string HexText(uint64_t value, int digits) {
  char text[20];
  std::snprintf(text, sizeof text, "%0*llX", digits < 0 ? 0 : (digits > 16 ? 16 : digits),
                static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string IntToHex(int value, int digits) { return HexText(static_cast<uint32_t>(value), digits); }

std::string IntToHex(int64_t value, int digits) { return HexText(static_cast<uint64_t>(value), digits); }

bool TryStrToInt(const std::string& text, int& value) { return TryParseInteger(text, value, UINT32_MAX); }

bool TryStrToInt64(const std::string& text, int64_t& value) { return TryParseInteger(text, value, UINT64_MAX); }

int StrToInt(const std::string& text) {
  int value;
  if (!TryStrToInt(text, value)) throw EConvertError(SInvalidInteger, {text});
  return value;
}

int64_t StrToInt64(const std::string& text) {
  int64_t value;
  if (!TryStrToInt64(text, value)) throw EConvertError(SInvalidInteger, {text});
  return value;
}

int StrToIntDef(const std::string& text, int defaultValue) {
  int value;
  return TryStrToInt(text, value) ? value : defaultValue;
}

bool TryStrToFloat(const std::string& text, double& value, const TFormatSettings& settings) {
  TNumberText number;
  if (!ParseNumberText(text, settings.DecimalSeparator, number)) return false;
  // Rebuilt in the one syntax from_chars reads, whatever the settings.
  std::string normal = number.digits.substr(0, number.integerDigits) + "." + number.digits.substr(number.integerDigits) +
                       "e" + std::to_string(number.exponent);
  double magnitude;
  auto [ptr, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), magnitude);
  if (ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow does not convert.
    size_t firstSignificant = number.digits.find_first_not_of('0');
    bool tooSmall = number.integerDigits - static_cast<int>(firstSignificant) + number.exponent < 0;
    if (!tooSmall) return false;
    magnitude = 0;
  } else if (ec != std::errc()) {
    return false;
  }
  value = number.negative ? -magnitude : magnitude;
  return true;
}

bool TryStrToFloat(const std::string& text, double& value) {
  return TryStrToFloat(text, value, NeutralFormatSettings());
}

double StrToFloat(const std::string& text, const TFormatSettings& settings) {
  double value;
  if (!TryStrToFloat(text, value, settings)) throw EConvertError(SInvalidFloat, {text});
  return value;
}

double StrToFloat(const std::string& text) { return StrToFloat(text, NeutralFormatSettings()); }

bool TryStrToCurr(const std::string& text, Currency& value, const TFormatSettings& settings) {
  TNumberText number;
  if (!ParseNumberText(text, settings.DecimalSeparator, number)) return false;
  size_t firstSignificant = number.digits.find_first_not_of('0');
  if (firstSignificant == std::string::npos) {
    value = Currency{};
    return true;
  }
  // The digits that stay: those before the point moved by the exponent,
  // and four decimals.
  int64_t kept = static_cast<int64_t>(number.integerDigits) + number.exponent + 4;
  if (kept - static_cast<int64_t>(firstSignificant) > 19) return false;
  if (kept < 0) {
    value = Currency{};
    return true;
  }
  uint64_t scaled = 0;
  for (int64_t i = 0; i < kept; ++i) {
    int digit = i < static_cast<int64_t>(number.digits.size()) ? number.digits[i] - '0' : 0;
    scaled = scaled * 10 + digit;  // at most 19 significant digits: no wrap
  }
  std::string rest = kept < static_cast<int64_t>(number.digits.size()) ? number.digits.substr(kept) : "";
  if (!rest.empty()) {
    bool aboveHalf = rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
    bool tie = rest[0] == '5' && !aboveHalf;
    if (aboveHalf || (tie && scaled % 2 == 1)) ++scaled;
  }
  uint64_t limit = static_cast<uint64_t>(INT64_MAX) + (number.negative ? 1 : 0);
  if (scaled > limit) return false;
  value = Currency::FromScaled(number.negative ? static_cast<int64_t>(0 - scaled) : static_cast<int64_t>(scaled));
  return true;
}

bool TryStrToCurr(const std::string& text, Currency& value) {
  return TryStrToCurr(text, value, NeutralFormatSettings());
}

Currency StrToCurr(const std::string& text, const TFormatSettings& settings) {
  Currency value;
  if (!TryStrToCurr(text, value, settings)) throw EConvertError(SInvalidFloat, {text});
  return value;
}

Currency StrToCurr(const std::string& text) { return StrToCurr(text, NeutralFormatSettings()); }
