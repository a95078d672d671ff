#pragma once
// Whether a text converts to a value of a field type: used when defaults,
// limits and parameters are checked before they are stored. Numbers with a
// fraction, currencies and dates follow the settings passed.

#include <string>

#include "rtlFormatSettings.h"

bool IsValidWord(const std::string& text);  // 0 .. 65535
bool IsValidInteger(const std::string& text);
bool IsValidSmallInt(const std::string& text);  // -32768 .. 32767
bool IsValidBoolean(const std::string& text);
bool IsValidFloat(const std::string& text, const TFormatSettings& settings);
bool IsValidDate(const std::string& text, const TFormatSettings& settings);
bool IsValidDateTime(const std::string& text, const TFormatSettings& settings);
bool IsValidTime(const std::string& text, const TFormatSettings& settings);
