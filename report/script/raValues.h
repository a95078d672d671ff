#pragma once
// The data a script handles: one value class per data type, each a typed
// slot with the conversions of assignment, its operators and comparisons;
// named variables; the built-in constant names.
//
// Operators write their results into temporaries that the evaluating node
// owns (TraTemps): a program never runs twice at once, so a node's
// temporaries belong to the one frame that is evaluating it, and nothing an
// inner call does can free a value an outer expression still holds.

#include <memory>
#include <string>

#include "raTypes.h"
#include "rtlAssert.h"
#include "rtlCurrency.h"
#include "rtlDateTime.h"
#include "rtlExceptions.h"
#include "rtlVariant.h"

class TEnumTypeInfo;
class TObject;
class TraTemps;

// A run-time error of a script: it ends the running program and reaches
// the host that ran it.
RTL_EXCEPTION_CLASS(EScriptError, Exception);

class TraValue {
public:
  TraValue(const TraValue&) = delete;
  TraValue& operator=(const TraValue&) = delete;
  virtual ~TraValue() = default;

  TraDataType DataType() const { return dataType; }
  bool IsNumeric() const { return (dataType >= daInteger && dataType <= daCurrency) || (dataType >= daDateTime && dataType <= daTime); }

  virtual std::string GetText() const = 0;
  // Converts the source's content into this slot by the conversion table;
  // false (and nothing stored) when the source's type does not convert.
  virtual bool SetValue(const TraValue& source) = 0;
  // The result of this value (left) with right under op, in temps; nullptr
  // when the operator does not apply. right is nullptr for unary operators.
  virtual const TraValue* Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const;
  // False when the comparison does not apply ("nothing").
  virtual bool Compare(const TraValue& right, TraTokenType op, bool& result) const;
  virtual std::unique_ptr<TraValue> Clone() const = 0;

protected:
  explicit TraValue(TraDataType type) : dataType(type) {}

private:
  const TraDataType dataType;
};

// Integer, the floats, currency and the three date types: operators and
// comparisons work on them as extended numbers.
// A slot as the value class of its declared type. Whoever makes a slot
// makes it of its declared type, so another class here is our fault, not
// the script's.
template <typename T>
T& SlotAs(TraValue& slot) {
  ORV_ASSERT(dynamic_cast<T*>(&slot) != nullptr);
  return static_cast<T&>(slot);
}
template <typename T>
const T& SlotAs(const TraValue& slot) {
  ORV_ASSERT(dynamic_cast<const T*>(&slot) != nullptr);
  return static_cast<const T&>(slot);
}

class TraNumericValue : public TraValue {
public:
  virtual long double Number() const = 0;
  const TraValue* Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const override;
  bool Compare(const TraValue& right, TraTokenType op, bool& result) const override;

protected:
  using TraValue::TraValue;
};

class TraIntegerValue : public TraNumericValue {
public:
  int32_t Value = 0;
  explicit TraIntegerValue(int32_t value = 0) : TraNumericValue(daInteger), Value(value) {}
  long double Number() const override { return Value; }
  std::string GetText() const override;
  bool SetValue(const TraValue& source) override;
  std::unique_ptr<TraValue> Clone() const override { return std::make_unique<TraIntegerValue>(Value); }
};

class TraSingleValue : public TraNumericValue {
public:
  float Value = 0;
  explicit TraSingleValue(float value = 0) : TraNumericValue(daSingle), Value(value) {}
  long double Number() const override { return Value; }
  std::string GetText() const override;
  bool SetValue(const TraValue& source) override;
  std::unique_ptr<TraValue> Clone() const override { return std::make_unique<TraSingleValue>(Value); }
};

class TraDoubleValue : public TraNumericValue {
public:
  double Value = 0;
  explicit TraDoubleValue(double value = 0) : TraNumericValue(daDouble), Value(value) {}
  long double Number() const override { return Value; }
  std::string GetText() const override;
  bool SetValue(const TraValue& source) override;
  std::unique_ptr<TraValue> Clone() const override { return std::make_unique<TraDoubleValue>(Value); }
};

