#include "rtlCurrency.h"

#include <cmath>

#include "rtlExceptions.h"

Currency Currency::FromDouble(double value) {
  double scaled = std::nearbyint(value * Scale);
  // -2^63 and 2^63 are exact doubles; NaN fails both tests.
  if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0))
    throw EConvertError(Format("%g is not a valid currency value", {value}));
  return FromScaled(static_cast<int64_t>(scaled));
}
