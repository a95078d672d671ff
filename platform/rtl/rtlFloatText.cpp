#include "rtlFloatText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "rtlDecimalDigits.h"

namespace {

constexpr int MaxPrecision = 18;
constexpr int MaxDecimals = 18;

std::string ExponentText(int exponent, int minDigits, bool forceSign) {
  std::string digits = std::to_string(std::abs(exponent));
  if (static_cast<int>(digits.size()) < minDigits) digits.insert(0, minDigits - digits.size(), '0');
  if (exponent < 0) return "-" + digits;
  return forceSign ? "+" + digits : digits;
}

std::string Signed(const TDecimalDigits& d, std::string text) {
  return d.Negative ? "-" + text : text;
}

std::string ScientificText(const TDecimalDigits& d, int mantissaDigits, int expDigits, bool forceSign,
                           char decimalSeparator) {
  std::string text(1, d.IsZero() ? '0' : d.Digits[0]);
  if (mantissaDigits > 1) {
    text += decimalSeparator;
    for (int i = 1; i < mantissaDigits; ++i)
      text += i < static_cast<int>(d.Digits.size()) ? d.Digits[i] : '0';
  }
  int exponent = d.IsZero() ? 0 : d.Exponent - 1;
  return Signed(d, text + "E" + ExponentText(exponent, expDigits, forceSign));
}

// The unsigned digits of a fixed-point text.
std::string FixedText(const TDecimalDigits& d, int decimals, const std::string& thousands,
                      char decimalSeparator) {
  std::string integer;
  for (int power = d.Exponent - 1; power >= 0; --power) integer += d.DigitAt(power);
  if (integer.empty()) integer = "0";
  std::string text = GroupThousands(integer, thousands);
  if (decimals > 0) {
    text += decimalSeparator;
    for (int power = -1; power >= -decimals; --power) text += d.DigitAt(power);
  }
  return text;
}

std::string GeneralText(const TDecimalDigits& d, int precision, int expDigits, char decimalSeparator) {
  if (d.IsZero()) return "0";
  if (d.Exponent > precision || d.Exponent < -4)
    return ScientificText(d, static_cast<int>(d.Digits.size()), expDigits, false, decimalSeparator);
  int decimals = std::max(0, static_cast<int>(d.Digits.size()) - d.Exponent);
  return Signed(d, FixedText(d, decimals, "", decimalSeparator));
}

std::string CurrencyText(const TDecimalDigits& d, int decimals, const TFormatSettings& settings) {
  static const char* const positive[] = {"$1", "1$", "$ 1", "1 $"};
  static const char* const negative[] = {"($1)", "-$1", "$-1", "$1-", "(1$)", "-1$", "1-$", "1$-",
                                         "-1 $", "-$ 1", "1 $-", "$ 1-", "$ -1", "1- $", "($ 1)", "(1 $)"};
  std::string number = FixedText(d, decimals, settings.ThousandSeparator, settings.DecimalSeparator);
  const char* pattern = d.Negative ? negative[settings.NegCurrFormat % 16] : positive[settings.CurrencyFormat % 4];
  std::string text;
  for (const char* p = pattern; *p; ++p) {
    if (*p == '$')
      text += settings.CurrencyString;
    else if (*p == '1')
      text += number;
    else
      text += *p;
  }
  return text;
}

std::string DigitsToText(const TDecimalDigits& d, TFloatFormat format, int precision, int digits,
                         const TFormatSettings& settings) {
  switch (format) {
    case ffGeneral:
      return GeneralText(d, precision, digits, settings.DecimalSeparator);
    case ffExponent:
      return ScientificText(d, precision, digits, true, settings.DecimalSeparator);
    case ffFixed:
      return Signed(d, FixedText(d, digits, "", settings.DecimalSeparator));
    case ffNumber:
      return Signed(d, FixedText(d, digits, settings.ThousandSeparator, settings.DecimalSeparator));
    case ffCurrency:
      return CurrencyText(d, digits, settings);
  }
  return {};
}

bool UsesExponentDigits(TFloatFormat format) { return format == ffGeneral || format == ffExponent; }

}  // namespace

std::string FloatToStrF(long double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  precision = std::clamp(precision, 1, MaxPrecision);
  digits = UsesExponentDigits(format) ? std::clamp(digits, 0, 4) : std::clamp(digits, 0, MaxDecimals);
  if (UsesExponentDigits(format))
    return DigitsToText(TDecimalDigits::FromFloat(value, precision, 9999), format, precision, digits, settings);
  TDecimalDigits d = TDecimalDigits::FromFloat(value, precision, digits);
  // More integer digits than the precision can show: general form instead.
  if (d.Exponent > precision)
    return GeneralText(TDecimalDigits::FromFloat(value, precision, 9999), precision, 0, settings.DecimalSeparator);
  return DigitsToText(d, format, precision, digits, settings);
}

std::string FloatToStrF(long double value, TFloatFormat format, int precision, int digits) {
  return FloatToStrF(value, format, precision, digits, NeutralFormatSettings());
}

std::string FloatToStr(long double value, const TFormatSettings& settings) {
  return FloatToStrF(value, ffGeneral, 15, 0, settings);
}

std::string FloatToStr(long double value) { return FloatToStr(value, NeutralFormatSettings()); }

std::string CurrToStrF(Currency value, TFloatFormat format, int digits, const TFormatSettings& settings) {
  constexpr int currencyPrecision = 19;
  if (UsesExponentDigits(format)) {
    digits = std::clamp(digits, 0, 4);
    return DigitsToText(TDecimalDigits::FromScaledCurrency(value.Scaled, 4), format, currencyPrecision, digits,
                        settings);
  }
  digits = std::clamp(digits, 0, MaxDecimals);
  return DigitsToText(TDecimalDigits::FromScaledCurrency(value.Scaled, digits), format, currencyPrecision, digits,
                      settings);
}

std::string CurrToStr(Currency value, const TFormatSettings& settings) {
  return CurrToStrF(value, ffGeneral, 0, settings);
}

std::string CurrToStr(Currency value) { return CurrToStr(value, NeutralFormatSettings()); }
