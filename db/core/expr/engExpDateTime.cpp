#include "engExpDateTime.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engExpCodes.h"
#include "rtlAssert.h"
#include "rtlDateTimeText.h"

namespace {

// Days since 30 December 1899 and the milliseconds of that day; before that
// day the time still counts forward from midnight.
void Split(TDateTime value, int64_t& days, int64_t& milliseconds) {
  int64_t total = std::llround(value * MSecsPerDay);
  days = total / MSecsPerDay;
  milliseconds = std::llabs(total) % MSecsPerDay;
}

}  // namespace

int32_t DateTimeToDayNumber(TDateTime value) {
  int64_t days, milliseconds;
  Split(value, days, milliseconds);
  return static_cast<int32_t>(days + DateTimeDayOffset);
}

int32_t DateTimeToTimeOfDay(TDateTime value) {
  int64_t days, milliseconds;
  Split(value, days, milliseconds);
  return static_cast<int32_t>(milliseconds);
}

double DateTimeToTimeStamp(TDateTime value) {
  int64_t days, milliseconds;
  Split(value, days, milliseconds);
  return static_cast<double>(days + DateTimeDayOffset) * MSecsPerDay + static_cast<double>(milliseconds);
}

TDateTime DayNumberToDateTime(int32_t dayNumber) {
  return static_cast<double>(int64_t{dayNumber} - DateTimeDayOffset);
}

TDateTime TimeOfDayToDateTime(int32_t milliseconds) { return static_cast<double>(milliseconds) / MSecsPerDay; }

TDateTime TimeStampToDateTime(double timeStamp) {
  double dayNumber = std::floor(timeStamp / MSecsPerDay);
  double milliseconds = timeStamp - dayNumber * MSecsPerDay;
  return CombineDateTime(dayNumber - DateTimeDayOffset, milliseconds / MSecsPerDay);
}

bool TextToDateTimeValue(const std::string& text, uint8_t dataType, const TFormatSettings& settings,
                         std::span<uint8_t> value) {
  TDateTime dateTime;
  int32_t whole;
  switch (dataType) {
    case dtDate:
      if (!TryStrToDate(text, dateTime, settings)) return false;
      whole = DateTimeToDayNumber(dateTime);
      break;
    case dtTime:
      if (!TryStrToTime(text, dateTime, settings)) return false;
      whole = DateTimeToTimeOfDay(dateTime);
      break;
    case dtTimeStamp: {
      if (!TryStrToDateTime(text, dateTime, settings)) return false;
      double stamp = DateTimeToTimeStamp(dateTime);
      ORV_ASSERT(value.size() >= sizeof stamp);
      memcpy(value.data(), &stamp, sizeof stamp);
      return true;
    }
    default:
      return false;
  }
  ORV_ASSERT(value.size() >= sizeof whole);
  memcpy(value.data(), &whole, sizeof whole);
  return true;
}
