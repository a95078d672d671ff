// Functions and aggregates other than the text functions. A NULL argument
// gives NULL.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "engExpDateTime.h"
#include "engExpEvalConvert.h"
#include "engExpEvalInternal.h"
#include "engExpTypes.h"
#include "engNumbers.h"
#include "rtlDateTime.h"
#include "rtlExceptions.h"

namespace {

// What CAST converts from: the longest string value and its zero byte.
constexpr int32_t CastWorkSize = 251;

const char* TypeName(uint8_t type) {
  static const char* const names[] = {"NULL",    "CHAR",  "DATE",    "BLOB", "BOOLEAN", "SMALLINT", "INTEGER",
                                      "FLOAT",   "DECIMAL", "BYTES", "TIME", "TIMESTAMP", "WORD"};
  return type <= dtWord ? names[type] : "?";
}

[[noreturn]] void RaiseCastError(const TExpToken& operand, uint8_t targetType) {
  std::string message = "CAST function argument cannot be converted to " + std::string(TypeName(targetType));
  if (operand.DataType == dtString) message += std::string(" from '") + operand.AsText() + "'";
  throw EConvertError(message);
}

void Cast(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  const TExpValue operand = EvaluateValue(context, *node.First);
  if (operand->IsNull) {
    result.SetNull();
  } else if (operand->DataType == dtBlob) {  // only to a BLOB: unchanged, whatever its length
    TakeValue(result, *operand);
  } else {
    // The guard byte ends any text that fills the work area.
    uint8_t work[CastWorkSize + 1] = {};
    const int32_t size = std::clamp(std::min(operand->DataSize, operand->ValueCapacity), 0, CastWorkSize);
    std::memcpy(work, operand->Value, size);
    if (!ConvertFieldValue(operand->DataType, {work, size_t(size)}, result.DataType,
                           {result.Value, size_t(result.DataSize)}, result.Scale, *context.FormatSettings,
                           context.LanguageId))
      RaiseCastError(*operand, result.DataType);
    result.IsNull = false;
  }
}

int64_t ExtractPart(uint8_t code, const TExpToken& operand) {
  int year = 0, month = 0, day = 0, dayOfWeek = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  const int64_t days = operand.DataType == dtDate ? static_cast<int64_t>(DayNumberToDateTime(operand.AsInteger())) : 0;
  // A date's year, month and day in integer steps (a month total extracts
  // two parts of every row's date); its time of day is midnight.
  if (operand.DataType == dtDate && code != fnExtractDayOfWeek && days >= -MaxExactDecodeDays &&
      days <= MaxExactDecodeDays) {
    DecodeDays(days, year, month, day);
  } else if (operand.DataType == dtTime) {
    DecodeTime(TimeOfDayToDateTime(operand.AsInteger()), hour, minute, second, millisecond);
  } else {
    const TDateTime value = operand.DataType == dtDate ? DayNumberToDateTime(operand.AsInteger())
                                                      : TimeStampToDateTime(operand.AsFloat());
    DecodeDateTime(value, year, month, day, hour, minute, second, millisecond);
    dayOfWeek = DayOfWeek(value);
  }
  switch (code) {
    case fnExtractYear:
      return year;
    case fnExtractMonth:
      return month;
    case fnExtractDay:
      return day;
    case fnExtractDayOfWeek:
      return dayOfWeek;
    case fnExtractHour:
      return hour;
    case fnExtractMinute:
      return minute;
    default:
      return second;
  }
}

int64_t Absolute(const TExpToken& operand) {
  static constexpr std::string_view operation = "ABS function";
  int64_t value = operand.DataType == dtFloat || operand.DataType == dtBcd ? RoundToWhole(FloatValue(operand), operation)
                                                                         : WholeValue(operand);
  if (value == INT64_MIN) RaiseOverflow(operation);
  return value < 0 ? -value : value;
}

double Round(const TExpEvalContext& context, const TExpToken& node, const TExpToken& operand) {
  int64_t decimals = 0;
  if (node.Second) decimals = WholeValue(*EvaluateValue(context, *node.Second));
  const double value = FloatValue(operand);
  const double rounded = RoundFloat(value, static_cast<int>(std::clamp<int64_t>(decimals, 0, 32)));
  // Scaling a large value by many decimals overflows; it has no digits there.
  return std::isfinite(rounded) ? rounded : value;
}

// The argument's value; the SQL engine does the aggregation.
void Aggregate(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  TakeValue(result, *EvaluateValue(context, *node.First));
}

void If(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  const bool condition = EvaluateValue(context, *node.First)->AsBoolean();
  TakeValue(result, *EvaluateValue(context, condition ? *node.Second : *node.Third));
}

}  // namespace

void EvaluateFunction(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  switch (node.Code) {
    case fnSum:
    case fnCount:
    case fnMin:
    case fnMax:
    case fnAvg:
      Aggregate(context, node, result);
      return;
    case fnCast:
      Cast(context, node, result);
      return;
    case fnIf:
      If(context, node, result);
      return;
    case fnExtractYear:
    case fnExtractMonth:
    case fnExtractDay:
    case fnExtractDayOfWeek:
    case fnExtractHour:
    case fnExtractMinute:
    case fnExtractSecond:
    case fnAbs:
    case fnRound:
      break;
    default:
      EvaluateTextFunction(context, node, result);
      return;
  }
  const TExpValue operand = EvaluateValue(context, *node.First);
  if (operand->IsNull) {
    result.SetNull();
  } else if (node.Code == fnRound) {
    result.SetFloat(Round(context, node, *operand));
    result.IsNull = false;
  } else if (node.Code == fnAbs) {
    StoreWhole(result, Absolute(*operand), "ABS function");
  } else {
    StoreWhole(result, ExtractPart(node.Code, *operand), "EXTRACT function");
  }
}
