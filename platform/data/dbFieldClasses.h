#pragma once
// The field classes, one per family of field types, and the class that the
// dataset creates for each type when it makes default fields.

#include <memory>
#include <string>

#include "dbField.h"
#include "rtlStreams.h"

class TStringField : public TField {
  RTL_DECLARE_CLASS(TStringField, TField)
  explicit TStringField(TComponent* owner);

  // A fixed-width field keeps trailing blanks out of its value.
  bool FixedChar() const { return DataType() == ftFixedChar; }
  void SetFixedChar(bool value) { SetDataType(value ? ftFixedChar : ftString); }
  std::string Value() const { return GetAsString(); }

protected:
  std::string GetAsString() const override;
  // Texts longer than Size are cut to Size bytes, never inside a UTF-8
  // character.
  void SetAsStringValue(const std::string& value) override;
  int GetAsInteger() const override;
  void SetAsIntegerValue(int value) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntValue(int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrencyValue(Currency value) override;
  // T, t, Y, y start a true text; F, f, N, n a false one.
  bool GetAsBoolean() const override;
  void SetAsBooleanValue(bool value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeValue(TDateTime value) override;
  Variant GetAsVariant() const override;
  bool GetVariantIfSet(Variant& value) const override;
  // The text and whether there is one, from one read.
  bool ReadText(std::string& text) const;
  void SetVariantValue(const Variant& value) override;
  std::string GetText(bool displayText) const override;
  void SetTextValue(const std::string& value) override;
  int DefaultDisplayWidth() const override { return Size(); }
};

// Numbers: right-aligned, shown by DisplayFormat and edited by EditFormat
// (FormatFloat pictures); empty formats give the plain text.
class TNumericField : public TField {
  RTL_DECLARE_CLASS(TNumericField, TField)
  explicit TNumericField(TComponent* owner);

  const std::string& DisplayFormat() const { return displayFormat; }
  void SetDisplayFormat(const std::string& value);
  const std::string& EditFormat() const { return editFormat; }
  void SetEditFormat(const std::string& value);

protected:
  void SetTextValue(const std::string& value) override;
  // The picture for display or editing; empty when none applies.
  const std::string& Picture(bool displayText) const;

private:
  std::string displayFormat;
  std::string editFormat;
};

// ftInteger, and the base of the other whole-number fields. MinValue and
// MaxValue both 0 check only the type's own range.
class TIntegerField : public TNumericField {
  RTL_DECLARE_CLASS(TIntegerField, TNumericField)
  explicit TIntegerField(TComponent* owner);

  int64_t MinValue() const { return minValue; }
  int64_t MaxValue() const { return maxValue; }
  void SetMinValue(int64_t value) { minValue = value; }
  void SetMaxValue(int64_t value) { maxValue = value; }

protected:
  // The type's range and how its native bytes hold a value.
  void SetRange(int64_t low, int64_t high);
  virtual int64_t ReadNative(const void* buffer) const;
  virtual void WriteNative(void* buffer, int64_t value) const;
  // false when blank.
  bool GetValue(int64_t& value) const;
  // Checks MinValue/MaxValue and the type's range, then stores.
  void CheckAndStore(int64_t value);

  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  int GetAsInteger() const override;
  void SetAsIntegerValue(int value) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntValue(int64_t value) override;
  double GetAsFloat() const override;
  // Rounds half to even.
  void SetAsFloatValue(double value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrencyValue(Currency value) override;
  Variant GetAsVariant() const override;
  bool GetVariantIfSet(Variant& value) const override;
  void SetVariantValue(const Variant& value) override;
  std::string GetText(bool displayText) const override;

private:
  int64_t minValue = 0;
  int64_t maxValue = 0;
  int64_t rangeLow = INT32_MIN;
  int64_t rangeHigh = INT32_MAX;
};

class TSmallintField : public TIntegerField {
  RTL_DECLARE_CLASS(TSmallintField, TIntegerField)
  explicit TSmallintField(TComponent* owner);

protected:
  int64_t ReadNative(const void* buffer) const override;
  void WriteNative(void* buffer, int64_t value) const override;
};

class TWordField : public TIntegerField {
  RTL_DECLARE_CLASS(TWordField, TIntegerField)
  explicit TWordField(TComponent* owner);

protected:
  int64_t ReadNative(const void* buffer) const override;
  void WriteNative(void* buffer, int64_t value) const override;
};

// The engine numbers the records of these fields itself.
class TAutoIncField : public TIntegerField {
  RTL_DECLARE_CLASS(TAutoIncField, TIntegerField)
  explicit TAutoIncField(TComponent* owner);
};

class TLargeintField : public TIntegerField {
  RTL_DECLARE_CLASS(TLargeintField, TIntegerField)
  explicit TLargeintField(TComponent* owner);

protected:
  int64_t ReadNative(const void* buffer) const override;
  void WriteNative(void* buffer, int64_t value) const override;
  Variant GetAsVariant() const override;
  bool GetVariantIfSet(Variant& value) const override;
};

// ftFloat; with Currency set it shows money. MinValue and MaxValue both 0
// check nothing.
class TFloatField : public TNumericField {
  RTL_DECLARE_CLASS(TFloatField, TNumericField)
  explicit TFloatField(TComponent* owner);

  bool Currency() const { return currency; }
  void SetCurrency(bool value);
  int Precision() const { return precision; }
  void SetPrecision(int value);
  double MinValue() const { return minValue; }
  double MaxValue() const { return maxValue; }
  void SetMinValue(double value) { minValue = value; }
  void SetMaxValue(double value) { maxValue = value; }

protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  int GetAsInteger() const override;
  void SetAsIntegerValue(int value) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntValue(int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  ::Currency GetAsCurrency() const override;
  void SetAsCurrencyValue(::Currency value) override;
  Variant GetAsVariant() const override;
  bool GetVariantIfSet(Variant& value) const override;
  void SetVariantValue(const Variant& value) override;
  std::string GetText(bool displayText) const override;

private:
  bool currency = false;
  int precision = 15;
  double minValue = 0;
  double maxValue = 0;
};

class TCurrencyField : public TFloatField {
  RTL_DECLARE_CLASS(TCurrencyField, TFloatField)
  explicit TCurrencyField(TComponent* owner);
};

// ftBCD: the value is a Currency; Size is the scale (decimals, 0 to 4 as
// the engine keeps them) and the native bytes the stored BCD.
class TBCDField : public TNumericField {
  RTL_DECLARE_CLASS(TBCDField, TNumericField)
  explicit TBCDField(TComponent* owner);

  bool Currency() const { return currency; }
  void SetCurrency(bool value);
  int Precision() const { return precision; }
  void SetPrecision(int value) { precision = value; }
  ::Currency MinValue() const { return minValue; }
  ::Currency MaxValue() const { return maxValue; }
  void SetMinValue(::Currency value) { minValue = value; }
  void SetMaxValue(::Currency value) { maxValue = value; }

protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  int GetAsInteger() const override;
  void SetAsIntegerValue(int value) override;
  int64_t GetAsLargeInt() const override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  ::Currency GetAsCurrency() const override;
  void SetAsCurrencyValue(::Currency value) override;
  Variant GetAsVariant() const override;
  void SetVariantValue(const Variant& value) override;
  std::string GetText(bool displayText) const override;

private:
  bool currency = false;
  int precision = 20;
  ::Currency minValue;
  ::Currency maxValue;
};

// DisplayValues "True;False" by default: the texts AsString gives and
// SetAsString takes (any letter case, a leading part of either text).
class TBooleanField : public TField {
  RTL_DECLARE_CLASS(TBooleanField, TField)
  explicit TBooleanField(TComponent* owner);

  const std::string& DisplayValues() const { return displayValues; }
  // "Yes;No", "Yes" (false shows empty) or ";No"; empty restores
  // "True;False"; ";" alone is refused.
  void SetDisplayValues(const std::string& value);
  // Whether DisplayValues differs from the default texts.

protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  bool GetAsBoolean() const override;
  void SetAsBooleanValue(bool value) override;
  Variant GetAsVariant() const override;
  bool GetVariantIfSet(Variant& value) const override;
  void SetVariantValue(const Variant& value) override;
  std::string GetText(bool displayText) const override;
  int DefaultDisplayWidth() const override;

private:
  std::string displayValues;
  std::string trueText = "True";
  std::string falseText = "False";
};

// ftDateTime, and the base of TDateField and TTimeField. DisplayFormat
// empty shows the settings' short date and long time ("c"; TDateField the
// short date, TTimeField the long time).
class TDateTimeField : public TField {
  RTL_DECLARE_CLASS(TDateTimeField, TField)
  explicit TDateTimeField(TComponent* owner);

  const std::string& DisplayFormat() const { return displayFormat; }
  void SetDisplayFormat(const std::string& value);

protected:
  virtual const char* DefaultFormat() const { return "c"; }
  // Parses text the way the type expects (date and time, date, time).
  virtual TDateTime ParseText(const std::string& text) const;

  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  double GetAsFloat() const override;
  void SetAsFloatValue(double value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeValue(TDateTime value) override;
  Variant GetAsVariant() const override;
  bool GetVariantIfSet(Variant& value) const override;
  void SetVariantValue(const Variant& value) override;
  std::string GetText(bool displayText) const override;
  int DefaultDisplayWidth() const override;

private:
  std::string displayFormat;
};

class TDateField : public TDateTimeField {
  RTL_DECLARE_CLASS(TDateField, TDateTimeField)
  explicit TDateField(TComponent* owner);

protected:
  const char* DefaultFormat() const override { return "ddddd"; }
  TDateTime ParseText(const std::string& text) const override;
};

class TTimeField : public TDateTimeField {
  RTL_DECLARE_CLASS(TTimeField, TDateTimeField)
  explicit TTimeField(TComponent* owner);

protected:
  const char* DefaultFormat() const override { return "tt"; }
  TDateTime ParseText(const std::string& text) const override;
};

// ftBytes and ftVarBytes: the bytes as a string and as a byte array.
class TBinaryField : public TField {
  RTL_DECLARE_CLASS(TBinaryField, TField)
  explicit TBinaryField(TComponent* owner);

protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  Variant GetAsVariant() const override;
  void SetVariantValue(const Variant& value) override;
  std::string GetText(bool displayText) const override;
};

class TBytesField : public TBinaryField {
  RTL_DECLARE_CLASS(TBytesField, TBinaryField)
  explicit TBytesField(TComponent* owner);
};

class TVarBytesField : public TBinaryField {
  RTL_DECLARE_CLASS(TVarBytesField, TBinaryField)
  explicit TVarBytesField(TComponent* owner);
};

// BLOB fields: values of any length, read and written through the
// dataset's BLOB streams (CreateBlobStream), never through GetData.
class TBlobField : public TField {
  RTL_DECLARE_CLASS(TBlobField, TField)
  explicit TBlobField(TComponent* owner);

  bool IsBlob() const override { return true; }
  // ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle or
  // ftTypedBinary.
  TFieldType BlobType() const { return DataType(); }
  void SetBlobType(TFieldType value);
  // The dataset's BLOB stream marks the field modified once it wrote.
  bool Modified() const { return modified; }
  void SetModified(bool value) { modified = value; }
  int64_t BlobSize() const;

  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  Variant GetAsVariant() const override;
  void SetVariantValue(const Variant& value) override;
  // "(BLOB)" when the field has data, "(Blob)" when not; memo and graphic
  // fields name themselves.
  std::string GetText(bool displayText) const override;
  virtual const char* TypeCaption() const { return "Blob"; }

private:
  bool modified = false;
};

class TMemoField : public TBlobField {
  RTL_DECLARE_CLASS(TMemoField, TBlobField)
  explicit TMemoField(TComponent* owner);

protected:
  Variant GetAsVariant() const override;
  const char* TypeCaption() const override { return "Memo"; }
};

class TGraphicField : public TBlobField {
  RTL_DECLARE_CLASS(TGraphicField, TBlobField)
  explicit TGraphicField(TComponent* owner);

protected:
  const char* TypeCaption() const override { return "Graphic"; }
};

// A new field of the class the dataset uses for the type, owned by owner;
// nullptr for the types no field class serves (ftUnknown, ftCursor,
// ftWideString and the later types).
TField* CreateFieldOfType(TFieldType type, TComponent* owner);
