#include "rtlVariant.h"

#include <cmath>
#include <limits>

#include "rtlConvert.h"
#include "rtlStrUtils.h"

namespace {

constexpr const char* TrueText = "True";
constexpr const char* FalseText = "False";
constexpr int64_t VariantTrue = -1;

bool IsWholeKind(TVarType type) {
  return type == varSmallint || type == varInteger || type == varWord || type == varLongWord || type == varInt64;
}

// Whole numbers round half to even, as the class library's variant
// conversions do; values outside the target's range do not convert.
bool RoundToInt64(double value, int64_t& result) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) return false;
  result = static_cast<int64_t>(rounded);
  return true;
}

}  // namespace

std::string VarTypeName(TVarType type) {
  if (type & varArray) return "Array " + VarTypeName(type & varTypeMask);
  switch (type) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varSmallint: return "Smallint";
    case varInteger: return "Integer";
    case varDouble: return "Double";
    case varCurrency: return "Currency";
    case varDate: return "Date";
    case varBoolean: return "Boolean";
    case varVariant: return "Variant";
    case varByte: return "Byte";
    case varWord: return "Word";
    case varLongWord: return "LongWord";
    case varInt64: return "Int64";
    case varString: return "String";
    default: return "Unknown";
  }
}

Variant Variant::Null() {
  Variant v;
  v.type = varNull;
  return v;
}

Variant Variant::FromDate(TDateTime value) {
  Variant v;
  v.type = varDate;
  v.real = value;
  return v;
}

Variant Variant::FromBytes(std::vector<uint8_t> value) {
  Variant v;
  v.type = varArray | varByte;
  v.bytes = std::move(value);
  return v;
}

Variant Variant::ArrayOf(std::vector<Variant> elements) {
  Variant v;
  v.type = varArray | varVariant;
  v.elements = std::move(elements);
  return v;
}

int Variant::ArrayCount() const {
  if (IsBytes()) return static_cast<int>(bytes.size());
  if (!IsArray()) throw EVariantError(SVarNotArray);
  return static_cast<int>(elements.size());
}

const Variant& Variant::Element(int index) const {
  if (!IsArray() || IsBytes()) throw EVariantError(SVarNotArray);
  if (index < 0 || index >= static_cast<int>(elements.size())) throw EVariantError(SVarArrayBounds);
  return elements[static_cast<size_t>(index)];
}

void Variant::SetElement(int index, Variant value) {
  Element(index);  // checks kind and bounds
  elements[static_cast<size_t>(index)] = std::move(value);
}

void Variant::RaiseCast(TVarType target) const {
  throw EVariantError(SVarTypeCastError, {VarTypeName(type), VarTypeName(target)});
}

bool Variant::NumericValue(double& value) const {
  if (type == varEmpty) {
    value = 0;
  } else if (IsWholeKind(type)) {
    value = static_cast<double>(integer);
  } else if (type == varBoolean) {
    value = integer ? static_cast<double>(VariantTrue) : 0;
  } else if (type == varCurrency) {
    value = Currency::FromScaled(integer).ToDouble();
  } else if (type == varDouble || type == varDate) {
    value = real;
  } else {
    return false;
  }
  return true;
}

int64_t Variant::AsInt64(const TFormatSettings& settings) const {
  if (IsWholeKind(type)) return integer;
  if (type == varBoolean) return integer ? VariantTrue : 0;
  int64_t result = 0;
  double value = 0;
  if (type == varCurrency) {
    // Exact: half a unit is 5000 scaled; ties go to the even neighbour.
    const int64_t whole = integer / Currency::Scale;
    const int64_t rest = integer % Currency::Scale;
    result = whole;
    if (rest > Currency::Scale / 2 || (rest == Currency::Scale / 2 && (whole & 1))) ++result;
    if (rest < -Currency::Scale / 2 || (rest == -Currency::Scale / 2 && (whole & 1))) --result;
    return result;
  }
  if (type == varString) {
    if (TryStrToInt64(text, result)) return result;
    if (TryStrToFloat(text, value, settings) && RoundToInt64(value, result)) return result;
    RaiseCast(varInt64);
  }
  if (NumericValue(value) && RoundToInt64(value, result)) return result;
  RaiseCast(varInt64);
}

int Variant::AsInteger(const TFormatSettings& settings) const {
  if (type == varNull || IsArray()) RaiseCast(varInteger);
  int64_t value = 0;
  try {
    value = AsInt64(settings);
  } catch (const EVariantError&) {
    RaiseCast(varInteger);
  }
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) RaiseCast(varInteger);
  return static_cast<int>(value);
}

double Variant::AsFloat(const TFormatSettings& settings) const {
  double value = 0;
  if (type == varString) {
    if (TryStrToFloat(text, value, settings)) return value;
  } else if (NumericValue(value)) {
    return value;
  }
  RaiseCast(varDouble);
}

Currency Variant::AsCurrency(const TFormatSettings& settings) const {
  if (type == varCurrency) return Currency::FromScaled(integer);
  Currency result;
  if (type == varString) {
    if (TryStrToCurr(text, result, settings)) return result;
    RaiseCast(varCurrency);
  }
  double value = 0;
  if (!NumericValue(value)) RaiseCast(varCurrency);
  try {
    return Currency::FromDouble(value);
  } catch (const EConvertError&) {
    RaiseCast(varCurrency);
  }
}

bool Variant::AsBoolean(const TFormatSettings& settings) const {
  if (type == varBoolean) return integer != 0;
  double value = 0;
  if (type == varString) {
    if (SameText(text, TrueText)) return true;
    if (SameText(text, FalseText)) return false;
    if (TryStrToFloat(text, value, settings)) return value != 0;
    RaiseCast(varBoolean);
  }
  if (!NumericValue(value)) RaiseCast(varBoolean);
  return value != 0;
}

TDateTime Variant::AsDateTime(const TFormatSettings& settings) const {
  double value = 0;
  if (type == varString) {
    if (TryStrToDateTime(text, value, settings)) return value;
  } else if (NumericValue(value)) {
    return value;
  }
  RaiseCast(varDate);
}

std::string Variant::AsString(const TFormatSettings& settings) const {
  switch (type) {
    case varEmpty: return {};
    case varString: return text;
    case varBoolean: return integer ? TrueText : FalseText;
    case varDouble: return FloatToStr(real, settings);
    case varCurrency: return CurrToStr(Currency::FromScaled(integer), settings);
    case varDate: return DateTimeToStr(real, settings);
    default:
      if (IsWholeKind(type)) return IntToStr(integer);
      RaiseCast(varString);
  }
}

std::vector<uint8_t> Variant::AsBytes() const {
  if (IsBytes()) return bytes;
  if (type == varString) return std::vector<uint8_t>(text.begin(), text.end());
  if (type == varEmpty) return {};
  RaiseCast(varArray | varByte);
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case varEmpty:
    case varNull: return true;
    case varDouble:
    case varDate: return a.real == b.real;
    case varString: return a.text == b.text;
    case varArray | varByte: return a.bytes == b.bytes;
    case varArray | varVariant: return a.elements == b.elements;
    default: return a.integer == b.integer;
  }
}
