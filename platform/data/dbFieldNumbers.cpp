// Numeric fields: whole numbers, floats and BCD.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "dbConsts.h"
#include "dbFieldClasses.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"

namespace {

template <typename T>
T Load(const void* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <typename T>
void Store(void* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

}  // namespace

// ---- TNumericField ----

TNumericField::TNumericField(TComponent* owner) : TField(owner) { SetAlignment(taRightJustify); }

void TNumericField::SetDisplayFormat(const std::string& value) {
  displayFormat = value;
  PropertyChanged(false);
}

void TNumericField::SetEditFormat(const std::string& value) {
  editFormat = value;
  PropertyChanged(false);
}

const std::string& TNumericField::Picture(bool displayText) const {
  // Editing falls back on the display picture, as a control shows it.
  return displayText || editFormat.empty() ? displayFormat : editFormat;
}

void TNumericField::SetTextValue(const std::string& value) { SetAsStringValue(value); }

// ---- TIntegerField and the other whole numbers ----

TIntegerField::TIntegerField(TComponent* owner) : TNumericField(owner) { SetDataType(ftInteger); }

void TIntegerField::SetRange(int64_t low, int64_t high) {
  rangeLow = low;
  rangeHigh = high;
}

int64_t TIntegerField::ReadNative(const void* buffer) const { return Load<int32_t>(buffer); }

void TIntegerField::WriteNative(void* buffer, int64_t value) const { Store(buffer, static_cast<int32_t>(value)); }

bool TIntegerField::GetValue(int64_t& value) const {
  uint8_t buffer[sizeof(int64_t)] = {};
  if (!GetData(buffer)) return false;
  value = ReadNative(buffer);
  return true;
}

void TIntegerField::CheckAndStore(int64_t value) {
  const bool limited = minValue != 0 || maxValue != 0;
  const int64_t low = limited ? minValue : rangeLow;
  const int64_t high = limited ? maxValue : rangeHigh;
  if (value < low || value > high)
    throw EDatabaseError(SFieldRangeError, {IntToStr(value), DisplayName(), IntToStr(low), IntToStr(high)});
  uint8_t buffer[sizeof(int64_t)] = {};
  WriteNative(buffer, value);
  SetData(buffer);
}

std::string TIntegerField::GetAsString() const {
  int64_t value = 0;
  return GetValue(value) ? IntToStr(value) : std::string();
}

void TIntegerField::SetAsStringValue(const std::string& value) {
  const std::string text = Trim(value);
  if (text.empty()) {
    Clear();
    return;
  }
  int64_t number = 0;
  if (!TryStrToInt64(text, number)) throw EDatabaseError(SInvalidIntegerValue, {value, DisplayName()});
  CheckAndStore(number);
}

int TIntegerField::GetAsInteger() const {
  int64_t value = 0;
  GetValue(value);
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    throw EDatabaseError(SFieldValueOverflow, {DisplayName()});
  return static_cast<int>(value);
}

void TIntegerField::SetAsIntegerValue(int value) { CheckAndStore(value); }

int64_t TIntegerField::GetAsLargeInt() const {
  int64_t value = 0;
  GetValue(value);
  return value;
}

void TIntegerField::SetAsLargeIntValue(int64_t value) { CheckAndStore(value); }

double TIntegerField::GetAsFloat() const { return static_cast<double>(GetAsLargeInt()); }

void TIntegerField::SetAsFloatValue(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
    throw EDatabaseError(SFieldValueOverflow, {DisplayName()});
  CheckAndStore(static_cast<int64_t>(rounded));
}

Currency TIntegerField::GetAsCurrency() const { return Currency::FromInt(GetAsLargeInt()); }

void TIntegerField::SetAsCurrencyValue(Currency value) { CheckAndStore(Variant(value).AsInt64()); }

Variant TIntegerField::GetAsVariant() const { return Variant(GetAsInteger()); }

bool TIntegerField::GetVariantIfSet(Variant& value) const {
  int64_t number = 0;
  if (!GetValue(number)) return false;
  if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
    throw EDatabaseError(SFieldValueOverflow, {DisplayName()});
  value = Variant(static_cast<int>(number));
  return true;
}

void TIntegerField::SetVariantValue(const Variant& value) {
  if (value.VarType() == varString)
    SetAsStringValue(value.AsString());
  else
    CheckAndStore(value.AsInt64(FormatSettings()));
}

std::string TIntegerField::GetText(bool displayText) const {
  int64_t value = 0;
  if (!GetValue(value)) return {};
  const std::string& picture = Picture(displayText);
  return picture.empty() ? IntToStr(value) : FormatFloat(picture, static_cast<long double>(value), FormatSettings());
}

TSmallintField::TSmallintField(TComponent* owner) : TIntegerField(owner) {
  SetDataType(ftSmallint);
  SetRange(INT16_MIN, INT16_MAX);
}

int64_t TSmallintField::ReadNative(const void* buffer) const { return Load<int16_t>(buffer); }

void TSmallintField::WriteNative(void* buffer, int64_t value) const { Store(buffer, static_cast<int16_t>(value)); }

TWordField::TWordField(TComponent* owner) : TIntegerField(owner) {
  SetDataType(ftWord);
  SetRange(0, UINT16_MAX);
}

int64_t TWordField::ReadNative(const void* buffer) const { return Load<uint16_t>(buffer); }

void TWordField::WriteNative(void* buffer, int64_t value) const { Store(buffer, static_cast<uint16_t>(value)); }

TAutoIncField::TAutoIncField(TComponent* owner) : TIntegerField(owner) { SetDataType(ftAutoInc); }

TLargeintField::TLargeintField(TComponent* owner) : TIntegerField(owner) {
  SetDataType(ftLargeint);
  SetRange(INT64_MIN, INT64_MAX);
}

int64_t TLargeintField::ReadNative(const void* buffer) const { return Load<int64_t>(buffer); }

void TLargeintField::WriteNative(void* buffer, int64_t value) const { Store(buffer, value); }

Variant TLargeintField::GetAsVariant() const { return Variant(GetAsLargeInt()); }

bool TLargeintField::GetVariantIfSet(Variant& value) const {
  int64_t number = 0;
  if (!GetValue(number)) return false;
  value = Variant(number);
  return true;
}

// ---- TFloatField ----

TFloatField::TFloatField(TComponent* owner) : TNumericField(owner) { SetDataType(ftFloat); }

void TFloatField::SetCurrency(bool value) {
  currency = value;
  PropertyChanged(false);
}

void TFloatField::SetPrecision(int value) { precision = std::clamp(value, 2, 15); }

double TFloatField::GetAsFloat() const {
  double value = 0;
  GetData(&value);
  return value;
}

void TFloatField::SetAsFloatValue(double value) {
  if ((minValue != 0 || maxValue != 0) && (value < minValue || value > maxValue))
    throw EDatabaseError(SFieldRangeError, {FloatToStr(value, FormatSettings()), DisplayName(),
                                            FloatToStr(minValue, FormatSettings()),
                                            FloatToStr(maxValue, FormatSettings())});
  SetData(&value);
}

std::string TFloatField::GetAsString() const {
  double value = 0;
  if (!GetData(&value)) return {};
  return FloatToStrF(value, ffGeneral, precision, 0, FormatSettings());
}

void TFloatField::SetAsStringValue(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  double number = 0;
  if (!TryStrToFloat(value, number, FormatSettings()))
    throw EDatabaseError(SInvalidFloatValue, {value, DisplayName()});
  SetAsFloatValue(number);
}

int TFloatField::GetAsInteger() const { return Variant(GetAsFloat()).AsInteger(); }

void TFloatField::SetAsIntegerValue(int value) { SetAsFloatValue(value); }

int64_t TFloatField::GetAsLargeInt() const { return Variant(GetAsFloat()).AsInt64(); }

void TFloatField::SetAsLargeIntValue(int64_t value) { SetAsFloatValue(static_cast<double>(value)); }

::Currency TFloatField::GetAsCurrency() const { return ::Currency::FromDouble(GetAsFloat()); }

void TFloatField::SetAsCurrencyValue(::Currency value) { SetAsFloatValue(value.ToDouble()); }

Variant TFloatField::GetAsVariant() const { return Variant(GetAsFloat()); }

bool TFloatField::GetVariantIfSet(Variant& value) const {
  double number = 0;
  if (!GetData(&number)) return false;
  value = Variant(number);
  return true;
}

void TFloatField::SetVariantValue(const Variant& value) {
  if (value.VarType() == varString)
    SetAsStringValue(value.AsString());
  else
    SetAsFloatValue(value.AsFloat(FormatSettings()));
}

std::string TFloatField::GetText(bool displayText) const {
  double value = 0;
  if (!GetData(&value)) return {};
  const std::string& picture = Picture(displayText);
  if (!picture.empty()) return FormatFloat(picture, value, FormatSettings());
  if (currency && displayText)
    return FloatToStrF(value, ffCurrency, precision, FormatSettings().CurrencyDecimals, FormatSettings());
  return FloatToStrF(value, ffGeneral, precision, 0, FormatSettings());
}

TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner) {
  SetDataType(ftCurrency);
  SetCurrency(true);
}

// ---- TBCDField ----

TBCDField::TBCDField(TComponent* owner) : TNumericField(owner) {
  SetDataType(ftBCD);
  SetSizeValue(4);
}

void TBCDField::SetCurrency(bool value) {
  currency = value;
  PropertyChanged(false);
}

::Currency TBCDField::GetAsCurrency() const {
  ::Currency value;
  GetData(&value, false);
  return value;
}

void TBCDField::SetAsCurrencyValue(::Currency value) {
  if ((minValue != ::Currency() || maxValue != ::Currency()) && (value < minValue || value > maxValue))
    throw EDatabaseError(SFieldRangeError, {CurrToStr(value, FormatSettings()), DisplayName(),
                                            CurrToStr(minValue, FormatSettings()),
                                            CurrToStr(maxValue, FormatSettings())});
  SetData(&value, false);
}

std::string TBCDField::GetAsString() const {
  ::Currency value;
  if (!GetData(&value, false)) return {};
  return CurrToStr(value, FormatSettings());
}

void TBCDField::SetAsStringValue(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  ::Currency number;
  if (!TryStrToCurr(value, number, FormatSettings()))
    throw EDatabaseError(SInvalidFloatValue, {value, DisplayName()});
  SetAsCurrencyValue(number);
}

int TBCDField::GetAsInteger() const { return Variant(GetAsCurrency()).AsInteger(); }

void TBCDField::SetAsIntegerValue(int value) { SetAsCurrencyValue(::Currency::FromInt(value)); }

int64_t TBCDField::GetAsLargeInt() const { return Variant(GetAsCurrency()).AsInt64(); }

double TBCDField::GetAsFloat() const { return GetAsCurrency().ToDouble(); }

void TBCDField::SetAsFloatValue(double value) { SetAsCurrencyValue(::Currency::FromDouble(value)); }

Variant TBCDField::GetAsVariant() const { return Variant(GetAsCurrency()); }

void TBCDField::SetVariantValue(const Variant& value) {
  if (value.VarType() == varString)
    SetAsStringValue(value.AsString());
  else
    SetAsCurrencyValue(value.AsCurrency(FormatSettings()));
}

std::string TBCDField::GetText(bool displayText) const {
  ::Currency value;
  if (!GetData(&value, false)) return {};
  const std::string& picture = Picture(displayText);
  if (!picture.empty()) return FormatFloat(picture, value.ToDouble(), FormatSettings());
  if (currency && displayText) return CurrToStrF(value, ffCurrency, FormatSettings().CurrencyDecimals, FormatSettings());
  return CurrToStr(value, FormatSettings());
}
