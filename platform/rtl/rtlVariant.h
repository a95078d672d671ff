#pragma once
// The class library's Variant: one value of a kind chosen at run time.
// Empty (unassigned) and Null are kinds of their own; the scalar kinds keep
// the class library's type codes, since scripts and streams test them.
// Strings are UTF-8 byte strings; byte arrays and arrays of variants are
// held by value, so copying a Variant copies its array.
//
// Conversions (the As... accessors) follow fixed rules: Empty reads as 0,
// "" or False; Null converts to nothing and raises; texts convert with the
// format settings passed (language 0's when none are); True is -1 as a
// number. A conversion that cannot be made raises EVariantError.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "rtlCurrency.h"
#include "rtlDateTime.h"
#include "rtlExceptions.h"
#include "rtlFormatSettings.h"

RTL_EXCEPTION_CLASS(EVariantError, Exception);

using TVarType = uint16_t;

inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;
inline constexpr TVarType varInteger = 0x0003;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;
inline constexpr TVarType varByte = 0x0011;
inline constexpr TVarType varWord = 0x0012;
inline constexpr TVarType varLongWord = 0x0013;
inline constexpr TVarType varInt64 = 0x0014;
inline constexpr TVarType varString = 0x0100;
inline constexpr TVarType varTypeMask = 0x0FFF;
inline constexpr TVarType varArray = 0x2000;

inline constexpr const char* SVarTypeCastError = "Could not convert variant of type (%s) into type (%s)";
inline constexpr const char* SVarArrayBounds = "Variant or safe array index out of bounds";
inline constexpr const char* SVarNotArray = "Variant is not an array";

class Variant {
public:
  Variant() = default;
  Variant(int16_t value) : type(varSmallint), integer(value) {}
  Variant(uint16_t value) : type(varWord), integer(value) {}
  Variant(int value) : type(varInteger), integer(value) {}
  Variant(uint32_t value) : type(varLongWord), integer(value) {}
  Variant(int64_t value) : type(varInt64), integer(value) {}
  Variant(double value) : type(varDouble), real(value) {}
  Variant(Currency value) : type(varCurrency), integer(value.Scaled) {}
  Variant(bool value) : type(varBoolean), integer(value ? 1 : 0) {}
  Variant(const char* value) : type(varString), text(value ? value : "") {}
  Variant(std::string value) : type(varString), text(std::move(value)) {}

  static Variant Null();
  static Variant FromDate(TDateTime value);
  static Variant FromBytes(std::vector<uint8_t> value);
  // An array of variants with low bound 0 (the class library's VarArrayOf).
  static Variant ArrayOf(std::vector<Variant> elements);

  TVarType VarType() const { return type; }
  bool IsEmpty() const { return type == varEmpty; }
  bool IsNull() const { return type == varNull; }
  bool IsArray() const { return (type & varArray) != 0; }
  bool IsBytes() const { return type == (varArray | varByte); }

  // Arrays: the number of elements; EVariantError for a non-array. Byte
  // arrays answer their byte count.
  int ArrayCount() const;
  // EVariantError out of bounds or for a byte array (use AsBytes).
  const Variant& Element(int index) const;
  void SetElement(int index, Variant value);

  int AsInteger(const TFormatSettings& settings = NeutralFormatSettings()) const;
  int64_t AsInt64(const TFormatSettings& settings = NeutralFormatSettings()) const;
  double AsFloat(const TFormatSettings& settings = NeutralFormatSettings()) const;
  Currency AsCurrency(const TFormatSettings& settings = NeutralFormatSettings()) const;
  bool AsBoolean(const TFormatSettings& settings = NeutralFormatSettings()) const;
  TDateTime AsDateTime(const TFormatSettings& settings = NeutralFormatSettings()) const;
  std::string AsString(const TFormatSettings& settings = NeutralFormatSettings()) const;
  // A byte array's bytes, or a string's bytes; Empty gives none.
  std::vector<uint8_t> AsBytes() const;

  // Same kind and same value (arrays element by element). Used where a
  // value must survive unchanged, not for loose comparison.
  friend bool operator==(const Variant& a, const Variant& b);

private:
  TVarType type = varEmpty;
  union {
    int64_t integer = 0;  // whole numbers, Boolean 0/1, Currency scaled
    double real;          // floats and dates
  };
  std::string text;
  std::vector<uint8_t> bytes;
  std::vector<Variant> elements;

  [[noreturn]] void RaiseCast(TVarType target) const;
  // The value of a numeric, Boolean or Empty variant as a double; false
  // when the kind is none of them.
  bool NumericValue(double& value) const;
};

// The class library's names for the kind, as conversion messages show them.
std::string VarTypeName(TVarType type);

inline bool VarIsNull(const Variant& v) { return v.IsNull(); }
inline bool VarIsEmpty(const Variant& v) { return v.IsEmpty(); }
inline bool VarIsArray(const Variant& v) { return v.IsArray(); }
// Null or Empty: no value at all.
inline bool VarIsClear(const Variant& v) { return v.IsNull() || v.IsEmpty(); }
inline Variant VarArrayOf(std::initializer_list<Variant> elements) { return Variant::ArrayOf(elements); }
