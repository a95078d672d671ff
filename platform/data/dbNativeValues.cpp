#include "dbNativeValues.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "dbConsts.h"
#include "rtlAssert.h"
#include "rtlExceptions.h"

namespace {

constexpr int MaxBcdScale = 4;
constexpr int64_t Pow10[] = {1, 10, 100, 1000, 10000};

// The time of day as a positive fraction: before the date-time zero the
// fraction still counts forward from midnight.
double TimeFraction(TDateTime value) { return std::fabs(value - std::trunc(value)); }

template <typename T>
T Load(const void* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <typename T>
void Store(void* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

}  // namespace

int NativeDataSize(TFieldType type, int size) {
  switch (type) {
    case ftString:
    case ftFixedChar: return size + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean: return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime: return 4;
    case ftLargeint:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDateTime: return 8;
    case ftBytes: return size;
    case ftVarBytes: return size + 2;
    default: return 0;
  }
}

int ConvertedDataSize(TFieldType type, int size) {
  switch (type) {
    case ftDate:
    case ftTime:
    case ftDateTime: return sizeof(TDateTime);
    case ftBCD: return sizeof(Currency);
    default: return NativeDataSize(type, size);
  }
}

int32_t DateTimeToDateNumber(TDateTime value) { return static_cast<int32_t>(std::trunc(value)) + DateDelta; }

int32_t DateTimeToTimeMSecs(TDateTime value) {
  // A fraction that rounds up to a whole day stays on its own day.
  return static_cast<int32_t>(std::min<double>(std::round(TimeFraction(value) * MSecsPerDay), MSecsPerDay - 1));
}

double NativeDateTimeToTimeStamp(TDateTime value) {
  return static_cast<double>(DateTimeToDateNumber(value)) * MSecsPerDay + DateTimeToTimeMSecs(value);
}

TDateTime DateNumberToDateTime(int32_t day) { return static_cast<double>(day) - DateDelta; }

TDateTime TimeMSecsToDateTime(int32_t msecs) { return static_cast<double>(msecs) / MSecsPerDay; }

TDateTime NativeTimeStampToDateTime(double msecs) {
  // Day 1 (0001-01-01) to day 3652059 (9999-12-31).
  if (!(msecs >= MSecsPerDay && msecs < 3652060.0 * MSecsPerDay)) throw EConvertError(SInvalidDateTimeStamp);
  const double day = std::floor(msecs / MSecsPerDay);
  const double fraction = (msecs - day * MSecsPerDay) / MSecsPerDay;
  const double date = day - DateDelta;
  return date < 0 ? date - fraction : date + fraction;
}

int64_t NativeCurrencyToStoredBcd(Currency value, int scale) {
  scale = std::clamp(scale, 0, MaxBcdScale);
  const int64_t unit = Pow10[MaxBcdScale - scale];
  int64_t digits = value.Scaled / unit;
  const int64_t rest = value.Scaled % unit;
  if (rest * 2 >= unit) ++digits;
  if (rest * 2 <= -unit) --digits;
  constexpr int64_t limit = std::numeric_limits<int64_t>::max() / 10;
  if (digits > limit || digits < -limit) throw EConvertError(SBcdOverflow);
  return digits < 0 ? digits * 10 - scale : digits * 10 + scale;
}

Currency NativeStoredBcdToCurrency(int64_t stored) {
  const int scale = static_cast<int>(stored < 0 ? -(stored % 10) : stored % 10);
  const int64_t digits = stored / 10;
  if (scale <= MaxBcdScale) {
    const int64_t factor = Pow10[MaxBcdScale - scale];
    if (digits > std::numeric_limits<int64_t>::max() / factor || digits < std::numeric_limits<int64_t>::min() / factor)
      throw EConvertError(SBcdOverflow);
    return Currency::FromScaled(digits * factor);
  }
  const int64_t divisor = Pow10[scale - MaxBcdScale];
  int64_t scaled = digits / divisor;
  const int64_t rest = digits % divisor;
  if (rest * 2 > divisor || (rest * 2 == divisor && (scaled & 1))) ++scaled;
  if (rest * 2 < -divisor || (rest * 2 == -divisor && (scaled & 1))) --scaled;
  return Currency::FromScaled(scaled);
}

void ConvertNativeValue(TFieldType type, int size, const void* source, void* dest, bool toNative) {
  switch (type) {
    case ftDate:
      if (toNative)
        Store(dest, DateTimeToDateNumber(Load<TDateTime>(source)));
      else
        Store(dest, DateNumberToDateTime(Load<int32_t>(source)));
      break;
    case ftTime:
      if (toNative)
        Store(dest, DateTimeToTimeMSecs(Load<TDateTime>(source)));
      else
        Store(dest, TimeMSecsToDateTime(Load<int32_t>(source)));
      break;
    case ftDateTime:
      if (toNative)
        Store(dest, NativeDateTimeToTimeStamp(Load<TDateTime>(source)));
      else
        Store(dest, NativeTimeStampToDateTime(Load<double>(source)));
      break;
    case ftBCD:
      if (toNative)
        Store(dest, NativeCurrencyToStoredBcd(Load<Currency>(source), size));
      else
        Store(dest, NativeStoredBcdToCurrency(Load<int64_t>(source)));
      break;
    default:
      ORV_ASSERT(NativeDataSize(type, size) == ConvertedDataSize(type, size));
      std::memmove(dest, source, static_cast<size_t>(NativeDataSize(type, size)));
      break;
  }
}
