#pragma once
// Floating-point and currency values as text, in the class library's
// formats. Digits come from the exact binary value, rounded half away from
// zero: first to 15 significant digits (what a double holds) unless more
// are asked for, then to the precision asked; at most 18 are shown.

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

// A value by a picture: up to three sections (positive;negative;zero);
// "0" a digit always shown, "#" a digit shown when significant, "." the
// decimal separator, "," anywhere before it groups thousands, "E+" "E-"
// "e+" "e-" scientific notation, '...' and "..." literal text. An empty
// picture gives FloatToStr. Rounds at 15 significant digits.
std::string FormatFloat(const std::string& format, long double value, const TFormatSettings& settings);
std::string FormatFloat(const std::string& format, long double value);
