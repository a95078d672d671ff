#include "dbFieldDefs.h"

#include <algorithm>

#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbFieldClasses.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TFieldDef)
RTL_DEFINE_CLASS(TFieldDefs)

std::vector<std::string> SplitFieldNames(const std::string& names) {
  std::vector<std::string> list;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    std::string name = Trim(std::string_view(names).substr(start, end - start));
    if (!name.empty()) list.push_back(std::move(name));
    start = end + 1;
  }
  return list;
}

// ---- TFieldDef ----

TFieldDef::TFieldDef(TFieldDefs* owner, const std::string& name, TFieldType dataType, int size, bool required,
                     int fieldNo)
    : owner(owner), name(name), dataType(dataType), size(size), required(required), fieldNo(fieldNo) {}

void TFieldDef::Changed() {
  if (owner) owner->Changed();
}

void TFieldDef::SetName(const std::string& value) {
  if (owner) owner->CheckNewName(value, this);
  name = value;
  Changed();
}

void TFieldDef::SetDataType(TFieldType value) {
  dataType = value;
  Changed();
}

void TFieldDef::SetSize(int value) {
  if (value < 0) throw EDatabaseError(SInvalidFieldSize);
  size = value;
  Changed();
}

void TFieldDef::SetRequired(bool value) {
  required = value;
  Changed();
}

void TFieldDef::SetPrecision(int value) {
  precision = value;
  Changed();
}

void TFieldDef::SetInternalCalcField(bool value) {
  internalCalcField = value;
  Changed();
}

int TFieldDef::Index() const {
  if (!owner) return -1;
  for (int i = 0; i < owner->Count(); ++i)
    if (owner->Items(i) == this) return i;
  return -1;
}

TField* TFieldDef::CreateField(TComponent* fieldOwner) const {
  TField* field = CreateFieldOfType(dataType, fieldOwner);
  if (!field) throw EDatabaseError(SFieldUnsupportedType, {name});
  try {
    field->SetFieldName(name);
    switch (dataType) {
      case ftString:
      case ftFixedChar:
      case ftBytes:
      case ftVarBytes:
      case ftBCD: field->SetSize(size); break;
      default: break;
    }
    field->SetRequired(required);
    if (auto* bcd = dynamic_cast<TBCDField*>(field); bcd && precision > 0) bcd->SetPrecision(precision);
    if (internalCalcField) field->SetFieldKind(fkInternalCalc);
    if (owner && owner->DataSet()) field->SetDataSet(owner->DataSet());
  } catch (...) {
    field->Free();
    throw;
  }
  return field;
}

void TFieldDef::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TFieldDef*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  name = other->name;
  dataType = other->dataType;
  size = other->size;
  required = other->required;
  fieldNo = other->fieldNo;
  precision = other->precision;
  internalCalcField = other->internalCalcField;
  Changed();
}

bool TFieldDef::SameAs(const TFieldDef& other) const {
  return name == other.name && dataType == other.dataType && size == other.size && required == other.required &&
         precision == other.precision && internalCalcField == other.internalCalcField;
}

// ---- TFieldDefs ----

TFieldDefs::TFieldDefs(TDataSet* dataSet) : dataSet(dataSet) {}

TFieldDefs::~TFieldDefs() = default;

TFieldDef* TFieldDefs::Items(int index) const {
  if (index < 0 || index >= Count()) throw EDatabaseError(SFieldIndexError);
  return items[static_cast<size_t>(index)].get();
}

void TFieldDefs::CheckNewName(const std::string& name, const TFieldDef* except) const {
  if (name.empty()) throw EDatabaseError(SFieldNameMissing);
  for (const auto& item : items)
    if (item.get() != except && SameText(item->Name(), name)) throw EDatabaseError(SDuplicateFieldName, {name});
}

TFieldDef* TFieldDefs::Add(const std::string& name, TFieldType dataType, int size, bool required) {
  return AddNumbered(name, dataType, size, required, Count() + 1);
}

TFieldDef* TFieldDefs::AddNumbered(const std::string& name, TFieldType dataType, int size, bool required,
                                   int fieldNo) {
  CheckNewName(name, nullptr);
  if (size < 0) throw EDatabaseError(SInvalidFieldSize);
  items.emplace_back(new TFieldDef(this, name, dataType, size, required, fieldNo));
  Changed();
  return items.back().get();
}

void TFieldDefs::Delete(int index) {
  Items(index);
  items.erase(items.begin() + index);
  Changed();
}

void TFieldDefs::Clear() {
  items.clear();
  Changed();
}

int TFieldDefs::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(items[static_cast<size_t>(i)]->Name(), name)) return i;
  return -1;
}

TFieldDef* TFieldDefs::FindDef(const std::string& name) const {
  const int index = IndexOf(name);
  return index < 0 ? nullptr : items[static_cast<size_t>(index)].get();
}

TFieldDef* TFieldDefs::Find(const std::string& name) const {
  TFieldDef* def = FindDef(name);
  if (!def) throw EDatabaseError(SFieldNotFound, {name});
  return def;
}

void TFieldDefs::Changed() {
  updated = false;
  if (dataSet) dataSet->DefChanged(this);
}

void TFieldDefs::Update() {
  if (dataSet) dataSet->UpdateFieldDefs();
}

void TFieldDefs::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TFieldDefs*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  items.clear();
  for (const auto& item : other->items) {
    items.emplace_back(new TFieldDef(this, {}, ftUnknown, 0, false, 0));
    items.back()->Assign(item.get());
  }
  Changed();
}

bool TFieldDefs::SameAs(const TFieldDefs& other) const {
  if (Count() != other.Count()) return false;
  for (size_t i = 0; i < items.size(); ++i)
    if (!items[i]->SameAs(*other.items[i])) return false;
  return true;
}
