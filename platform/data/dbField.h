#pragma once
// TField: one column of a dataset as programs and data-aware controls see
// it. A field holds no value of its own: it reads and writes the dataset's
// record buffer for the dataset's current state through the dataset's
// GetFieldData and SetFieldData, in its native bytes (dbNativeValues.h).
// The subclasses (dbFieldClasses.h) add the typed conversions.
//
// Fields are components: persistent fields are owned by the dataset's
// owner, default fields by the dataset. A field freed by itself leaves its
// dataset's field list.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dbTypes.h"
#include "rtlClasses.h"
#include "rtlCurrency.h"
#include "rtlDateTime.h"
#include "rtlFormatSettings.h"
#include "rtlVariant.h"

class TFieldDef;

using TFieldNotifyEvent = TEvent<void(TField* sender)>;
using TFieldGetTextEvent = TEvent<void(TField* sender, std::string& text, bool displayText)>;
using TFieldSetTextEvent = TEvent<void(TField* sender, const std::string& text)>;

class TField : public TComponent {
  RTL_DECLARE_CLASS(TField, TComponent)

  explicit TField(TComponent* owner);
  ~TField() override;

  TDataSet* DataSet() const { return dataSet; }
  // Moves the field into another dataset's field list (nullptr: none). The
  // datasets must both be closed.
  void SetDataSet(TDataSet* value);

  const std::string& FieldName() const { return fieldName; }
  void SetFieldName(const std::string& value);
  // The label controls show: DisplayLabel when set, else FieldName.
  std::string DisplayName() const;
  std::string DisplayLabel() const { return DisplayName(); }
  void SetDisplayLabel(const std::string& value);
  // Position in the dataset's field list.
  int Index() const;
  void SetIndex(int value);

  TFieldType DataType() const { return dataType; }
  TFieldKind FieldKind() const { return fieldKind; }
  void SetFieldKind(TFieldKind value);
  void SetCalculated(bool value) { SetFieldKind(value ? fkCalculated : fkData); }
  // The dataset's field number while bound (from 1); -1 for a calculated
  // field, 0 while unbound.
  int FieldNo() const { return fieldNo; }
  // Text length, byte count or BCD scale, as the type means it.
  int Size() const { return size; }
  void SetSize(int value);
  // Bytes of the native value.
  virtual int DataSize() const;
  // Where a calculated field's flag byte and value lie in the dataset's
  // calculated-field area.
  int Offset() const { return offset; }

  bool Required() const { return required; }
  void SetRequired(bool value) { required = value; }
  bool ReadOnly() const { return readOnly; }
  void SetReadOnly(bool value) { readOnly = value; }
  bool Visible() const { return visible; }
  void SetVisible(bool value);
  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);
  int DisplayWidth() const;
  void SetDisplayWidth(int value);
  // Not read-only, its dataset can modify, and a data or internal field.
  virtual bool CanModify() const;
  virtual bool IsBlob() const { return false; }

  // Reads the state's record buffer; false (and nothing copied) when the
  // field is blank. buffer may be nullptr to test for blank only.
  bool GetData(void* buffer, bool nativeFormat = true) const;
  // nullptr makes the field blank.
  void SetData(const void* buffer, bool nativeFormat = true);

  bool IsNull() const;
  void Clear();

  // Conversions; a conversion the type does not offer raises EDatabaseError
  // "Cannot access field '%s' as type %s". Reading a blank field gives 0,
  // "", False.
  std::string AsString() const { return GetAsString(); }
  void SetAsString(const std::string& value) { SetAsStringValue(value); }
  int AsInteger() const { return GetAsInteger(); }
  void SetAsInteger(int value) { SetAsIntegerValue(value); }
  void SetAsLargeInt(int64_t value) { SetAsLargeIntValue(value); }
  double AsFloat() const { return GetAsFloat(); }
  void SetAsFloat(double value) { SetAsFloatValue(value); }
  Currency AsCurrency() const { return GetAsCurrency(); }
  void SetAsCurrency(Currency value) { SetAsCurrencyValue(value); }
  bool AsBoolean() const { return GetAsBoolean(); }
  void SetAsBoolean(bool value) { SetAsBooleanValue(value); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  void SetAsDateTime(TDateTime value) { SetAsDateTimeValue(value); }
  // Null for a blank field; setting Null or Empty clears it.
  Variant AsVariant() const;
  // The value and whether there is one, from a single read of the record:
  // false for a blank field, leaving value as it was.
  bool ReadValue(Variant& value) const { return GetVariantIfSet(value); }
  void SetAsVariant(const Variant& value);
  Variant Value() const { return AsVariant(); }
  void SetValue(const Variant& value) { SetAsVariant(value); }

  // The value as the record held it before editing (Null while inserting)
  // and the value being written; both read through the dataset's
  // old-value and new-value states.
  Variant OldValue() const;
  Variant NewValue() const;

  // Text for display and for editing: OnGetText when assigned, else the
  // type's formatting (DisplayFormat, EditFormat).
  std::string DisplayText() const;
  std::string Text() const;
  void SetText(const std::string& value);

  // Settings for the text conversions; language 0's unless set.
  const TFormatSettings& FormatSettings() const { return formatSettings; }
  void SetFormatSettings(const TFormatSettings& value) { formatSettings = value; }

  // Called with the new value readable through the field before it is
  // stored; raising keeps the old value.
  void Validate(const void* buffer);

  // Lookup fields (FieldKind fkLookup): the value of LookupResultField in
  // the record of LookupDataSet whose LookupKeyFields ("A;B") hold the
  // values of this dataset's KeyFields; blank when a key field is blank,
  // the lookup dataset is closed or no record matches. Computed with the
  // calculated fields. Changing any of them needs the dataset closed; the
  // lookup dataset cannot be the field's own.
  TDataSet* LookupDataSet() const { return lookupDataSet; }
  void SetLookupDataSet(TDataSet* value);
  const std::string& KeyFields() const { return keyFields; }
  void SetKeyFields(const std::string& value);
  const std::string& LookupKeyFields() const { return lookupKeyFields; }
  void SetLookupKeyFields(const std::string& value);
  const std::string& LookupResultField() const { return lookupResultField; }
  void SetLookupResultField(const std::string& value);

  TFieldNotifyEvent OnChange;
  TFieldNotifyEvent OnValidate;
  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;

  // Bound to the field definition of the same name (binding) or unbound;
  // called by the dataset while it opens and closes.
  virtual void Bind(bool binding, const TFieldDef* fieldDef, int calcOffset);
  // Called by the dataset after the field's value changed.
  void Change();

  // Streams write a field among its dataset's children and hand it its
  // dataset when reading.
  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* value) override;
  bool IsDisplayLabelStored() const { return !displayLabel.empty(); }
  bool IsDisplayWidthStored() const { return displayWidth > 0; }