class TraExtendedValue : public TraNumericValue {
public:
  long double Value = 0;
  explicit TraExtendedValue(long double value = 0) : TraNumericValue(daExtended), Value(value) {}
  long double Number() const override { return Value; }
  std::string GetText() const override;
  bool SetValue(const TraValue& source) override;
  std::unique_ptr<TraValue> Clone() const override { return std::make_unique<TraExtendedValue>(Value); }
};

class TraCurrencyValue : public TraNumericValue {
public:
  Currency Value;
  explicit TraCurrencyValue(Currency value = {}) : TraNumericValue(daCurrency), Value(value) {}
  long double Number() const override { return static_cast<long double>(Value.Scaled) / Currency::Scale; }
  std::string GetText() const override;
  bool SetValue(const TraValue& source) override;
  std::unique_ptr<TraValue> Clone() const override { return std::make_unique<TraCurrencyValue>(Value); }
};

// Date-time, date and time: a day count since 1899-12-30.
class TraDayCountValue : public TraNumericValue {
public:
  TDateTime Value = 0;
  long double Number() const override { return Value; }
  std::string GetText() const override;
  bool SetValue(const TraValue& source) override;
  std::unique_ptr<TraValue> Clone() const override;

protected:
  TraDayCountValue(TraDataType type, TDateTime value) : TraNumericValue(type), Value(value) {}
};

class TraDateTimeValue : public TraDayCountValue {
public:
  explicit TraDateTimeValue(TDateTime value = 0) : TraDayCountValue(daDateTime, value) {}
};
class TraDateValue : public TraDayCountValue {
public:
  explicit TraDateValue(TDateTime value = 0) : TraDayCountValue(daDate, value) {}
};
class TraTimeValue : public TraDayCountValue {
public:
  explicit TraTimeValue(TDateTime value = 0) : TraDayCountValue(daTime, value) {}
};

class TraStringValue : public TraValue {
public:
  std::string Value;
  explicit TraStringValue(std::string value = {}) : TraValue(daString), Value(std::move(value)) {}
  std::string GetText() const override { return Value; }
  bool SetValue(const TraValue& source) override;
  const TraValue* Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const override;
  bool Compare(const TraValue& right, TraTokenType op, bool& result) const override;
  std::unique_ptr<TraValue> Clone() const override { return std::make_unique<TraStringValue>(Value); }
};

class TraCharValue : public TraValue {
public:
  char Value = ' ';
  explicit TraCharValue(char value = ' ') : TraValue(daChar), Value(value) {}
  std::string GetText() const override { return std::string(1, Value); }
  bool SetValue(const TraValue& source) override;
  const TraValue* Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const override;
  bool Compare(const TraValue& right, TraTokenType op, bool& result) const override;
  std::unique_ptr<TraValue> Clone() const override { return std::make_unique<TraCharValue>(Value); }
};

class TraVariantValue : public TraValue {
public:
  Variant Value;
  explicit TraVariantValue(Variant value = {}) : TraValue(daVariant), Value(std::move(value)) {}
  std::string GetText() const override;
  bool SetValue(const TraValue& source) override;
  const TraValue* Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const override;
  bool Compare(const TraValue& right, TraTokenType op, bool& result) const override;
  std::unique_ptr<TraValue> Clone() const override { return std::make_unique<TraVariantValue>(Value); }
};

// A value of a registered enumeration; Type is nullptr for a fresh value
// whose enumeration is not known yet.
class TraEnumValue : public TraValue {
public:
  const TEnumTypeInfo* Type = nullptr;
  uint8_t Ord = 0;
  explicit TraEnumValue(const TEnumTypeInfo* type = nullptr, uint8_t ord = 0) : TraValue(daEnum), Type(type), Ord(ord) {}
  std::string TypeName() const;
  std::string GetText() const override;
  bool SetValue(const TraValue& source) override;
  bool Compare(const TraValue& right, TraTokenType op, bool& result) const override;
  std::unique_ptr<TraValue> Clone() const override { return std::make_unique<TraEnumValue>(Type, Ord); }

protected:
  TraEnumValue(TraDataType type, const TEnumTypeInfo* info, uint8_t ord) : TraValue(type), Type(info), Ord(ord) {}
};

