#pragma once
// A field's native bytes: what GetFieldData hands out and SetFieldData
// takes when the native format is asked for. They are the table engine's
// stored value encodings byte for byte, so a dataset over the engine copies
// values without converting them:
//
//   ftString            size + 1 bytes, zero-terminated text
//   ftSmallint          signed 16-bit
//   ftInteger, ftAutoInc signed 32-bit
//   ftWord, ftBoolean   unsigned 16-bit (Boolean 0 or 1)
//   ftLargeint          signed 64-bit
//   ftFloat, ftCurrency IEEE 754 double
//   ftBCD               signed 64-bit: the digits at the field's scale
//                       (its Size), then one digit holding the scale
//   ftDate              signed 32-bit day number, 0001-01-01 is day 1
//   ftTime              signed 32-bit milliseconds since midnight
//   ftDateTime          double: day number x 86400000 + milliseconds
//   ftBytes             size raw bytes
//   ftVarBytes          unsigned 16-bit length, then size bytes
//
// Numbers are little-endian, the engine's order and this machine's.
// Non-native values are what the fields work with: TDateTime for the three
// date-time types, Currency for ftBCD; the other types are the same.

#include <bit>
#include <cstdint>

#include "dbTypes.h"
#include "rtlCurrency.h"
#include "rtlDateTime.h"

static_assert(std::endian::native == std::endian::little, "native values are little-endian");

// The day number of 1899-12-30, the date-time zero.
inline constexpr int32_t DateDelta = 693594;

// Bytes of a native value; 0 for the types without one (BLOBs and others).
// size is the field's Size (the text length, byte count or BCD scale).
int NativeDataSize(TFieldType type, int size);
// Bytes of the non-native form of the same value.
int ConvertedDataSize(TFieldType type, int size);

int32_t DateTimeToDateNumber(TDateTime value);
int32_t DateTimeToTimeMSecs(TDateTime value);
double NativeDateTimeToTimeStamp(TDateTime value);
TDateTime DateNumberToDateTime(int32_t day);
TDateTime TimeMSecsToDateTime(int32_t msecs);
// EConvertError for a value that is no date-time of years 1 to 9999.
TDateTime NativeTimeStampToDateTime(double msecs);

// scale 0 to 4 (clamped, as the engine clamps). Rounds half away from zero.
// EConvertError SBcdOverflow when the stored form needs more than 64 bits.
int64_t NativeCurrencyToStoredBcd(Currency value, int scale);
// Scales above 4 round to four decimals, half to even.
Currency NativeStoredBcdToCurrency(int64_t stored);

// Converts one value between the two forms (the framework's DataConvert).
void ConvertNativeValue(TFieldType type, int size, const void* source, void* dest, bool toNative);
