#include "dbParams.h"

#include <algorithm>

#include "dbConsts.h"
#include "dbField.h"
#include "dbFieldClasses.h"
#include "rtlConsts.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TParam)
RTL_DEFINE_CLASS(TParams)

namespace {

constexpr int MaxStringParamLength = 255;

TFieldType TypeOfVariant(const Variant& value) {
  switch (value.VarType()) {
    case varSmallint: return ftSmallint;
    case varInteger: return ftInteger;
    case varWord: return ftWord;
    case varLongWord:
    case varInt64: return ftLargeint;
    case varDouble: return ftFloat;
    case varCurrency: return ftCurrency;
    case varDate: return ftDateTime;
    case varBoolean: return ftBoolean;
    case varString: return ftString;
    case varArray | varByte: return ftBlob;
    default: return ftUnknown;
  }
}

}  // namespace

TParam::TParam(TParams* owner, const std::string& name, TFieldType dataType, TParamType paramType)
    : owner(nullptr), name(name), dataType(dataType), paramType(paramType) {
  if (owner) owner->AddParam(this);
}

TParam::~TParam() {
  if (owner) owner->RemoveParam(this);
}

void TParam::SetDataType(TFieldType value) {
  dataType = value;
  Clear();
}

void TParam::Clear() {
  value = Variant::Null();
  isNull = true;
}

void TParam::SetTyped(TFieldType type, Variant newValue) {
  dataType = type;
  value = std::move(newValue);
  isNull = false;
  bound = true;
}

void TParam::SetValue(const Variant& newValue) {
  if (VarIsClear(newValue)) {
    Clear();
    bound = true;
    return;
  }
  SetTyped(dataType == ftUnknown ? TypeOfVariant(newValue) : dataType, newValue);
}

void TParam::SetAsSmallInt(int newValue) { SetTyped(ftSmallint, Variant(newValue)); }
void TParam::SetAsInteger(int newValue) { SetTyped(ftInteger, Variant(newValue)); }
void TParam::SetAsWord(int newValue) { SetTyped(ftWord, Variant(newValue)); }
void TParam::SetAsBoolean(bool newValue) { SetTyped(ftBoolean, Variant(newValue)); }
void TParam::SetAsFloat(double newValue) { SetTyped(ftFloat, Variant(newValue)); }
void TParam::SetAsCurrency(Currency newValue) { SetTyped(ftCurrency, Variant(newValue)); }
void TParam::SetAsBCD(Currency newValue) { SetTyped(ftBCD, Variant(newValue)); }
void TParam::SetAsDate(TDateTime newValue) { SetTyped(ftDate, Variant::FromDate(newValue)); }
void TParam::SetAsTime(TDateTime newValue) { SetTyped(ftTime, Variant::FromDate(newValue)); }
void TParam::SetAsDateTime(TDateTime newValue) { SetTyped(ftDateTime, Variant::FromDate(newValue)); }
void TParam::SetAsString(const std::string& newValue) { SetTyped(ftString, Variant(newValue)); }
void TParam::SetAsMemo(const std::string& newValue) { SetTyped(ftMemo, Variant(newValue)); }
void TParam::SetAsBlob(const std::vector<uint8_t>& newValue) { SetTyped(ftBlob, Variant::FromBytes(newValue)); }

int TParam::AsInteger() const { return isNull ? 0 : value.AsInteger(); }
double TParam::AsFloat() const { return isNull ? 0 : value.AsFloat(); }
Currency TParam::AsCurrency() const { return isNull ? Currency() : value.AsCurrency(); }
bool TParam::AsBoolean() const { return !isNull && value.AsBoolean(); }
TDateTime TParam::AsDateTime() const { return isNull ? 0 : value.AsDateTime(); }

std::string TParam::AsString() const {
  if (isNull) return {};
  if (value.IsBytes()) {
    const std::vector<uint8_t> bytes = value.AsBytes();
    return std::string(bytes.begin(), bytes.end());
  }
  return value.AsString();
}

void TParam::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TParam*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  dataType = other->dataType;
  value = other->value;
  isNull = other->isNull;
  bound = other->bound;
  name = other->name;
  if (paramType == ptUnknown) paramType = other->paramType;
}

void TParam::AssignField(const TField* field) {
  TFieldType type = field->DataType();
  if (type == ftMemo && field->Size() > MaxStringParamLength) type = ftString;
  dataType = type;
  value = field->AsVariant();
  isNull = value.IsNull();
  bound = true;
  name = field->FieldName();
}

void TParam::AssignToField(TField* field) const {
  if (isNull)
    field->Clear();
  else
    field->SetAsVariant(value);
}

bool TParam::IsEqual(const TParam& other) const {
  return value == other.value && name == other.name && dataType == other.dataType && isNull == other.isNull &&
         bound == other.bound && paramType == other.paramType;
}

// ---- TParams ----

TParams::~TParams() { Clear(); }

TParam* TParams::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(SListIndexError, {index});
  return items[static_cast<size_t>(index)];
}

TParam* TParams::FindParam(const std::string& name) const {
  for (TParam* param : items)
    if (SameText(param->Name(), name)) return param;
  return nullptr;
}

TParam* TParams::ParamByName(const std::string& name) const {
  TParam* param = FindParam(name);
  if (!param) throw EDatabaseError(SParameterNotFound, {name});
  return param;
}

TParam* TParams::CreateParam(TFieldType dataType, const std::string& name, TParamType paramType) {
  return new TParam(this, name, dataType, paramType);
}

void TParams::AddParam(TParam* param) {
  if (param->owner) param->owner->RemoveParam(param);
  items.push_back(param);
  param->owner = this;
}

void TParams::RemoveParam(TParam* param) {
  items.erase(std::remove(items.begin(), items.end(), param), items.end());
  param->owner = nullptr;
}

void TParams::Clear() {
  while (!items.empty()) {
    TParam* param = items.back();
    items.pop_back();
    param->owner = nullptr;
    param->Free();
  }
}

void TParams::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TParams*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  Clear();
  for (const TParam* param : other->items) {
    TParam* copy = CreateParam(param->DataType(), param->Name(), param->ParamType());
    copy->Assign(param);
  }
}

void TParams::AssignValues(const TParams& other) {
  for (TParam* param : items) {
    for (const TParam* source : other.items) {
      if (source->Name() == param->Name()) {
        param->Assign(source);
        break;
      }
    }
  }
}

bool TParams::IsEqual(const TParams& other) const {
  if (Count() != other.Count()) return false;
  for (size_t i = 0; i < items.size(); ++i)
    if (!items[i]->IsEqual(*other.items[i])) return false;
  return true;
}
