#include "dbFieldDefs.h"


#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbFieldClasses.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

const TClassInfo& TFieldDef::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TFieldDef>("TFieldDef")
                                     .Property("Name", &TFieldDef::Name, &TFieldDef::SetName)
                                     .Property("Attributes", &TFieldDef::Attributes, &TFieldDef::SetAttributes)
                                     .Default(0)
                                     .Property("DataType", &TFieldDef::DataType, &TFieldDef::SetDataType)
                                     .Property("Precision", &TFieldDef::Precision, &TFieldDef::SetPrecision)
                                     .Default(0)
                                     .Property("Size", &TFieldDef::Size, &TFieldDef::SetSize)
                                     .Default(0)
                                     .Build();
  return info;
}

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

TFieldDef::TFieldDef(TCollection* collection) : TCollectionItem(collection), fieldNo(Index() + 1) {
  ORV_ASSERT(collection == nullptr || dynamic_cast<TFieldDefs*>(collection) != nullptr);
}

TFieldDefs* TFieldDef::Collection() const { return static_cast<TFieldDefs*>(TCollectionItem::Collection()); }

void TFieldDef::SetName(const std::string& value) {
  if (Collection()) Collection()->CheckNewName(value, this);
  name = value;
  Changed(false);
}

void TFieldDef::SetDataType(TFieldType value) {
  dataType = value;
  Changed(false);
}

void TFieldDef::SetSize(int value) {
  if (value < 0) throw EDatabaseError(SInvalidFieldSize);
  size = value;
  Changed(false);
}

void TFieldDef::SetAttributes(TFieldAttributes value) {
  attributes = value;
  Changed(false);
}

void TFieldDef::SetRequired(bool value) {
  if (value)
    attributes.Include(faRequired);
  else
    attributes.Exclude(faRequired);
  Changed(false);
}

void TFieldDef::SetPrecision(int value) {
  precision = value;
  Changed(false);
}

void TFieldDef::SetInternalCalcField(bool value) {
  internalCalcField = value;
  Changed(false);
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
    field->SetRequired(Required());
    if (auto* bcd = dynamic_cast<TBCDField*>(field); bcd && precision > 0) bcd->SetPrecision(precision);
    if (internalCalcField) field->SetFieldKind(fkInternalCalc);
    if (Collection() && Collection()->DataSet()) field->SetDataSet(Collection()->DataSet());
  } catch (...) {
    field->Free();
    throw;
  }
  return field;
}

void TFieldDef::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TFieldDef*>(source);
  if (!other) {
    TCollectionItem::Assign(source);
    return;
  }
  name = other->name;
  dataType = other->dataType;
  size = other->size;
  attributes = other->attributes;
  fieldNo = other->fieldNo;
  precision = other->precision;
  internalCalcField = other->internalCalcField;
  Changed(false);
}

bool TFieldDef::SameAs(const TFieldDef& other) const {
  return name == other.name && dataType == other.dataType && size == other.size &&
         attributes == other.attributes && precision == other.precision &&
         internalCalcField == other.internalCalcField;
}

// ---- TFieldDefs ----

TFieldDefs::TFieldDefs(TDataSet* dataSet)
    : TCollection(TFieldDef::StaticClassType(), &TCollection::CreateItem<TFieldDef>), dataSet(dataSet) {
  SetOwner(dataSet);
}

TFieldDefs::~TFieldDefs() = default;

TFieldDef* TFieldDefs::Items(int index) const {
  if (index < 0 || index >= Count()) throw EDatabaseError(SFieldIndexError);
  return static_cast<TFieldDef*>(TCollection::Items(index));
}

void TFieldDefs::CheckNewName(const std::string& name, const TFieldDef* except) const {
  if (name.empty()) throw EDatabaseError(SFieldNameMissing);
  for (int i = 0; i < Count(); ++i)
    if (Items(i) != except && SameText(Items(i)->Name(), name)) throw EDatabaseError(SDuplicateFieldName, {name});
}

TFieldDef* TFieldDefs::Add(const std::string& name, TFieldType dataType, int size, bool required) {
  return AddNumbered(name, dataType, size, required, Count() + 1);
}

TFieldDef* TFieldDefs::AddNumbered(const std::string& name, TFieldType dataType, int size, bool required,
                                   int fieldNo) {
  CheckNewName(name, nullptr);
  if (size < 0) throw EDatabaseError(SInvalidFieldSize);
  BeginUpdate();
  auto* def = static_cast<TFieldDef*>(TCollection::Add());
  def->name = name;
  def->dataType = dataType;
  def->size = size;
  if (required) def->attributes.Include(faRequired);
  def->fieldNo = fieldNo;
  EndUpdate();
  return def;
}

int TFieldDefs::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Items(i)->Name(), name)) return i;
  return -1;
}

TFieldDef* TFieldDefs::FindDef(const std::string& name) const {
  const int index = IndexOf(name);
  return index < 0 ? nullptr : Items(index);
}

TFieldDef* TFieldDefs::Find(const std::string& name) const {
  TFieldDef* def = FindDef(name);
  if (!def) throw EDatabaseError(SFieldNotFound, {name});
  return def;
}

void TFieldDefs::Update(TCollectionItem* /*item*/) {
  updated = false;
  if (dataSet) dataSet->DefChanged(this);
}

void TFieldDefs::Update() {
  if (dataSet) dataSet->UpdateFieldDefs();
}

bool TFieldDefs::SameAs(const TFieldDefs& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->SameAs(*other.Items(i))) return false;
  return true;
}
