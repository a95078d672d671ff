#pragma once
// Text to number and number to text, with fixed rules: no process locale,
// the separators come from the TFormatSettings passed (language 0's when
// none is). Float and date conversions have their own headers, included
// here so that one include serves every conversion.

#include <cstdint>
#include <string>

#include "rtlCurrency.h"
#include "rtlDateTimeText.h"
#include "rtlFloatText.h"
#include "rtlFormatSettings.h"

std::string IntToStr(int64_t value);
// Upper-case hex with at least `digits` digits; a negative int shows its
// 32-bit, a negative int64_t its 64-bit two's complement.
std::string IntToHex(int value, int digits);
std::string IntToHex(int64_t value, int digits);

// Leading blanks, a sign, and hex with "$" or "0x" are accepted; anything
// after the digits is not. Out-of-range values do not convert.
bool TryStrToInt(const std::string& text, int& value);
bool TryStrToInt64(const std::string& text, int64_t& value);
int StrToInt(const std::string& text);
int64_t StrToInt64(const std::string& text);
int StrToIntDef(const std::string& text, int defaultValue);

// [sign] digits [separator digits] [E [sign] digits], blanks around it
// allowed, the decimal separator taken from the settings.
bool TryStrToFloat(const std::string& text, double& value, const TFormatSettings& settings);
bool TryStrToFloat(const std::string& text, double& value);
double StrToFloat(const std::string& text, const TFormatSettings& settings);
double StrToFloat(const std::string& text);

// The same syntax, converted exactly and rounded to four decimals (ties to
// even).
bool TryStrToCurr(const std::string& text, Currency& value, const TFormatSettings& settings);
bool TryStrToCurr(const std::string& text, Currency& value);
Currency StrToCurr(const std::string& text, const TFormatSettings& settings);
Currency StrToCurr(const std::string& text);
