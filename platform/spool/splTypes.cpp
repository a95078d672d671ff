#include "splTypes.h"

#include <chrono>

SystemTime SystemTimeFromUnixMs(int64_t unixMs) {
  SystemTime t;
  if (unixMs <= 0) return t;
  using namespace std::chrono;
  const sys_time<milliseconds> point{milliseconds(unixMs)};
  const auto day = floor<days>(point);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> clock{point - day};
  t.Year = static_cast<uint16_t>(static_cast<int>(date.year()));
  t.Month = static_cast<uint16_t>(static_cast<unsigned>(date.month()));
  t.Day = static_cast<uint16_t>(static_cast<unsigned>(date.day()));
  t.DayOfWeek = static_cast<uint16_t>(weekday{day}.c_encoding());
  t.Hour = static_cast<uint16_t>(clock.hours().count());
  t.Minute = static_cast<uint16_t>(clock.minutes().count());
  t.Second = static_cast<uint16_t>(clock.seconds().count());
  t.Milliseconds = static_cast<uint16_t>(clock.subseconds().count());
  return t;
}
