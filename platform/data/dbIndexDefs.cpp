
#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbFieldDefs.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

const TClassInfo& TIndexDef::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TIndexDef>("TIndexDef")
                                     .Property("Name", &TIndexDef::Name, &TIndexDef::SetName)
                                     .Property("Fields", &TIndexDef::Fields, &TIndexDef::SetFields)
                                     .Property("Options", &TIndexDef::Options, &TIndexDef::SetOptions)
                                     .Default(0)
                                     .Property("CaseInsFields", &TIndexDef::CaseInsFields, &TIndexDef::SetCaseInsFields)
                                     .Property("DescFields", &TIndexDef::DescFields, &TIndexDef::SetDescFields)
                                     .Build();
  return info;
}

RTL_DEFINE_CLASS(TIndexDefs)

namespace {

// "A; b" and "a;B" name the same fields.
bool SameFieldList(const std::string& a, const std::string& b) {
  const std::vector<std::string> left = SplitFieldNames(a);
  const std::vector<std::string> right = SplitFieldNames(b);
  if (left.size() != right.size()) return false;
  for (size_t i = 0; i < left.size(); ++i)
    if (!SameText(left[i], right[i])) return false;
  return true;
}

// Whether the index's fields begin with the wanted ones.
bool StartsWithFields(const std::string& indexFields, const std::string& wanted) {
  const std::vector<std::string> have = SplitFieldNames(indexFields);
  const std::vector<std::string> want = SplitFieldNames(wanted);
  if (want.empty() || want.size() > have.size()) return false;
  for (size_t i = 0; i < want.size(); ++i)
    if (!SameText(have[i], want[i])) return false;
  return true;
}

}  // namespace

TIndexDef::TIndexDef(TCollection* collection) : TCollectionItem(collection) {
  ORV_ASSERT(collection == nullptr || dynamic_cast<TIndexDefs*>(collection) != nullptr);
}

TIndexDefs* TIndexDef::Collection() const { return static_cast<TIndexDefs*>(TCollectionItem::Collection()); }

void TIndexDef::SetName(const std::string& value) {
  if (const TIndexDefs* owner = Collection())
    for (int i = 0; i < owner->Count(); ++i)
      if (owner->Items(i) != this && SameText(owner->Items(i)->Name(), value))
        throw EDatabaseError(SDuplicateIndexName, {value});
  name = value;
  Changed(false);
}

void TIndexDef::SetFields(const std::string& value) {
  fields = value;
  Changed(false);
}

void TIndexDef::SetOptions(TIndexOptions value) {
  options = value;
  Changed(false);
}

void TIndexDef::SetCaseInsFields(const std::string& value) {
  caseInsFields = value;
  Changed(false);
}

void TIndexDef::SetDescFields(const std::string& value) {
  descFields = value;
  Changed(false);
}

void TIndexDef::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TIndexDef*>(source);
  if (!other) {
    TCollectionItem::Assign(source);
    return;
  }
  name = other->name;
  fields = other->fields;
  options = other->options;
  caseInsFields = other->caseInsFields;
  descFields = other->descFields;
  Changed(false);
}

bool TIndexDef::SameAs(const TIndexDef& other) const {
  // As their streamed forms compare: texts exactly.
  return name == other.name && fields == other.fields && options == other.options &&
         caseInsFields == other.caseInsFields && descFields == other.descFields;
}

TIndexDefs::TIndexDefs(TDataSet* dataSet)
    : TCollection(TIndexDef::StaticClassType(), &TCollection::CreateItem<TIndexDef>), dataSet(dataSet) {
  SetOwner(dataSet);
}

TIndexDefs::~TIndexDefs() = default;

TIndexDef* TIndexDefs::Items(int index) const {
  if (index < 0 || index >= Count()) throw EDatabaseError(SFieldIndexError);
  return static_cast<TIndexDef*>(TCollection::Items(index));
}

TIndexDef* TIndexDefs::Add(const std::string& name, const std::string& fields, TIndexOptions options) {
  if (IndexOf(name) >= 0) throw EDatabaseError(SDuplicateIndexName, {name});
  BeginUpdate();
  auto* def = static_cast<TIndexDef*>(TCollection::Add());
  def->SetName(name);
  def->SetFields(fields);
  def->SetOptions(options);
  EndUpdate();
  return def;
}

int TIndexDefs::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Items(i)->Name(), name)) return i;
  return -1;
}

TIndexDef* TIndexDefs::Find(const std::string& name) const {
  const int index = IndexOf(name);
  if (index < 0) throw EDatabaseError(SIndexNotFound, {name});
  return Items(index);
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& fields, bool caseInsensitive) const {
  for (int i = 0; i < Count(); ++i)
    if (StartsWithFields(Items(i)->Fields(), fields) &&
        Items(i)->Options().Contains(ixCaseInsensitive) == caseInsensitive)
      return Items(i);
  return nullptr;
}

TIndexDef* TIndexDefs::FindIndexForFields(const std::string& fields) const {
  for (int i = 0; i < Count(); ++i)
    if (SameFieldList(Items(i)->Fields(), fields)) return Items(i);
  throw EDatabaseError(SNoIndexForFields, {fields});
}

void TIndexDefs::Update(TCollectionItem* /*item*/) {
  updated = false;
  if (dataSet) dataSet->DefChanged(this);
}

void TIndexDefs::Update() {
  if (dataSet && !updated) dataSet->UpdateIndexDefs();
}

bool TIndexDefs::SameAs(const TIndexDefs& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->SameAs(*other.Items(i))) return false;
  return true;
}
