#include "raValues.h"

#include "raAdapters.h"

#include <cmath>
#include <limits>

#include "raTokens.h"
#include "rtlClasses.h"
#include "rtlConvert.h"
#include "rtlDateTimeText.h"
#include "rtlFloatText.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

namespace {

constexpr long double minInteger = std::numeric_limits<int32_t>::min();
constexpr long double maxInteger = std::numeric_limits<int32_t>::max();

// A number too large for the narrower float becomes its infinity, as the
// FPU makes it, rather than a conversion the language leaves undefined.
template <typename F>
F Narrow(long double value) {
  if (value > std::numeric_limits<F>::max()) return std::numeric_limits<F>::infinity();
  if (value < std::numeric_limits<F>::lowest()) return -std::numeric_limits<F>::infinity();
  return static_cast<F>(value);
}

std::string GeneralText(long double value, int precision) { return FloatToStrF(value, ffGeneral, precision, 0); }

bool IsVariantNumber(const Variant& v) {
  switch (v.VarType()) {
    case varSmallint: case varInteger: case varDouble: case varCurrency: case varDate:
    case varByte: case varWord: case varLongWord: case varInt64:
      return true;
    default:
      return false;
  }
}

bool IsVariantInteger(const Variant& v) {
  switch (v.VarType()) {
    case varSmallint: case varInteger: case varByte: case varWord: case varLongWord: case varInt64:
      return true;
    default:
      return false;
  }
}

bool CompareOrdered(int order, TraTokenType op, bool& result) {
  switch (op) {
    case ttEqual: result = order == 0; return true;
    case ttNe: result = order != 0; return true;
    case ttLt: result = order < 0; return true;
    case ttGt: result = order > 0; return true;
    case ttLe: result = order <= 0; return true;
    case ttGe: result = order >= 0; return true;
    default: result = false; return true;
  }
}

template <typename T>
int Order(T a, T b) { return a < b ? -1 : (b < a ? 1 : 0); }

int64_t CurrencyScaled(long double value) {
  const long double scaled = std::nearbyint(value * Currency::Scale);
  if (!(scaled >= -9.2233720368547758e18L && scaled < 9.2233720368547758e18L))
    throw EScriptError("The value " + GeneralText(value, 18) + " lies outside the Currency range");
  return static_cast<int64_t>(scaled);
}

TDateTime DayCountOf(const TraValue& source, bool& ok) {
  ok = true;
  switch (source.DataType()) {
    case daDateTime: case daDate: case daTime:
      return static_cast<const TraDayCountValue&>(source).Value;
    case daDouble: return static_cast<const TraDoubleValue&>(source).Value;
    case daExtended: return Narrow<double>(static_cast<const TraExtendedValue&>(source).Value);
    case daInteger: return static_cast<const TraIntegerValue&>(source).Value;
    case daVariant: {
      const Variant& v = static_cast<const TraVariantValue&>(source).Value;
      return VarIsClear(v) ? Variant::Null().AsDateTime() : v.AsDateTime();
    }
    default:
      ok = false;
      return 0;
  }
}

}  // namespace

// ---- base ----

const TraValue* TraValue::Operate(const TraValue*, TraTokenType, TraTemps&) const { return nullptr; }
bool TraValue::Compare(const TraValue&, TraTokenType, bool&) const { return false; }

// ---- helpers ----

void raCheckTextLength(size_t length) {
  if (length > raMaxTextLength)
    throw EScriptError("A text of " + std::to_string(length) + " bytes is longer than scripts may build");
}

const TraValue* raNumberResult(long double result, TraTemps& temps) {
  if (result >= minInteger && result <= maxInteger && std::trunc(result) == result)
    return &temps.Integer(static_cast<int32_t>(result));
  return &temps.Extended(result);
}

int32_t raTruncToInteger(long double value) {
  const long double whole = std::trunc(value);
  if (!(whole >= minInteger && whole <= maxInteger))
    throw EScriptError("The value " + GeneralText(value, 18) + " lies outside the Integer range");
  return static_cast<int32_t>(whole);
}

