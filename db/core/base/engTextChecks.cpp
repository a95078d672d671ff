#include "engTextChecks.h"

#include "engStrings.h"
#include "rtlConvert.h"
#include "rtlExceptions.h"

namespace {

bool IsIntegerWithin(const std::string& text, int low, int high) {
  int value;
  return TryStrToInt(text, value) && value >= low && value <= high;
}

}  // namespace

bool IsValidWord(const std::string& text) { return IsIntegerWithin(text, 0, 65535); }

bool IsValidInteger(const std::string& text) {
  int value;
  return TryStrToInt(text, value);
}

bool IsValidSmallInt(const std::string& text) { return IsIntegerWithin(text, -32768, 32767); }

bool IsValidBoolean(const std::string& text) {
  try {
    TextToBool(text);
    return true;
  } catch (const EConvertError&) {
    return false;
  }
}

bool IsValidFloat(const std::string& text, const TFormatSettings& settings) {
  double value;
  return TryStrToFloat(text, value, settings);
}

bool IsValidDate(const std::string& text, const TFormatSettings& settings) {
  TDateTime value;
  return TryStrToDate(text, value, settings);
}

bool IsValidDateTime(const std::string& text, const TFormatSettings& settings) {
  TDateTime value;
  return TryStrToDateTime(text, value, settings);
}

bool IsValidTime(const std::string& text, const TFormatSettings& settings) {
  TDateTime value;
  return TryStrToTime(text, value, settings);
}
