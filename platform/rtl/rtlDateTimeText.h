#pragma once
// Dates and times as text, by the class library's format specifiers:
//   c            short date, then the long time unless it is midnight
//   d dd         day;  ddd dddd  short or long day name
//   ddddd dddddd short or long date format
//   m mm         month (minutes right after an hour); mmm mmmm month name
//   yy yyyy      year;  h hh  hour;  n nn  minute;  s ss  second
//   z zzz        millisecond;  t tt  short or long time format
//   am/pm a/p    12-hour clock, letters in the specifier's case
//   ampm         12-hour clock with the settings' AM and PM texts
//   / :          date and time separator;  "..." '...'  literal text
// Parsing reads numbers in the order of the short date format, separated
// by the date separator; times are hour:minute[:second[.msec]] with an
// optional AM or PM.

#include <string>

#include "rtlDateTime.h"
#include "rtlFormatSettings.h"

std::string FormatDateTime(const std::string& format, TDateTime value, const TFormatSettings& settings);
std::string FormatDateTime(const std::string& format, TDateTime value);

std::string DateToStr(TDateTime value, const TFormatSettings& settings);
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value, const TFormatSettings& settings);
std::string TimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings);
std::string DateTimeToStr(TDateTime value);

// A date without a year takes the current one (Now()); two-digit years
// follow TwoDigitYearCenturyWindow.
bool TryStrToDate(const std::string& text, TDateTime& value, const TFormatSettings& settings);
bool TryStrToTime(const std::string& text, TDateTime& value, const TFormatSettings& settings);
bool TryStrToDateTime(const std::string& text, TDateTime& value, const TFormatSettings& settings);
bool TryStrToDate(const std::string& text, TDateTime& value);
bool TryStrToTime(const std::string& text, TDateTime& value);
bool TryStrToDateTime(const std::string& text, TDateTime& value);

// Raise EConvertError on text that does not convert.
TDateTime StrToDate(const std::string& text, const TFormatSettings& settings);
TDateTime StrToTime(const std::string& text, const TFormatSettings& settings);
TDateTime StrToDateTime(const std::string& text, const TFormatSettings& settings);
TDateTime StrToDate(const std::string& text);
TDateTime StrToTime(const std::string& text);
TDateTime StrToDateTime(const std::string& text);
