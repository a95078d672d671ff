#include "engExpEvalConvert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "engBcd.h"
#include "engExpDateTime.h"
#include "engExpEvalInternal.h"
#include "engExpTypeCheck.h"
#include "engExpTypes.h"
#include "engStrings.h"
#include "rtlConvert.h"
#include "rtlExceptions.h"

namespace {

const std::string ConversionName = "conversion";

// One value in its field encoding.
struct TValue {
  uint8_t Type;
  int32_t Size;
  const uint8_t* Bytes;

  template <typename T>
  T Read() const {
    T value{};
    std::memcpy(&value, Bytes, std::min<size_t>(sizeof value, static_cast<size_t>(std::max(Size, 0))));
    return value;
  }
  std::string_view Text() const {
    const char* text = reinterpret_cast<const char*>(Bytes);
    return {text, strnlen(text, static_cast<size_t>(std::max(Size, 0)))};
  }
  int64_t Whole() const {
    switch (Type) {
      case dtSmallInt:
        return Read<int16_t>();
      case dtWord:
      case dtBoolean:
        return Read<uint16_t>();
      default:
        return Read<int32_t>();
    }
  }
};

template <typename T>
void Write(void* target, T value) {
  std::memcpy(target, &value, sizeof value);
}

std::optional<std::string> ValueText(const TValue& source, const TFormatSettings& settings) {
  switch (source.Type) {
    case dtString:
    case dtBytes:
      return std::string(source.Text());
    case dtDate:
      return DateToStr(DayNumberToDateTime(source.Read<int32_t>()), settings);
    case dtTime:
      return TimeToStr(TimeOfDayToDateTime(source.Read<int32_t>()), settings);
    case dtTimeStamp:
      return DateTimeToStr(TimeStampToDateTime(source.Read<double>()), settings);
    case dtBoolean:
      return BoolToText(source.Read<uint16_t>() != 0);
    case dtSmallInt:
    case dtInteger:
    case dtWord:
      return IntToStr(source.Whole());
    case dtFloat:
      return FloatToStr(source.Read<double>(), settings);
    case dtBcd:
      return CurrToStr(StoredBcdToCurrency(source.Read<int64_t>()), settings);
    default:
      return std::nullopt;
  }
}

// At most size - 1 bytes and a zero, never ending inside a UTF-8 sequence
// under language 0.
void StoreFieldText(std::string_view text, void* target, int32_t size, uint16_t languageId) {
  if (size < 1) return;
  size_t length = std::min(text.size(), static_cast<size_t>(size - 1));
  if (languageId == 0 && length < text.size())
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  std::memset(target, 0, size);
  std::memcpy(target, text.data(), length);
}

bool ToMoment(const TValue& source, uint8_t targetType, void* target, const TFormatSettings& settings) {
  if (source.Type == dtString)
    return TextToDateTimeValue(std::string(source.Text()), targetType, settings,
                               {static_cast<uint8_t*>(target), targetType == dtTimeStamp ? 8u : 4u});
  if (source.Type == targetType) {
    std::memcpy(target, source.Bytes, targetType == dtTimeStamp ? 8 : 4);
    return true;
  }
  if (targetType == dtTimeStamp) {
    const double day = source.Type == dtDate ? source.Read<int32_t>() : 0;
    const double milliseconds = source.Type == dtTime ? source.Read<int32_t>() : 0;
    Write(target, day * MSecsPerDayInt + milliseconds);
    return source.Type == dtDate || source.Type == dtTime;
  }
  if (source.Type != dtTimeStamp) return false;
  const double timeStamp = source.Read<double>();
  const double day = std::floor(timeStamp / MSecsPerDayInt);
  const int64_t part = RoundToWhole(targetType == dtDate ? day : timeStamp - day * MSecsPerDayInt, ConversionName);
  if (part < INT32_MIN || part > INT32_MAX) return false;
  Write(target, static_cast<int32_t>(part));
  return true;
}

// Text, boolean or number as a whole number; nullopt when it is none.
std::optional<int64_t> WholeOf(const TValue& source) {
  switch (source.Type) {
    case dtString: {
      int value;
      if (!TryStrToInt(std::string(source.Text()), value)) return std::nullopt;
      return value;
    }
    case dtBoolean:
      return source.Read<uint16_t>() != 0 ? 1 : 0;
    case dtSmallInt:
    case dtInteger:
    case dtWord:
      return source.Whole();
    case dtFloat:
      return RoundToWhole(source.Read<double>(), ConversionName);
    case dtBcd:
      return RoundToWhole(StoredBcdToFloat(source.Read<int64_t>()), ConversionName);
    default:
      return std::nullopt;
  }
}

// Whole-number targets keep the low bits of the value.
bool ToWhole(const TValue& source, uint8_t targetType, void* target) {
  std::optional<int64_t> value = WholeOf(source);
  if (!value) return false;
  const uint64_t bits = static_cast<uint64_t>(*value);
  if (targetType == dtInteger)
    Write(target, static_cast<int32_t>(static_cast<uint32_t>(bits)));
  else
    Write(target, static_cast<uint16_t>(bits));
  return true;
}

bool ToBoolean(const TValue& source, void* target) {
  bool value;
  switch (source.Type) {
    case dtString:
      value = TextToBool(std::string(source.Text()));
      break;
    case dtBoolean:
    case dtSmallInt:
    case dtInteger:
    case dtWord:
      value = source.Whole() != 0;
      break;
    default:
      return false;
  }
  Write<uint16_t>(target, value ? 1 : 0);
  return true;
}

bool ToFloat(const TValue& source, void* target, const TFormatSettings& settings) {
  double value;
  switch (source.Type) {
    case dtString:
      if (!TryStrToFloat(std::string(source.Text()), value, settings)) return false;
      break;
    case dtSmallInt:
    case dtInteger:
    case dtWord:
      value = static_cast<double>(source.Whole());
      break;
    case dtFloat:
      value = source.Read<double>();
      break;
    case dtBcd:
      value = StoredBcdToFloat(source.Read<int64_t>());
      break;
    default:
      return false;
  }
  Write(target, value);
  return true;
}

bool ToBcd(const TValue& source, uint8_t scale, void* target, const TFormatSettings& settings) {
  int64_t stored;
  switch (source.Type) {
    case dtString: {
      Currency value;
      if (!TryStrToCurr(std::string(source.Text()), value, settings)) return false;
      stored = CurrencyToStoredBcd(value, scale);
      break;
    }
    case dtBoolean:
      stored = CurrencyToStoredBcd(Currency::FromInt(source.Whole() != 0 ? 1 : 0), scale);
      break;
    case dtSmallInt:
    case dtInteger:
    case dtWord:
      stored = CurrencyToStoredBcd(Currency::FromInt(source.Whole()), scale);
      break;
    case dtFloat: {
      const double value = source.Read<double>();
      if (!std::isfinite(value)) return false;
      stored = FloatToStoredBcd(value, scale);
      break;
    }
    case dtBcd:
      stored = CurrencyToStoredBcd(StoredBcdToCurrency(source.Read<int64_t>()), scale);
      break;
    default:
      return false;
  }
  Write(target, stored);
  return true;
}

bool Convert(const TValue& source, uint8_t targetType, int32_t targetSize, uint8_t targetScale, void* target,
             const TFormatSettings& settings, uint16_t languageId) {
  if (targetType == dtBytes || (source.Type == dtBlob && targetType == dtBlob)) {
    const int32_t size = std::max(targetSize, 0);
    std::memset(target, 0, size);
    std::memcpy(target, source.Bytes, std::clamp(source.Size, 0, size));
    return true;
  }
  if (source.Type == dtBytes && targetType != dtString) return false;
  switch (targetType) {
    case dtString: {
      std::optional<std::string> text = ValueText(source, settings);
      if (!text) return false;
      StoreFieldText(*text, target, targetSize, languageId);
      return true;
    }
    case dtDate:
    case dtTime:
    case dtTimeStamp:
      return ToMoment(source, targetType, target, settings);
    case dtBoolean:
      return ToBoolean(source, target);
    case dtSmallInt:
    case dtInteger:
    case dtWord:
      return ToWhole(source, targetType, target);
    case dtFloat:
      return ToFloat(source, target, settings);
    case dtBcd:
      return ToBcd(source, targetScale, target, settings);
    default:
      return false;
  }
}

}  // namespace

