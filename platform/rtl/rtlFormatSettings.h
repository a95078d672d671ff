#pragma once
// Number, currency and date-time format rules. There is no process-wide
// locale: every conversion takes its settings explicitly, and the overloads
// without settings use those of language 0.

#include <array>
#include <cstdint>
#include <string>

struct TFormatSettings {
  std::string CurrencyString;
  // 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"
  uint8_t CurrencyFormat = 0;
  // 0 "($1)" 1 "-$1" 2 "$-1" 3 "$1-" 4 "(1$)" 5 "-1$" 6 "1-$" 7 "1$-"
  // 8 "-1 $" 9 "-$ 1" 10 "1 $-" 11 "$ 1-" 12 "$ -1" 13 "1- $" 14 "($ 1)" 15 "(1 $)"
  uint8_t NegCurrFormat = 0;
  // A string: some languages group digits with a no-break space (UTF-8).
  // Empty means no grouping.
  std::string ThousandSeparator = ",";
  char DecimalSeparator = '.';
  uint8_t CurrencyDecimals = 2;
  char DateSeparator = '-';
  char TimeSeparator = ':';
  char ListSeparator = ',';
  std::string ShortDateFormat = "yyyy-mm-dd";
  std::string LongDateFormat = "dddd, mmmm dd, yyyy";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string ShortTimeFormat = "hh:mm";
  std::string LongTimeFormat = "hh:mm:ss";
  std::array<std::string, 12> ShortMonthNames;
  std::array<std::string, 12> LongMonthNames;
  std::array<std::string, 7> ShortDayNames;  // Sunday first
  std::array<std::string, 7> LongDayNames;
  // Two-digit years fall within the 100 years ending this many years after
  // the current year; 0 puts them in the current century.
  uint16_t TwoDigitYearCenturyWindow = 50;

  // English names, the rest as declared: the neutral rules of language 0.
  TFormatSettings();
};

// The rules of a Windows language id; unknown ids and 0 give the neutral rules.
TFormatSettings FormatSettingsForLanguage(uint16_t languageId);
// The same rules, built once per language and kept for the process.
const TFormatSettings& SharedFormatSettingsForLanguage(uint16_t languageId);

// The neutral rules, built once.
const TFormatSettings& NeutralFormatSettings();
