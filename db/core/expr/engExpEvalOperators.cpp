// Comparison and arithmetic operators by the types the checker gave their
// operands.

#include <cmath>
#include <cstring>
#include <string>

#include "engExpEvalInternal.h"
#include "engExpTypes.h"
#include "engTextCompare.h"
#include "rtlAssert.h"
#include "rtlCurrency.h"

namespace {

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

const char* TextOf(const TExpToken& node) { return reinterpret_cast<const char*>(node.Value); }

// Named only when a result overflows, but asked for at every operation:
// no text is made for it.
std::string_view OperatorName(uint8_t op) {
  static constexpr std::string_view names[] = {"'+' operator", "'-' operator", "'*' operator", "'/' operator"};
  ORV_ASSERT(op >= opAdd && op <= opDivide);
  return names[op - opAdd];
}

// A date as the timestamp of its midnight.
double TimeStampOf(const TExpToken& node) {
  return node.DataType == dtTimeStamp ? node.AsFloat() : static_cast<double>(node.AsInteger()) * MSecsPerDayInt;
}

void SplitTimeStamp(double timeStamp, int64_t& day, int64_t& milliseconds, std::string_view operation) {
  double wholeDays = std::floor(timeStamp / MSecsPerDayInt);
  day = RoundToWhole(wholeDays, operation);
  milliseconds = RoundToWhole(timeStamp - wholeDays * MSecsPerDayInt, operation);
}

int CompareValues(const TExpEvalContext& context, const TExpToken& left, const TExpToken& right) {
  const uint8_t lt = left.DataType, rt = right.DataType;
  if (IsTextType(lt, left.SubType) || IsTextType(rt, right.SubType))
    return CompareKeyText(context.LanguageId, context.SortId, TextOf(left), false, 0, TextOf(right));
  if (lt == dtBoolean || rt == dtBoolean) return Sign(left.AsBoolean(), right.AsBoolean());
  if (lt == dtTimeStamp || rt == dtTimeStamp) return Sign(TimeStampOf(left), TimeStampOf(right));
  if (lt == dtDate || lt == dtTime || rt == dtDate || rt == dtTime) return Sign(left.AsInteger(), right.AsInteger());
  if (lt == dtFloat || rt == dtFloat) return Sign(FloatValue(left), FloatValue(right));
  if (lt == dtBcd || rt == dtBcd) return Sign(CurrencyUnits(left), CurrencyUnits(right));
  return Sign(WholeValue(left), WholeValue(right));
}

void Concatenate(const TExpToken& left, const TExpToken& right, TExpToken& result) {
  const int64_t size = int64_t{left.DataSize} - 1 + right.DataSize;
  if (size > MaxTextValueSize) RaiseOverflow("'||' operator");
  result.SetDataSize(static_cast<int32_t>(size));
  std::string text(left.AsText());
  text += right.AsText();
  StoreTextOrNull(result, text);
}

// numerator / denominator, ties to even as the FPU rounds.
__int128 DivideRounded(__int128 numerator, __int128 denominator) {
  __int128 quotient = numerator / denominator;
  __int128 twiceRest = 2 * (numerator % denominator);
  if (twiceRest < 0) twiceRest = -twiceRest;
  __int128 size = denominator < 0 ? -denominator : denominator;
  if (twiceRest > size || (twiceRest == size && (quotient & 1) != 0))
    quotient += (numerator < 0) != (denominator < 0) ? -1 : 1;
  return quotient;
}

void BcdArithmetic(uint8_t op, const TExpToken& left, const TExpToken& right, TExpToken& result) {
  const __int128 a = CurrencyUnits(left), b = CurrencyUnits(right);
  __int128 units;
  switch (op) {
    case opAdd:
      units = a + b;
      break;
    case opSubtract:
      units = a - b;
      break;
    case opMultiply:
      units = DivideRounded(a * b, Currency::Scale);
      break;
    default:
      units = DivideRounded(a * Currency::Scale, b);
      break;
  }
  if (units < INT64_MIN || units > INT64_MAX) RaiseOverflow(OperatorName(op));
  const uint8_t scale = left.DataType == dtBcd ? left.Scale : right.Scale;
  StoreCurrencyUnits(result, static_cast<int64_t>(units), scale, OperatorName(op));
}

void FloatArithmetic(uint8_t op, const TExpToken& left, const TExpToken& right, TExpToken& result) {
  const double a = FloatValue(left), b = FloatValue(right);
  result.SetFloat(op == opAdd ? a + b : op == opSubtract ? a - b : op == opMultiply ? a * b : a / b);
  result.IsNull = false;
}

// Operands of 32 bits at most, so 64 bits hold every result.
void WholeArithmetic(uint8_t op, const TExpToken& left, const TExpToken& right, TExpToken& result) {
  const int64_t a = WholeValue(left), b = WholeValue(right);
  const int64_t value = op == opAdd ? a + b : op == opSubtract ? a - b : op == opMultiply ? a * b : a / b;
  StoreWhole(result, value, OperatorName(op));
}

// Dates move by days, times by milliseconds, timestamps by days.
void MoveMoment(const TExpToken& moment, int64_t amount, TExpToken& result, std::string_view operation) {
  if (moment.DataType == dtTimeStamp) {
    result.SetFloat(moment.AsFloat() + static_cast<double>(amount) * MSecsPerDayInt);
    result.IsNull = false;
  } else {
    StoreWhole(result, moment.AsInteger() + amount, operation);
  }
}

void DateTimeArithmetic(uint8_t op, const TExpToken& left, const TExpToken& right, TExpToken& result) {
  // Moments only move or subtract: the checker refuses them to * and /.
  ORV_ASSERT(op == opAdd || op == opSubtract);
  const std::string_view operation = OperatorName(op);
  const uint8_t lt = left.DataType, rt = right.DataType;
  if (op == opAdd) {
    const bool momentLeft = IsDateTimeType(lt);
    MoveMoment(momentLeft ? left : right, WholeValue(momentLeft ? right : left), result, operation);
  } else if (IsWholeNumberType(rt)) {
    MoveMoment(left, -WholeValue(right), result, operation);
  } else if (lt == dtTimeStamp && rt == dtTimeStamp) {
    result.SetFloat(left.AsFloat() - right.AsFloat());
    result.IsNull = false;
  } else if (lt == dtTimeStamp) {
    int64_t day, milliseconds;
    SplitTimeStamp(left.AsFloat(), day, milliseconds, operation);
    StoreWhole(result, (rt == dtDate ? day : milliseconds) - right.AsInteger(), operation);
  } else {
    StoreWhole(result, int64_t{left.AsInteger()} - right.AsInteger(), operation);
  }
}

}  // namespace