bool raNumberOf(const TraValue& value, long double& number) {
  if (value.IsNumeric()) {
    number = static_cast<const TraNumericValue&>(value).Number();
    return true;
  }
  if (value.DataType() == daVariant) {
    const Variant& v = static_cast<const TraVariantValue&>(value).Value;
    if (!IsVariantNumber(v)) return false;
    number = v.VarType() == varCurrency ? static_cast<long double>(v.AsCurrency().Scaled) / Currency::Scale
             : IsVariantInteger(v)      ? static_cast<long double>(v.AsInt64())
                                        : static_cast<long double>(v.AsFloat());
    return true;
  }
  return false;
}

bool raConditionValue(const TraValue* value) {
  if (!value) return false;
  if (value->DataType() == daBoolean) return static_cast<const TraBooleanValue*>(value)->Value();
  if (value->DataType() == daVariant) {
    const Variant& v = static_cast<const TraVariantValue*>(value)->Value;
    return v.VarType() == varBoolean && v.AsBoolean();
  }
  return false;
}

TraIntegerValue& TraTemps::Integer(int32_t value) {
  if (!integer) integer = std::make_unique<TraIntegerValue>();
  integer->Value = value;
  return *integer;
}
TraExtendedValue& TraTemps::Extended(long double value) {
  if (!extended) extended = std::make_unique<TraExtendedValue>();
  extended->Value = value;
  return *extended;
}
TraBooleanValue& TraTemps::Boolean(bool value) {
  if (!boolean) boolean = std::make_unique<TraBooleanValue>();
  boolean->Set(value);
  return *boolean;
}
TraStringValue& TraTemps::String() {
  if (!string) string = std::make_unique<TraStringValue>();
  return *string;
}
TraVariantValue& TraTemps::VariantSlot() {
  if (!variant) variant = std::make_unique<TraVariantValue>();
  return *variant;
}

// ---- numbers ----

const TraValue* TraNumericValue::Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const {
  const long double left = Number();
  // A plus sign hands the operand on as it is; nobody changes a result.
  if (op == ttUnaryPlus) return this;
  if (op == ttUnaryMinus) return raNumberResult(-left, temps);
  long double r;
  if (!right || !raNumberOf(*right, r)) return nullptr;
  switch (op) {
    case ttStar: return raNumberResult(left * r, temps);
    case ttPlus: return raNumberResult(left + r, temps);
    case ttMinus: return raNumberResult(left - r, temps);
    case ttSlash: return raNumberResult(r == 0 ? 0 : left / r, temps);
    case ttDiv:
    case ttMod: {
      // Truncated to 64-bit integers; what does not fit, or the one quotient
      // that overflows (the most negative value by -1), is guarded.
      const long double a = std::trunc(left), b = std::trunc(r);
      constexpr long double limit = 9.2233720368547758e18L;
      if (!(a >= -limit && a < limit && b >= -limit && b < limit))
        throw EScriptError("The operands of " + std::string(op == ttDiv ? "div" : "mod") + " lie outside the Int64 range");
      const int64_t x = static_cast<int64_t>(a), y = static_cast<int64_t>(b);
      if (y == 0) return &temps.Integer(0);
      if (y == -1) return raNumberResult(op == ttDiv ? -static_cast<long double>(x) : 0, temps);
      return raNumberResult(static_cast<long double>(op == ttDiv ? x / y : x % y), temps);
    }
    default: return nullptr;
  }
}

bool TraNumericValue::Compare(const TraValue& right, TraTokenType op, bool& result) const {
  long double r;
  if (!raNumberOf(right, r)) return false;
  const long double l = Number();
  return CompareOrdered(l < r ? -1 : (l > r ? 1 : 0), op, result);
}

std::string TraIntegerValue::GetText() const { return IntToStr(Value); }

bool TraIntegerValue::SetValue(const TraValue& source) {
  switch (source.DataType()) {
    case daInteger: Value = static_cast<const TraIntegerValue&>(source).Value; return true;
    case daSingle: case daDouble: case daExtended: case daCurrency:
      Value = raTruncToInteger(static_cast<const TraNumericValue&>(source).Number());
      return true;
    case daVariant: {
      const Variant& v = static_cast<const TraVariantValue&>(source).Value;
      Value = VarIsClear(v) ? Variant::Null().AsInteger() : v.AsInteger();
      return true;
    }
    case daObject: case daClass:
      // An object's identity as a number: only nil fits an Integer.
      if (static_cast<const TraObjectValue&>(source).Object) return false;
      Value = 0;
      return true;
    default: return false;
  }
}