bool ConvertFieldValue(uint8_t sourceType, std::span<const uint8_t> source, uint8_t targetType,
                       std::span<uint8_t> target, uint8_t targetScale, const TFormatSettings& settings,
                       uint16_t languageId) {
  try {
    return Convert({sourceType, int32_t(source.size()), source.data()}, targetType, int32_t(target.size()),
                   targetScale, target.data(), settings, languageId);
  } catch (const EConvertError&) {
    return false;
  }
}

bool ConvertValueToType(const TExpToken& source, const void* sourceValue, const TExpToken& target, void* value) {
  const TValue from{source.DataType, 8, static_cast<const uint8_t*>(sourceValue)};
  const uint8_t to = target.DataType;
  if (IsWholeNumberType(to)) {
    if (!IsNumberType(from.Type)) return false;
    return ToWhole(from, to, value);
  }
  if (to == dtFloat && (IsWholeNumberType(from.Type) || from.Type == dtBcd)) return ToFloat(from, value, NeutralFormatSettings());
  if (to == dtBcd && (IsWholeNumberType(from.Type) || from.Type == dtFloat))
    return ToBcd(from, target.Scale, value, NeutralFormatSettings());
  if ((to == dtDate && from.Type == dtTimeStamp) || (to == dtTimeStamp && from.Type == dtDate))
    return ToMoment(from, to, value, NeutralFormatSettings());
  return false;
}
