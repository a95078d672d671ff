#pragma once
// Conversions of values between the engine's types: for INSERT, UPDATE,
// restructure and CAST (through text where the types call for it), and the
// in-memory conversions that pre-convert a condition's constants.

#include <cstdint>
#include <span>

#include "engExpToken.h"
#include "rtlFormatSettings.h"

// source holds a value in sourceType's encoding (a string up to its zero
// byte); target receives its size in bytes in targetType's encoding (a
// string at most one character less and a zero byte, cut at a character
// boundary under language 0). False when the types do not convert
// or the value does not: a text that is no value of the type, a float
// outside the range of whole numbers, a number with too many digits for BCD.
bool ConvertFieldValue(uint8_t sourceType, std::span<const uint8_t> source, uint8_t targetType,
                       std::span<uint8_t> target, uint8_t targetScale, const TFormatSettings& settings,
                       uint16_t languageId);

// Whole numbers among themselves (truncated or widened), from float and BCD
// (rounded); float from whole numbers and BCD; BCD from whole numbers and
// float at target's scale; date from timestamp (its day), timestamp from date
// (midnight). value receives 8 bytes. False for any other pair, value left
// alone. A value the target cannot hold at all (a float beyond 64 bits for a
// whole number, too many digits for BCD) raises EConvertError.
bool ConvertValueToType(const TExpToken& source, const void* sourceValue, const TExpToken& target, void* value);