std::string TraSingleValue::GetText() const { return GeneralText(Value, 8); }

bool TraSingleValue::SetValue(const TraValue& source) {
  switch (source.DataType()) {
    case daSingle: case daInteger: case daDouble: case daExtended: case daCurrency:
      Value = Narrow<float>(static_cast<const TraNumericValue&>(source).Number());
      return true;
    case daVariant: Value = Narrow<float>(static_cast<const TraVariantValue&>(source).Value.AsFloat()); return true;
    default: return false;
  }
}

std::string TraDoubleValue::GetText() const { return GeneralText(Value, 15); }

bool TraDoubleValue::SetValue(const TraValue& source) {
  switch (source.DataType()) {
    case daDouble: case daDateTime: case daSingle: case daExtended: case daInteger: case daCurrency:
      Value = Narrow<double>(static_cast<const TraNumericValue&>(source).Number());
      return true;
    case daVariant: Value = static_cast<const TraVariantValue&>(source).Value.AsFloat(); return true;
    default: return false;
  }
}

std::string TraExtendedValue::GetText() const { return GeneralText(Value, 18); }

bool TraExtendedValue::SetValue(const TraValue& source) {
  switch (source.DataType()) {
    case daExtended: case daDateTime: case daDouble: case daSingle: case daInteger: case daCurrency:
      Value = static_cast<const TraNumericValue&>(source).Number();
      return true;
    case daVariant: {
      long double number;
      if (raNumberOf(source, number)) Value = number;
      else Value = static_cast<const TraVariantValue&>(source).Value.AsFloat();
      return true;
    }
    default: return false;
  }
}

std::string TraCurrencyValue::GetText() const { return GeneralText(Number(), 18); }

bool TraCurrencyValue::SetValue(const TraValue& source) {
  switch (source.DataType()) {
    case daCurrency: Value = static_cast<const TraCurrencyValue&>(source).Value; return true;
    case daExtended: case daDouble: case daSingle: case daInteger:
      Value = Currency::FromScaled(CurrencyScaled(static_cast<const TraNumericValue&>(source).Number()));
      return true;
    case daVariant: Value = static_cast<const TraVariantValue&>(source).Value.AsCurrency(); return true;
    default: return false;
  }
}

std::string TraDayCountValue::GetText() const {
  if (Value == 0) return "";
  switch (DataType()) {
    case daDate: return DateToStr(Value);
    case daTime: return TimeToStr(Value);
    default: return DateTimeToStr(Value);
  }
}

bool TraDayCountValue::SetValue(const TraValue& source) {
  // A time of day is no date.
  if (DataType() == daDate && source.DataType() == daTime) return false;
  bool ok;
  const TDateTime value = DayCountOf(source, ok);
  if (!ok) return false;
  // 0001-01-01 to 9999-12-31: the calendar routines take nothing else.
  if (!(value >= -693593.0 && value < 2958466.0))
    throw EScriptError("The value " + GeneralText(value, 15) + " lies outside the date range");
  Value = value;
  return true;
}

std::unique_ptr<TraValue> TraDayCountValue::Clone() const {
  switch (DataType()) {
    case daDate: return std::make_unique<TraDateValue>(Value);
    case daTime: return std::make_unique<TraTimeValue>(Value);
    default: return std::make_unique<TraDateTimeValue>(Value);
  }
}

// ---- text ----

bool TraStringValue::SetValue(const TraValue& source) {
  switch (source.DataType()) {
    case daString: Value = static_cast<const TraStringValue&>(source).Value; return true;
    case daChar: Value.assign(1, static_cast<const TraCharValue&>(source).Value); return true;
    case daVariant: {
      const Variant& v = static_cast<const TraVariantValue&>(source).Value;
      if (VarIsClear(v)) Value.clear();
      else Value = v.AsString();
      return true;
    }
    default: return false;
  }
}

