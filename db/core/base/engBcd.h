#pragma once
// Stored BCD values: a signed 64-bit integer whose decimal digits are the
// value's digits without the decimal point, followed by one digit giving
// the number of decimals (123.45 at scale 2 is stored as 123452).

#include <cstdint>

#include "rtlCurrency.h"

// scale is clamped to 0 .. 4. A value with too many digits for 64 bits
// raises EConvertError.
int64_t FloatToStoredBcd(double value, int scale);
int64_t CurrencyToStoredBcd(Currency value, int scale);

double StoredBcdToFloat(int64_t stored);
Currency StoredBcdToCurrency(int64_t stored);
