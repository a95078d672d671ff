#include <cmath>
#include <cstring>
#include <limits>

#include "engBcd.h"
#include "engExpEvalInternal.h"
#include "engExpTypes.h"
#include "rtlAssert.h"
#include "rtlExceptions.h"

namespace {

constexpr double TwoToThe63 = 9223372036854775808.0;
constexpr int64_t MaxUnits = std::numeric_limits<int64_t>::max() - Currency::Scale;

void CheckRange(int64_t value, int64_t low, int64_t high, std::string_view operation) {
  if (value < low || value > high) RaiseOverflow(operation);
}

// The stored form needs one more digit than the value at its scale, and
// rounding to that scale must stay inside 64 bits.
void CheckBcdRange(int64_t units, uint8_t scale, std::string_view operation) {
  int64_t unit = 1;
  for (int i = scale; i < 4; ++i) unit *= 10;
  constexpr int64_t maxDigits = (std::numeric_limits<int64_t>::max() - 9) / 10 - 1;
  if (units < -MaxUnits || units > MaxUnits || units / unit > maxDigits || units / unit < -maxDigits)
    RaiseOverflow(operation);
}

}  // namespace

void SetBooleanResult(TExpToken& result, bool value) {
  result.IsNull = false;
  result.SetBoolean(value);
}

int64_t WholeValue(const TExpToken& node) {
  switch (node.DataType) {
    case dtSmallInt:
      return node.AsSmallInt();
    case dtWord:
    case dtBoolean:
      return node.AsWord();
    default:
      // The checker lets only whole numbers, dates and times get here: a
      // text, float or BCD read as 32 bits would be a wrong value, silently.
      ORV_ASSERT(!IsTextType(node.DataType, node.SubType) && node.DataType != dtFloat && node.DataType != dtBcd &&
                 node.DataType != dtTimeStamp && node.DataType != dtBytes);
      return node.AsInteger();
  }
}

double FloatValue(const TExpToken& node) {
  switch (node.DataType) {
    case dtFloat:
    case dtTimeStamp:
      return node.AsFloat();
    case dtBcd:
      return StoredBcdToFloat(node.AsBcd());
    default:
      return static_cast<double>(WholeValue(node));
  }
}

int64_t CurrencyUnits(const TExpToken& node) {
  if (node.DataType == dtBcd) return StoredBcdToCurrency(node.AsBcd()).Scaled;
  return WholeValue(node) * Currency::Scale;
}

void StoreWhole(TExpToken& result, int64_t value, std::string_view operation) {
  switch (result.DataType) {
    case dtSmallInt:
      CheckRange(value, INT16_MIN, INT16_MAX, operation);
      result.SetSmallInt(static_cast<int16_t>(value));
      break;
    case dtWord:
      CheckRange(value, 0, UINT16_MAX, operation);
      result.SetWord(static_cast<uint16_t>(value));
      break;
    default:
      CheckRange(value, INT32_MIN, INT32_MAX, operation);
      result.SetInteger(static_cast<int32_t>(value));
      break;
  }
  result.IsNull = false;
}

void StoreCurrencyUnits(TExpToken& result, int64_t units, uint8_t scale, std::string_view operation) {
  CheckBcdRange(units, scale, operation);
  result.SetBcd(CurrencyToStoredBcd(Currency::FromScaled(units), scale));
  result.IsNull = false;
}

int64_t RoundToWhole(double value, std::string_view operation) {
  double rounded = std::nearbyint(value);
  if (!(rounded >= -TwoToThe63 && rounded < TwoToThe63)) RaiseOverflow(operation);
  return static_cast<int64_t>(rounded);
}

void StoreText(TExpToken& result, std::string_view text) {
  const int32_t declared = result.DataSize;
  if (text.size() >= static_cast<size_t>(MaxTextValueSize)) RaiseOverflow("text value");
  result.SetText(text);
  const int32_t used = static_cast<int32_t>(text.size()) + 1;
  std::memset(result.Value + used, 0, result.ValueCapacity - used);
  result.IsNull = false;
  // A memo is as long as its text: neither the zero after it nor a size
  // the checker declared belongs to the value.
  if (result.DataType == dtBlob) {
    result.SetDataSize(used - 1);
    return;
  }
  if (declared > result.DataSize) result.SetDataSize(declared);
}

void StoreTextOrNull(TExpToken& result, std::string_view text) {
  if (text.empty())
    result.SetNull();
  else
    StoreText(result, text);
}

void TakeValue(TExpToken& result, const TExpToken& source) {
  if (source.ValueCapacity > result.ValueCapacity)
    GrowBuffer(source.ValueCapacity, TExpToken::ValueStep, result.Value, result.ValueCapacity);
  std::memcpy(result.Value, source.Value, source.ValueCapacity);
  std::memset(result.Value + source.ValueCapacity, 0, result.ValueCapacity - source.ValueCapacity);
  result.IsNull = source.IsNull;
  // Texts and BLOBs carry their own length.
  if (result.DataType == dtBlob || (result.DataType == source.DataType && source.DataSize > result.DataSize))
    result.DataSize = source.DataSize;
}

void RaiseOverflow(std::string_view operation) {
  throw EConvertError("Numeric overflow in " + std::string(operation));
}
