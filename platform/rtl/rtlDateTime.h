#pragma once
// Dates and times as the class library keeps them: a double counting days
// since 1899-12-30, the time of day in its fraction. Before that day the
// fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00.
// Decoding rounds to whole milliseconds.

#include <cstdint>

using TDateTime = double;

constexpr int64_t MSecsPerDay = 86400000;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Years 1 to 9999. The Encode forms raise EConvertError on an invalid date
// or time; the Try forms return false and leave the result alone.
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time);
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec, TDateTime& value);
// Joins a date and a time of day as the encoding of both would.
TDateTime CombineDateTime(TDateTime date, TDateTime time);

void DecodeDate(TDateTime value, int& year, int& month, int& day);
// The date of a whole day count (the whole part of a TDateTime) in integer
// steps: what DecodeDate gives for that whole value, while the value times
// a day's milliseconds stays exact in a double (MaxExactDecodeDays).
void DecodeDays(int64_t days, int& year, int& month, int& day);
inline constexpr int64_t MaxExactDecodeDays = 100000000;
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec);

// 1 for Sunday to 7 for Saturday.
int DayOfWeek(TDateTime value);

// The current local date and time, from a clock that tests can replace.
using TClockFunction = TDateTime (*)();
TDateTime Now();
TDateTime Date();
TDateTime Time();
// nullptr restores the system clock. Returns the clock that was set.
TClockFunction SetClock(TClockFunction clock);
