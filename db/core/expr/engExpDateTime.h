#pragma once
// Dates and times as expression values hold them, against TDateTime:
// a date is a day number (1 January of year 1 is day 1), a time the
// milliseconds since midnight, a timestamp the day number times 86,400,000
// plus the milliseconds. TDateTime values are rounded to milliseconds first.

#include <cstdint>
#include <span>
#include <string>

#include "rtlDateTime.h"
#include "rtlFormatSettings.h"

int32_t DateTimeToDayNumber(TDateTime value);
int32_t DateTimeToTimeOfDay(TDateTime value);
double DateTimeToTimeStamp(TDateTime value);

TDateTime DayNumberToDateTime(int32_t dayNumber);
TDateTime TimeOfDayToDateTime(int32_t milliseconds);
TDateTime TimeStampToDateTime(double timeStamp);

// Reads a date, time or timestamp text (a timestamp may also be a date or a
// time alone) by the settings into value: int32 for dates and times, double
// for timestamps, at the start of value, which holds at least that many
// bytes. False when the text is none.
bool TextToDateTimeValue(const std::string& text, uint8_t dataType, const TFormatSettings& settings,
                         std::span<uint8_t> value);