const TraValue* TraStringValue::Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const {
  TraStringValue& result = temps.String();
  if (op != ttPlus || !right) {
    result.Value.clear();
    return &result;
  }
  switch (right->DataType()) {
    case daString: {
      const std::string& tail = static_cast<const TraStringValue*>(right)->Value;
      raCheckTextLength(Value.size() + tail.size());
      result.Value.reserve(Value.size() + tail.size());
      result.Value.assign(Value).append(tail);
      return &result;
    }
    case daChar:
      raCheckTextLength(Value.size() + 1);
      result.Value.assign(Value).push_back(static_cast<const TraCharValue*>(right)->Value);
      return &result;
    case daVariant: {
      const std::string tail = right->GetText();
      raCheckTextLength(Value.size() + tail.size());
      result.Value.assign(Value).append(tail);
      return &result;
    }
    default:
      result.Value.clear();
      return &result;
  }
}

bool TraStringValue::Compare(const TraValue& right, TraTokenType op, bool& result) const {
  std::string other;
  switch (right.DataType()) {
    case daString: return CompareOrdered(Value.compare(static_cast<const TraStringValue&>(right).Value), op, result);
    case daChar: other.assign(1, static_cast<const TraCharValue&>(right).Value); break;
    case daVariant: other = right.GetText(); break;
    default: return false;
  }
  return CompareOrdered(Value.compare(other), op, result);
}

bool TraCharValue::SetValue(const TraValue& source) {
  switch (source.DataType()) {
    case daChar: Value = static_cast<const TraCharValue&>(source).Value; return true;
    case daString: {
      const std::string& text = static_cast<const TraStringValue&>(source).Value;
      Value = text.empty() ? '\0' : text[0];
      return true;
    }
    case daVariant: {
      const Variant& v = static_cast<const TraVariantValue&>(source).Value;
      if (VarIsClear(v)) {
        Value = ' ';
        return true;
      }
      const std::string text = v.AsString();
      Value = text.empty() ? '\0' : text[0];
      return true;
    }
    default: return false;
  }
}

const TraValue* TraCharValue::Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const {
  TraStringValue& result = temps.String();
  result.Value.clear();
  if (op != ttPlus || !right) return &result;
  if (right->DataType() == daChar) {
    result.Value = {Value, static_cast<const TraCharValue*>(right)->Value};
  } else if (right->DataType() == daString) {
    const std::string& text = static_cast<const TraStringValue*>(right)->Value;
    result.Value = {Value, text.empty() ? '\0' : text[0]};
  }
  return &result;
}

bool TraCharValue::Compare(const TraValue& right, TraTokenType op, bool& result) const {
  if (right.DataType() == daChar)
    return CompareOrdered(Order<unsigned char>(Value, static_cast<const TraCharValue&>(right).Value), op, result);
  if (right.DataType() == daString)
    return CompareOrdered(std::string(1, Value).compare(static_cast<const TraStringValue&>(right).Value), op, result);
  return false;
}

// ---- variants ----

std::string TraVariantValue::GetText() const { return VarIsClear(Value) ? std::string() : Value.AsString(); }

bool TraVariantValue::SetValue(const TraValue& source) {
  switch (source.DataType()) {
    case daInteger: Value = Variant(static_cast<const TraIntegerValue&>(source).Value); return true;
    case daSingle: case daDouble: case daExtended:
      Value = Variant(Narrow<double>(static_cast<const TraNumericValue&>(source).Number()));
      return true;
    case daCurrency: Value = Variant(static_cast<const TraCurrencyValue&>(source).Value); return true;
    case daChar: Value = Variant(std::string(1, static_cast<const TraCharValue&>(source).Value)); return true;
    case daString: Value = Variant(static_cast<const TraStringValue&>(source).Value); return true;
    case daDateTime: case daDate: case daTime:
      Value = Variant::FromDate(static_cast<const TraDayCountValue&>(source).Value);
      return true;
    case daBoolean: Value = Variant(static_cast<const TraBooleanValue&>(source).Value()); return true;
    case daVariant: Value = static_cast<const TraVariantValue&>(source).Value; return true;
    case daEnum: Value = Variant(static_cast<int>(static_cast<const TraEnumValue&>(source).Ord)); return true;
    default: return false;
  }
}

namespace {

// The right operand as a variant, for the variant operations.
bool AsVariant(const TraValue& value, Variant& out) {
  TraVariantValue slot;
  if (!slot.SetValue(value)) return false;
  out = std::move(slot.Value);
  return true;
}

bool IsStringVariant(const Variant& v) { return v.VarType() == varString; }

}  // namespace

