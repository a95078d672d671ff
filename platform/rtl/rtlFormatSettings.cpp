#include "rtlFormatSettings.h"

TFormatSettings::TFormatSettings()
    : ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
      LongMonthNames{"January", "February", "March",     "April",   "May",      "June",
                     "July",    "August",   "September", "October", "November", "December"},
      ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
      LongDayNames{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"} {}

const TFormatSettings& NeutralFormatSettings() {
  static const TFormatSettings neutral;
  return neutral;
}
