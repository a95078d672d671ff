#include "rtlDateTime.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "rtlConsts.h"
#include "rtlExceptions.h"

namespace {

// Days from 1899-12-30 to 1970-01-01.
constexpr int64_t UnixEpochDays = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// The value rounded to milliseconds, split into day and time of day.
void SplitDateTime(TDateTime value, int64_t& days, int64_t& msecOfDay) {
  int64_t msecs = std::llround(value * MSecsPerDay);
  days = msecs / MSecsPerDay;
  msecOfDay = std::llabs(msecs) % MSecsPerDay;
}

TDateTime SystemClock() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  auto msec = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                        std::min(local.tm_sec, 59), static_cast<int>(msec));
}

std::atomic<TClockFunction> currentClock{SystemClock};

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  date = static_cast<double>(DaysFromCivil(year, month, day) + UnixEpochDays);
  return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    return false;
  time = (((hour * 60.0 + min) * 60.0 + sec) * 1000.0 + msec) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime date;
  if (!TryEncodeDate(year, month, day, date)) throw EConvertError(SDateEncodeError);
  return date;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime time;
  if (!TryEncodeTime(hour, min, sec, msec, time)) throw EConvertError(STimeEncodeError);
  return time;
}

TDateTime CombineDateTime(TDateTime date, TDateTime time) { return date >= 0 ? date + time : date - time; }

bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec, TDateTime& value) {
  TDateTime date, time;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, min, sec, msec, time)) return false;
  value = CombineDateTime(date, time);
  return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
  return CombineDateTime(EncodeDate(year, month, day), EncodeTime(hour, min, sec, msec));
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  int64_t days, msecOfDay;
  SplitDateTime(value, days, msecOfDay);
  CivilFromDays(days - UnixEpochDays, year, month, day);
}

void DecodeDays(int64_t days, int& year, int& month, int& day) { CivilFromDays(days - UnixEpochDays, year, month, day); }

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
  int64_t days, msecOfDay;
  SplitDateTime(value, days, msecOfDay);
  msec = static_cast<int>(msecOfDay % 1000);
  sec = static_cast<int>(msecOfDay / 1000 % 60);
  min = static_cast<int>(msecOfDay / 60000 % 60);
  hour = static_cast<int>(msecOfDay / 3600000);
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec) {
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, min, sec, msec);
}

int DayOfWeek(TDateTime value) {
  int64_t days, msecOfDay;
  SplitDateTime(value, days, msecOfDay);
  // Day 1, 1899-12-31, was a Sunday.
  int64_t weekday = (days - 1) % 7;
  return static_cast<int>(weekday < 0 ? weekday + 7 : weekday) + 1;
}

TDateTime Now() { return currentClock.load()(); }

TDateTime Date() { return std::trunc(Now()); }

TDateTime Time() {
  TDateTime now = Now();
  return std::fabs(now - std::trunc(now));
}

TClockFunction SetClock(TClockFunction clock) { return currentClock.exchange(clock ? clock : SystemClock); }