const TraValue* TraVariantValue::Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const {
  TraVariantValue& result = temps.VariantSlot();
  if (op == ttUnaryPlus) return this;
  if (op == ttUnaryMinus) {
    // The most negative whole number has no negation of its kind.
    if (IsVariantInteger(Value) && Value.AsInt64() != INT64_MIN) result.Value = Variant(-Value.AsInt64());
    else if (Value.VarType() == varCurrency && Value.AsCurrency().Scaled != INT64_MIN)
      result.Value = Variant(Currency::FromScaled(-Value.AsCurrency().Scaled));
    else result.Value = Variant(-Value.AsFloat());
    return &result;
  }
  Variant r;
  if (!right || !AsVariant(*right, r)) return nullptr;
  Variant l = Value;
  if (VarIsClear(l)) {
    if (IsStringVariant(r)) l = Variant(std::string());
    else if (r.VarType() == varBoolean) l = Variant(false);
    else l = Variant(0);
  }
  const bool integers = IsVariantInteger(l) && IsVariantInteger(r);
  switch (op) {
    case ttPlus:
      if (IsStringVariant(l) && IsStringVariant(r)) {
        raCheckTextLength(l.AsString().size() + r.AsString().size());
        result.Value = Variant(l.AsString() + r.AsString());
        return &result;
      }
      [[fallthrough]];
    case ttMinus:
    case ttStar: {
      if (integers) {
        const int64_t a = l.AsInt64(), b = r.AsInt64();
        int64_t c;
        const bool overflow = op == ttPlus    ? __builtin_add_overflow(a, b, &c)
                              : op == ttMinus ? __builtin_sub_overflow(a, b, &c)
                                              : __builtin_mul_overflow(a, b, &c);
        if (!overflow) {
          result.Value = Variant(c);
          return &result;
        }
      }
      const double a = l.AsFloat(), b = r.AsFloat();
      result.Value = Variant(op == ttPlus ? a + b : op == ttMinus ? a - b : a * b);
      return &result;
    }
    case ttSlash: {
      const double b = r.AsFloat();
      result.Value = b == 0 ? Variant(0) : Variant(l.AsFloat() / b);
      return &result;
    }
    case ttDiv:
    case ttMod: {
      const int64_t b = r.AsInt64();
      const int64_t a = l.AsInt64();
      if (b == 0) result.Value = Variant(0);
      else if (b == -1) result.Value = Variant(op == ttDiv ? (a == INT64_MIN ? a : -a) : int64_t{0});
      else result.Value = Variant(op == ttDiv ? a / b : a % b);
      return &result;
    }
    case ttOr:
      if (l.VarType() == varBoolean || r.VarType() == varBoolean) result.Value = Variant(l.AsBoolean() || r.AsBoolean());
      else result.Value = Variant(l.AsInt64() | r.AsInt64());
      return &result;
    default:
      return nullptr;
  }
}

bool TraVariantValue::Compare(const TraValue& right, TraTokenType op, bool& result) const {
  Variant r;
  if (!AsVariant(right, r)) return false;
  const Variant& l = Value;
  if (VarIsClear(l) || VarIsClear(r)) return CompareOrdered(VarIsClear(l) == VarIsClear(r) ? 0 : (VarIsClear(l) ? -1 : 1), op, result);
  if (IsStringVariant(l) || IsStringVariant(r)) return CompareOrdered(l.AsString().compare(r.AsString()), op, result);
  if (l.VarType() == varBoolean || r.VarType() == varBoolean)
    return CompareOrdered(Order<int>(l.AsBoolean(), r.AsBoolean()), op, result);
  if (IsVariantInteger(l) && IsVariantInteger(r)) return CompareOrdered(Order(l.AsInt64(), r.AsInt64()), op, result);
  return CompareOrdered(Order(l.AsFloat(), r.AsFloat()), op, result);
}

// ---- enumerations ----

std::string TraEnumValue::TypeName() const { return Type ? Type->Name() : std::string(); }

std::string TraEnumValue::GetText() const { return Type ? Type->NameOf(Ord) : std::string(); }