bool ApplyComparison(const TExpEvalContext& context, uint8_t op, const TExpToken& left, const TExpToken& right) {
  if (op == opEqual || op == opNotEqual) {
    bool equal = left.IsNull || right.IsNull ? left.IsNull && right.IsNull : CompareValues(context, left, right) == 0;
    return (op == opEqual) == equal;
  }
  const int order = CompareValues(context, left, right);
  switch (op) {
    case opGreater:
      return order > 0;
    case opLess:
      return order < 0;
    case opGreaterEqual:
      return order >= 0;
    default:
      return order <= 0;
  }
}

void ApplyArithmetic(uint8_t op, const TExpToken& left, const TExpToken& right, TExpToken& result) {
  ORV_ASSERT(op >= opAdd && op <= opDivide);
  if (IsTextType(left.DataType, left.SubType) && IsTextType(right.DataType, right.SubType)) {
    Concatenate(left, right, result);
  } else if (left.IsNull || right.IsNull || (op == opDivide && FloatValue(right) == 0)) {
    result.SetNull();
  } else if (IsDateTimeType(left.DataType) || IsDateTimeType(right.DataType)) {
    DateTimeArithmetic(op, left, right, result);
  } else if (result.DataType == dtFloat) {
    FloatArithmetic(op, left, right, result);
  } else if (result.DataType == dtBcd) {
    BcdArithmetic(op, left, right, result);
  } else {
    WholeArithmetic(op, left, right, result);
  }
}

void NegateValue(const TExpToken& operand, TExpToken& result) {
  static constexpr std::string_view operation = "'-' operator";
  switch (operand.DataType) {
    case dtFloat:
    case dtTimeStamp:
      result.SetFloat(-operand.AsFloat());
      result.IsNull = false;
      break;
    case dtBcd: {
      int64_t negated;
      if (__builtin_sub_overflow(int64_t{0}, CurrencyUnits(operand), &negated)) RaiseOverflow(operation);
      StoreCurrencyUnits(result, negated, result.Scale, operation);
      break;
    }
    default:
      StoreWhole(result, -WholeValue(operand), operation);
      break;
  }
}
