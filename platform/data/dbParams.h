#pragma once
// Parameters of a statement: named values with a field type and a
// direction, set by programs or taken from a master dataset's fields.

#include <string>
#include <vector>

#include "dbTypes.h"
#include "rtlClasses.h"
#include "rtlVariant.h"

class TParams;

class TParam : public TPersistent {
  RTL_DECLARE_CLASS(TParam, TPersistent)

  // Listed in owner when one is given (nullptr: free-standing).
  TParam(TParams* owner, const std::string& name, TFieldType dataType, TParamType paramType);
  ~TParam() override;

  TParams* Collection() const { return owner; }
  const std::string& Name() const { return name; }
  void SetName(const std::string& value) { name = value; }
  TFieldType DataType() const { return dataType; }
  // Changing the type clears the value.
  void SetDataType(TFieldType value);
  TParamType ParamType() const { return paramType; }
  void SetParamType(TParamType value) { paramType = value; }
  bool IsNull() const { return isNull; }
  // Whether the value was set explicitly.
  bool Bound() const { return bound; }
  void SetBound(bool value) { bound = value; }

  // Null, bound unchanged.
  void Clear();
  const Variant& Value() const { return value; }
  // Sets the value as it is; the type follows from the variant when still
  // unknown. Null or Empty clears.
  void SetValue(const Variant& newValue);

  // Typed setters: each marks the parameter bound and not null and sets
  // its data type.
  void SetAsSmallInt(int newValue);
  void SetAsInteger(int newValue);
  void SetAsWord(int newValue);
  void SetAsBoolean(bool newValue);
  void SetAsFloat(double newValue);
  void SetAsCurrency(Currency newValue);
  void SetAsBCD(Currency newValue);
  void SetAsDate(TDateTime newValue);
  void SetAsTime(TDateTime newValue);
  void SetAsDateTime(TDateTime newValue);
  void SetAsString(const std::string& newValue);
  void SetAsMemo(const std::string& newValue);
  void SetAsBlob(const std::vector<uint8_t>& newValue);

  // Getters convert the value; a null parameter gives 0, "" or False.
  int AsInteger() const;
  double AsFloat() const;
  Currency AsCurrency() const;
  Currency AsBCD() const { return AsCurrency(); }
  bool AsBoolean() const;
  TDateTime AsDateTime() const;
  std::string AsString() const;

  // From another parameter: type, value or null, bound flag, name, and the
  // parameter type when this one's is unknown.
  void Assign(const TPersistent* source) override;
  // From a field: its type (a memo over 255 characters becomes ftString;
  // the string form otherwise), value or null, bound, name.
  void AssignField(const TField* field);
  // Sets the field's value to this parameter's.
  void AssignToField(TField* field) const;
  // Same variant type and value, name, data type, null flag, bound flag
  // and parameter type.
  bool IsEqual(const TParam& other) const;

private:
  TParams* owner;
  Variant value;
  std::string name;
  TFieldType dataType;
  TParamType paramType;
  bool isNull = true;
  bool bound = false;

  friend class TParams;
  void SetTyped(TFieldType type, Variant newValue);
};

class TParams : public TPersistent {
  RTL_DECLARE_CLASS(TParams, TPersistent)

  TParams() = default;
  ~TParams() override;

  int Count() const { return static_cast<int>(items.size()); }
  // "List index out of bounds (%d)" for a bad index.
  TParam* Items(int index) const;
  TParam* operator[](int index) const { return Items(index); }
  // nullptr when absent; names compare ignoring case.
  TParam* FindParam(const std::string& name) const;
  // "Parameter '%s' not found" when absent.
  TParam* ParamByName(const std::string& name) const;

  TParam* CreateParam(TFieldType dataType, const std::string& name, TParamType paramType);
  // Takes a parameter made free-standing (or from another list).
  void AddParam(TParam* param);
  // Leaves the parameter free-standing; the caller frees it.
  void RemoveParam(TParam* param);
  void Clear();

  // Clear, then a copy of each of source's parameters.
  void Assign(const TPersistent* source) override;
  // Each parameter takes the value of the first of other's with exactly
  // the same name (compared with case).
  void AssignValues(const TParams& other);
  bool IsEqual(const TParams& other) const;

private:
  std::vector<TParam*> items;  // owned: freed by Clear and the destructor
};