protected:
  // Subclasses set their type and default size in their constructors.
  void SetDataType(TFieldType value) { dataType = value; }
  void SetSizeValue(int value) { size = value; }

  virtual std::string GetAsString() const;
  virtual void SetAsStringValue(const std::string& value);
  virtual int GetAsInteger() const;
  virtual void SetAsIntegerValue(int value);
  virtual int64_t GetAsLargeInt() const;
  virtual void SetAsLargeIntValue(int64_t value);
  virtual double GetAsFloat() const;
  virtual void SetAsFloatValue(double value);
  virtual Currency GetAsCurrency() const;
  virtual void SetAsCurrencyValue(Currency value);
  virtual bool GetAsBoolean() const;
  virtual void SetAsBooleanValue(bool value);
  virtual TDateTime GetAsDateTime() const;
  virtual void SetAsDateTimeValue(TDateTime value);
  virtual Variant GetAsVariant() const;
  // Kinds whose value tells blank from set in the same read override this;
  // the default asks twice.
  virtual bool GetVariantIfSet(Variant& value) const;
  virtual void SetVariantValue(const Variant& value);
  // The text for display (displayText) or for editing; "" when blank.
  virtual std::string GetText(bool displayText) const;
  virtual void SetTextValue(const std::string& value);
  // Whether the field has no value; BLOB fields ask their stream.
  virtual bool GetIsNull() const;
  virtual int DefaultDisplayWidth() const;

  [[noreturn]] void AccessError(const char* typeName) const;
  // Tells the open dataset's controls to show the field again (layout:
  // its size or place changed).
  void PropertyChanged(bool layout);
  // The dataset, raising when the field has none.
  TDataSet& CheckedDataSet() const;
  void Notification(TComponent* component, TOperation operation) override;

private:
  TDataSet* dataSet = nullptr;
  std::string fieldName;
  std::string displayLabel;
  TFieldType dataType = ftUnknown;
  TFieldKind fieldKind = fkData;
  int fieldNo = 0;
  int size = 0;
  int offset = 0;
  int displayWidth = 0;
  TAlignment alignment = taLeftJustify;
  bool required = false;
  bool readOnly = false;
  bool visible = true;
  // A field whose value the framework is validating reads that value.
  bool validating = false;
  const void* validateBuffer = nullptr;
  TFormatSettings formatSettings;
  TDataSet* lookupDataSet = nullptr;
  std::string keyFields;
  std::string lookupKeyFields;
  std::string lookupResultField;

  friend class TDataSet;
  // "Lookup information for field '%s' is incomplete" unless the lookup
  // dataset and all three field lists are set, the two key lists naming
  // as many fields; the key fields must be fields of the dataset.
  void CheckLookup() const;
  // The looked-up value for the record the dataset's state reads.
  Variant LookupValue() const;
  Variant ValueInState(TDataSetState state) const;
};
