#pragma once
// Floating-point and currency values as text, in the class library's
// formats. Digits are taken from the exact binary value and rounded half
// away from zero; at most 18 significant digits are shown.

#include <string>

#include "rtlCurrency.h"
#include "rtlFormatSettings.h"

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// precision: significant digits (1..18). digits: for ffGeneral and
// ffExponent the least number of exponent digits (0..4), otherwise the
// number of decimals (0..18).
std::string FloatToStrF(long double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings);
std::string FloatToStrF(long double value, TFloatFormat format, int precision, int digits);

// General format with 15 significant digits.
std::string FloatToStr(long double value, const TFormatSettings& settings);
std::string FloatToStr(long double value);

// Currency values keep all their digits (up to 19).
std::string CurrToStrF(Currency value, TFloatFormat format, int digits, const TFormatSettings& settings);
std::string CurrToStr(Currency value, const TFormatSettings& settings);
std::string CurrToStr(Currency value);
