#include "dbField.h"

#include <algorithm>
#include <cstring>

#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbNativeValues.h"
#include "rtlTypeInfo.h"

std::string FieldTypeName(TFieldType type) {
  const std::string name = EnumTypeInfo(type).NameOf(type);
  return name.empty() ? EnumTypeInfo(type).NameOf(ftUnknown) : name;
}

TField::TField(TComponent* owner) : TComponent(owner) {}

TField::~TField() {
  if (dataSet) dataSet->RemoveField(this);
}

void TField::SetDataSet(TDataSet* value) {
  if (value == dataSet) return;
  if (dataSet) dataSet->CheckInactive();
  if (value) value->CheckInactive();
  if (dataSet) dataSet->RemoveField(this);
  dataSet = value;
  if (dataSet) dataSet->AddField(this);
}

void TField::SetFieldName(const std::string& value) {
  if (dataSet) dataSet->CheckInactive();
  fieldName = value;
  PropertyChanged(true);
}

std::string TField::DisplayName() const { return displayLabel.empty() ? fieldName : displayLabel; }

void TField::SetDisplayLabel(const std::string& value) {
  displayLabel = value == fieldName ? std::string() : value;
  PropertyChanged(true);
}

int TField::Index() const {
  if (!dataSet) return -1;
  const auto& list = dataSet->fields;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TField::SetIndex(int value) {
  if (!dataSet) return;
  auto& list = dataSet->fields;
  value = std::clamp(value, 0, static_cast<int>(list.size()) - 1);
  const int current = Index();
  if (current == value) return;
  list.erase(list.begin() + current);
  list.insert(list.begin() + value, this);
  PropertyChanged(true);
}

void TField::SetFieldKind(TFieldKind value) {
  if (dataSet) dataSet->CheckInactive();
  fieldKind = value;
}

void TField::SetSize(int value) {
  if (dataSet) dataSet->CheckInactive();
  if (value < 0) throw EDatabaseError(SInvalidFieldSize);
  size = value;
}

int TField::DataSize() const { return NativeDataSize(dataType, size); }

void TField::SetVisible(bool value) {
  visible = value;
  PropertyChanged(true);
}

void TField::SetAlignment(TAlignment value) {
  alignment = value;
  PropertyChanged(false);
}

int TField::DisplayWidth() const { return displayWidth > 0 ? displayWidth : DefaultDisplayWidth(); }

void TField::SetDisplayWidth(int value) {
  displayWidth = value;
  PropertyChanged(true);
}

int TField::DefaultDisplayWidth() const { return 10; }

bool TField::CanModify() const {
  if (readOnly || !dataSet) return false;
  if (fieldKind != fkData && fieldKind != fkInternalCalc) return false;
  return dataSet->CanModify();
}

void TField::PropertyChanged(bool layout) {
  if (dataSet && dataSet->Active()) dataSet->DataEvent(layout ? deLayoutChange : deDataSetChange, 0);
}

TDataSet& TField::CheckedDataSet() const {
  if (!dataSet) throw EDatabaseError(SFieldMissingDataSet, {DisplayName()});
  return *dataSet;
}

bool TField::GetData(void* buffer, bool nativeFormat) const {
  if (validating) {
    // OnValidate reads the value about to be stored.
    if (!validateBuffer) return false;
    if (!buffer) return true;
    if (nativeFormat)
      std::memcpy(buffer, validateBuffer, static_cast<size_t>(DataSize()));
    else
      dataSet->DataConvert(const_cast<TField*>(this), validateBuffer, buffer, false);
    return true;
  }
  return CheckedDataSet().ReadFieldData(const_cast<TField*>(this), buffer, nativeFormat);
}

void TField::SetData(const void* buffer, bool nativeFormat) {
  CheckedDataSet().WriteFieldData(this, buffer, nativeFormat);
}

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  validating = true;
  validateBuffer = buffer;
  try {
    OnValidate(this);
  } catch (...) {
    validating = false;
    validateBuffer = nullptr;
    throw;
  }
  validating = false;
  validateBuffer = nullptr;
}

TComponent* TField::GetParentComponent() const { return dataSet; }

void TField::SetParentComponent(TComponent* value) {
  auto* owner = dynamic_cast<TDataSet*>(value);
  if (value && !owner) throw EDatabaseError(SFieldMissingDataSet, {DisplayName()});
  SetDataSet(owner);
}

void TField::Change() {
  if (OnChange) OnChange(this);
}

bool TField::GetIsNull() const { return !GetData(nullptr); }

bool TField::IsNull() const { return GetIsNull(); }

void TField::Clear() { SetData(nullptr); }

void TField::Bind(bool binding, const TFieldDef* fieldDef, int calcOffset) {
  if (!binding) {
    fieldNo = 0;
    offset = 0;
    return;
  }
  if (fieldKind == fkCalculated || fieldKind == fkLookup) {
    fieldNo = -1;
    offset = calcOffset;
  } else {
    fieldNo = fieldDef->FieldNo();
    offset = 0;
  }
}

void TField::AccessError(const char* typeName) const {
  throw EDatabaseError(SFieldAccessError, {DisplayName(), typeName});
}

std::string TField::GetAsString() const { return GetText(false); }
void TField::SetAsStringValue(const std::string&) { AccessError("String"); }
int TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsIntegerValue(int) { AccessError("Integer"); }
int64_t TField::GetAsLargeInt() const { AccessError("LargeInt"); }
void TField::SetAsLargeIntValue(int64_t) { AccessError("LargeInt"); }
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloatValue(double) { AccessError("Float"); }
Currency TField::GetAsCurrency() const { return Currency::FromDouble(GetAsFloat()); }
void TField::SetAsCurrencyValue(Currency value) { SetAsFloatValue(value.ToDouble()); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBooleanValue(bool) { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTimeValue(TDateTime) { AccessError("DateTime"); }
Variant TField::GetAsVariant() const { AccessError("Variant"); }
void TField::SetVariantValue(const Variant&) { AccessError("Variant"); }
std::string TField::GetText(bool) const { return {}; }
void TField::SetTextValue(const std::string& value) { SetAsStringValue(value); }

bool TField::GetVariantIfSet(Variant& value) const {
  if (IsNull()) return false;
  value = GetAsVariant();
  return true;
}

Variant TField::AsVariant() const {
  Variant value;
  return ReadValue(value) ? value : Variant::Null();
}

void TField::SetAsVariant(const Variant& value) {
  if (VarIsClear(value)) {
    Clear();
    return;
  }
  SetVariantValue(value);
}

Variant TField::ValueInState(TDataSetState state) const {
  TDataSet& owner = CheckedDataSet();
  const TDataSetState saved = owner.SetTempState(state);
  Variant value;
  try {
    value = AsVariant();
  } catch (...) {
    owner.RestoreState(saved);
    throw;
  }
  owner.RestoreState(saved);
  return value;
}

Variant TField::OldValue() const { return ValueInState(dsOldValue); }

Variant TField::NewValue() const { return ValueInState(dsNewValue); }

std::string TField::DisplayText() const {
  std::string text;
  if (OnGetText) {
    OnGetText(const_cast<TField*>(this), text, true);
    return text;
  }
  return GetText(true);
}

std::string TField::Text() const {
  std::string text;
  if (OnGetText) {
    OnGetText(const_cast<TField*>(this), text, false);
    return text;
  }
  return GetText(false);
}

void TField::SetText(const std::string& value) {
  if (OnSetText)
    OnSetText(this, value);
  else
    SetTextValue(value);
}