bool TraEnumValue::SetValue(const TraValue& source) {
  if (source.DataType() != daEnum && source.DataType() != daBoolean) return false;
  Ord = static_cast<const TraEnumValue&>(source).Ord;
  return true;
}

bool TraEnumValue::Compare(const TraValue& right, TraTokenType op, bool& result) const {
  if (right.DataType() != daEnum && right.DataType() != daBoolean) return false;
  return CompareOrdered(Order(Ord, static_cast<const TraEnumValue&>(right).Ord), op, result);
}

TraBooleanValue::TraBooleanValue(bool value) : TraEnumValue(daBoolean, &BooleanTypeInfo(), value ? 1 : 0) {}

bool TraBooleanValue::SetValue(const TraValue& source) {
  if (source.DataType() == daBoolean) {
    Ord = static_cast<const TraBooleanValue&>(source).Ord;
    return true;
  }
  if (source.DataType() == daVariant) {
    const Variant& v = static_cast<const TraVariantValue&>(source).Value;
    if (v.VarType() != varBoolean) return false;
    Set(v.AsBoolean());
    return true;
  }
  return false;
}

const TraValue* TraBooleanValue::Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const {
  if (op == ttNot) return &temps.Boolean(!Value());
  if (!right || right->DataType() != daBoolean) return nullptr;
  const bool r = static_cast<const TraBooleanValue*>(right)->Value();
  if (op == ttAnd) return &temps.Boolean(Value() && r);
  if (op == ttOr) return &temps.Boolean(Value() || r);
  return nullptr;
}

// ---- subranges and objects ----

TraSubrangeValue::TraSubrangeValue(std::unique_ptr<TraValue> lowBound, std::unique_ptr<TraValue> highBound)
    : TraValue(lowBound->DataType()), low(std::move(lowBound)), high(std::move(highBound)) {}

std::string TraSubrangeValue::GetText() const { return low->GetText() + ".." + high->GetText(); }

bool TraSubrangeValue::Compare(const TraValue& right, TraTokenType, bool& result) const {
  // Case labels: the operator does not matter, membership does.
  long double x, lo, hi;
  if (!raNumberOf(right, x) || !raNumberOf(*low, lo) || !raNumberOf(*high, hi)) {
    result = false;
    return true;
  }
  const long double v = std::trunc(x);
  result = std::trunc(lo) <= v && v <= std::trunc(hi);
  return true;
}

std::unique_ptr<TraValue> TraSubrangeValue::Clone() const {
  return std::make_unique<TraSubrangeValue>(low->Clone(), high->Clone());
}

std::string TraObjectValue::GetText() const {
  if (!Object) return Name;
  if (auto* component = dynamic_cast<TComponent*>(Object); component && !component->Name().empty()) return component->Name();
  return Object->ClassName();
}

bool TraObjectValue::SetValue(const TraValue& source) {
  if (source.DataType() != daObject && source.DataType() != daClass) return false;
  TObject* object = static_cast<const TraObjectValue&>(source).Object;
  // A slot of a class holds only objects of that class (or nil).
  if (object && Class && !object->InheritsFrom(*Class)) return false;
  Object = object;
  return true;
}

std::unique_ptr<TraValue> TraObjectValue::Clone() const {
  auto copy = std::make_unique<TraObjectValue>(Object, Name, DataType());
  copy->Class = Class;
  return copy;
}

bool TraObjectValue::Compare(const TraValue& right, TraTokenType op, bool& result) const {
  if (right.DataType() != daObject && right.DataType() != daClass) return false;
  const bool same = Object == static_cast<const TraObjectValue&>(right).Object;
  if (op == ttEqual) result = same;
  else if (op == ttNe) result = !same;
  else result = false;
  return true;
}

// ---- fresh values and constants ----

