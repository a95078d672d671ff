#include "engDataDefaultText.h"
#include "engFieldTypes.h"

#include <initializer_list>

#include "engTextChecks.h"
#include "rtlStrUtils.h"

namespace {

using namespace EngineFieldTypes;

bool IsOneOf(const std::string& text, std::initializer_list<const char*> keywords) {
  for (const char* keyword : keywords)
    if (SameText(text, keyword)) return true;
  return false;
}

}  // namespace

bool IsValidDefaultText(const std::string& text, uint8_t fieldType, const TFormatSettings& settings) {
  if (text.empty()) return true;
  switch (fieldType) {
    case ftDate:
      return IsOneOf(text, {"DATE"}) || IsValidDate(text, settings);
    case ftTime:
      return IsOneOf(text, {"TIME"}) || IsValidTime(text, settings);
    case ftTimeStamp:
      return IsOneOf(text, {"NOW", "DATE", "TIME"}) || IsValidDateTime(text, settings) ||
             IsValidDate(text, settings) || IsValidTime(text, settings);
    case ftBoolean:
      return IsValidBoolean(text);
    case ftSmallInt:
      return IsValidSmallInt(text);
    case ftInteger:
      return IsValidInteger(text);
    case ftWord:
      return IsValidWord(text);
    case ftFloat:
    case ftDecimal:
      return IsValidFloat(text, settings);
    default:
      return true;
  }
}