class TraBooleanValue : public TraEnumValue {
public:
  explicit TraBooleanValue(bool value = false);
  bool Value() const { return Ord != 0; }
  void Set(bool value) { Ord = value ? 1 : 0; }
  std::string GetText() const override { return Value() ? "True" : "False"; }
  bool SetValue(const TraValue& source) override;
  const TraValue* Operate(const TraValue* right, TraTokenType op, TraTemps& temps) const override;
  std::unique_ptr<TraValue> Clone() const override { return std::make_unique<TraBooleanValue>(Value()); }
};

// low .. high of a case label; compares true when the value lies within.
class TraSubrangeValue : public TraValue {
public:
  TraSubrangeValue(std::unique_ptr<TraValue> low, std::unique_ptr<TraValue> high);
  const TraValue& Low() const { return *low; }
  const TraValue& High() const { return *high; }
  std::string GetText() const override;
  bool SetValue(const TraValue&) override { return false; }
  bool Compare(const TraValue& right, TraTokenType op, bool& result) const override;
  std::unique_ptr<TraValue> Clone() const override;

private:
  std::unique_ptr<TraValue> low, high;
};

// An object reference ("nil" holds none): an opaque handle to a live
// object, never a number. Class, when set, is the class the slot was
// declared with (a variable's type, a class name standing for itself).
class TraObjectValue : public TraValue {
public:
  TObject* Object = nullptr;
  std::string Name;
  const TClassInfo* Class = nullptr;
  explicit TraObjectValue(TObject* object = nullptr, std::string name = {}, TraDataType type = daObject)
      : TraValue(type), Object(object), Name(std::move(name)) {}
  std::string GetText() const override;
  bool SetValue(const TraValue& source) override;
  bool Compare(const TraValue& right, TraTokenType op, bool& result) const override;
  std::unique_ptr<TraValue> Clone() const override;
};

// Result slots of one evaluating node, made on first use and reused.
class TraTemps {
public:
  TraIntegerValue& Integer(int32_t value);
  TraExtendedValue& Extended(long double value);
  TraBooleanValue& Boolean(bool value);
  TraStringValue& String();
  TraVariantValue& VariantSlot();

private:
  std::unique_ptr<TraIntegerValue> integer;
  std::unique_ptr<TraExtendedValue> extended;
  std::unique_ptr<TraBooleanValue> boolean;
  std::unique_ptr<TraStringValue> string;
  std::unique_ptr<TraVariantValue> variant;
};

// The longest text a script may build: a loop that doubles a text must
// end with an error, not with the process's memory.
constexpr size_t raMaxTextLength = size_t{64} << 20;
// EScriptError when a text of that many bytes would be longer.
void raCheckTextLength(size_t length);

// A whole result within the Integer range is an integer; any other result
// stays extended (never wrapped around).
const TraValue* raNumberResult(long double result, TraTemps& temps);
// The number to an Integer, truncated; EScriptError outside the range.
int32_t raTruncToInteger(long double value);
// The number of a numeric value or a variant holding a number.
bool raNumberOf(const TraValue& value, long double& number);
// A Boolean value, or a variant holding one; false for anything else.
bool raConditionValue(const TraValue* value);

// A fresh value of the type, as declarations and function results start:
// 0, blank, empty, now, today, False, Unassigned ...; nullptr for daUnknown.
std::unique_ptr<TraValue> raNewValue(TraDataType type, const std::string& typeName = {});

// The value of a built-in constant name (colours, device types, Null, nil),
// nullptr when the name is none of them. Any case.
std::unique_ptr<TraValue> raBuiltInConstant(std::string_view name);

// A named slot: a declared variable, parameter, constant or function result.
class TraVariableValue {
public:
  TraVariableValue(std::string name, std::unique_ptr<TraValue> bound) : name(std::move(name)), bound(std::move(bound)) {}
  const std::string& VarName() const { return name; }
  TraValue& Bound() const { return *bound; }
  TraDataType DataType() const { return bound->DataType(); }
  // Assigning to a read-only variable (a value parameter, a constant) does
  // nothing and answers false.
  bool IsReadOnly = false;
  // True for "var" parameters: their final value goes back to the argument.
  bool IsByReference = false;
  bool Assign(const TraValue& source) { return !IsReadOnly && bound->SetValue(source); }
  // "<value>: <name>"
  std::string GetText() const { return bound->GetText() + ": " + name; }

private:
  std::string name;
  std::unique_ptr<TraValue> bound;
};