std::unique_ptr<TraValue> raNewValue(TraDataType type, const std::string& typeName) {
  switch (type) {
    case daInteger: return std::make_unique<TraIntegerValue>();
    case daSingle: return std::make_unique<TraSingleValue>();
    case daDouble: return std::make_unique<TraDoubleValue>();
    case daExtended: return std::make_unique<TraExtendedValue>();
    case daCurrency: return std::make_unique<TraCurrencyValue>();
    case daChar: return std::make_unique<TraCharValue>();
    case daString: return std::make_unique<TraStringValue>();
    case daDateTime: return std::make_unique<TraDateTimeValue>(Now());
    case daDate: return std::make_unique<TraDateValue>(Date());
    case daTime: return std::make_unique<TraTimeValue>(Time());
    case daBoolean: return std::make_unique<TraBooleanValue>();
    case daVariant: return std::make_unique<TraVariantValue>();
    case daObject: case daClass: {
      auto value = std::make_unique<TraObjectValue>(nullptr, std::string(), type);
      if (!typeName.empty()) value->Class = FindClassByName(typeName);
      return value;
    }
    case daEnum: {
      return std::make_unique<TraEnumValue>(typeName.empty() ? nullptr : raFindEnumType(typeName));
    }
    default: return nullptr;
  }
}

namespace {

struct TColourEntry {
  const char* Name;
  uint32_t Value;
};
constexpr uint32_t systemColour = 0x80000000;
constexpr TColourEntry colourEntries[] = {
    {"clAqua", 0xFFFF00}, {"clBlack", 0}, {"clBlue", 0xFF0000}, {"clDkGray", 0x808080},
    {"clFuchsia", 0xFF00FF}, {"clGray", 0x808080}, {"clGreen", 0x8000}, {"clLime", 0xFF00},
    {"clLtGray", 0xC0C0C0}, {"clMaroon", 0x80}, {"clNavy", 0x800000}, {"clOlive", 0x8080},
    {"clPurple", 0x800080}, {"clRed", 0xFF}, {"clSilver", 0xC0C0C0}, {"clTeal", 0x808000},
    {"clWhite", 0xFFFFFF}, {"clYellow", 0xFFFF},
    {"clBackground", systemColour + 1}, {"clActiveCaption", systemColour + 2},
    {"clInactiveCaption", systemColour + 3}, {"clMenu", systemColour + 4}, {"clWindow", systemColour + 5},
    {"clWindowFrame", systemColour + 6}, {"clMenuText", systemColour + 7}, {"clWindowText", systemColour + 8},
    {"clCaptionText", systemColour + 9}, {"clActiveBorder", systemColour + 10},
    {"clInactiveBorder", systemColour + 11}, {"clAppWorkSpace", systemColour + 12},
    {"clHighlight", systemColour + 13}, {"clHightlightText", systemColour + 14}, {"clBtnFace", systemColour + 15},
    {"clBtnShadow", systemColour + 16}, {"clGrayText", systemColour + 17}, {"clBtnText", systemColour + 18},
    {"clInactiveCaptionText", systemColour + 19}, {"clBtnHighlight", systemColour + 20},
    {"cl3DDkShadow", systemColour + 21}, {"cl3DLight", systemColour + 22}, {"clInfoText", systemColour + 23},
    {"clInfoBk", systemColour + 24}, {"clNone", 0x1FFFFFFF}};

struct TDeviceEntry {
  const char* Name;
  const char* Device;
};
constexpr TDeviceEntry deviceEntries[] = {{"dtArchive", "ArchiveFile"}, {"dtPrinter", "Printer"}, {"dtFile", "TextFile"},
                                          {"dtTextFile", "TextFile"}, {"dtReportTextFile", "ReportTextFile"},
                                          {"dtScreen", "Screen"}};

}  // namespace

std::unique_ptr<TraValue> raBuiltInConstant(std::string_view name) {
  // Every name starts "cl", "dt", "Null" or "nil": most identifiers are
  // told apart by their first letters alone.
  if (name.size() < 3) return nullptr;
  const char first = static_cast<char>(name[0] | 0x20), second = static_cast<char>(name[1] | 0x20);
  if (first == 'c' && second == 'l') {
    for (const TColourEntry& entry : colourEntries)
      if (SameText(entry.Name, name)) return std::make_unique<TraIntegerValue>(static_cast<int32_t>(entry.Value));
  } else if (first == 'd' && second == 't') {
    for (const TDeviceEntry& entry : deviceEntries)
      if (SameText(entry.Name, name)) return std::make_unique<TraStringValue>(entry.Device);
  } else if (SameText(name, "Null")) {
    return std::make_unique<TraVariantValue>(Variant::Null());
  } else if (SameText(name, "nil")) {
    return std::make_unique<TraObjectValue>(nullptr, "nil");
  }
  return nullptr;
}
