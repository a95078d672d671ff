#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbFieldDefs.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TIndexDef)
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

TIndexDef::TIndexDef(TIndexDefs* owner, const std::string& name, const std::string& fields, TIndexOptions options)
    : owner(owner), name(name), fields(fields), options(options) {}

void TIndexDef::Changed() {
  if (owner) owner->Changed();
}

void TIndexDef::SetName(const std::string& value) {
  if (owner)
    for (int i = 0; i < owner->Count(); ++i)
      if (owner->Items(i) != this && SameText(owner->Items(i)->Name(), value))
        throw EDatabaseError(SDuplicateIndexName, {value});
  name = value;
  Changed();
}

void TIndexDef::SetFields(const std::string& value) {
  fields = value;
  Changed();
}

void TIndexDef::SetOptions(TIndexOptions value) {
  options = value;
  Changed();
}

void TIndexDef::SetCaseInsFields(const std::string& value) {
  caseInsFields = value;
  Changed();
}

void TIndexDef::SetDescFields(const std::string& value) {
  descFields = value;
  Changed();
}

int TIndexDef::Index() const {
  if (!owner) return -1;
  for (int i = 0; i < owner->Count(); ++i)
    if (owner->Items(i) == this) return i;
  return -1;
}

void TIndexDef::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TIndexDef*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  name = other->name;
  fields = other->fields;
  options = other->options;
  caseInsFields = other->caseInsFields;
  descFields = other->descFields;
  Changed();
}

bool TIndexDef::SameAs(const TIndexDef& other) const {
  // As their streamed forms compare: texts exactly.
  return name == other.name && fields == other.fields && options == other.options &&
         caseInsFields == other.caseInsFields && descFields == other.descFields;
}

TIndexDefs::TIndexDefs(TDataSet* dataSet) : dataSet(dataSet) {}

TIndexDefs::~TIndexDefs() = default;

TIndexDef* TIndexDefs::Items(int index) const {
  if (index < 0 || index >= Count()) throw EDatabaseError(SFieldIndexError);
  return items[static_cast<size_t>(index)].get();
}

TIndexDef* TIndexDefs::Add(const std::string& name, const std::string& fields, TIndexOptions options) {
  if (IndexOf(name) >= 0) throw EDatabaseError(SDuplicateIndexName, {name});
  items.emplace_back(new TIndexDef(this, name, fields, options));
  Changed();
  return items.back().get();
}

void TIndexDefs::Delete(int index) {
  Items(index);
  items.erase(items.begin() + index);
  Changed();
}

void TIndexDefs::Clear() {
  items.clear();
  Changed();
}

int TIndexDefs::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(items[static_cast<size_t>(i)]->Name(), name)) return i;
  return -1;
}

TIndexDef* TIndexDefs::Find(const std::string& name) const {
  const int index = IndexOf(name);
  if (index < 0) throw EDatabaseError(SIndexNotFound, {name});
  return items[static_cast<size_t>(index)].get();
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& fields, bool caseInsensitive) const {
  for (const auto& item : items)
    if (StartsWithFields(item->Fields(), fields) && item->Options().Contains(ixCaseInsensitive) == caseInsensitive)
      return item.get();
  return nullptr;
}

TIndexDef* TIndexDefs::FindIndexForFields(const std::string& fields) const {
  for (const auto& item : items)
    if (SameFieldList(item->Fields(), fields)) return item.get();
  throw EDatabaseError(SNoIndexForFields, {fields});
}

void TIndexDefs::Changed() {
  updated = false;
  if (dataSet) dataSet->DefChanged(this);
}

void TIndexDefs::Update() {
  if (dataSet && !updated) dataSet->UpdateIndexDefs();
}

void TIndexDefs::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TIndexDefs*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  items.clear();
  for (const auto& item : other->items) {
    items.emplace_back(new TIndexDef(this, {}, {}, {}));
    items.back()->Assign(item.get());
  }
  Changed();
}

bool TIndexDefs::SameAs(const TIndexDefs& other) const {
  if (Count() != other.Count()) return false;
  for (size_t i = 0; i < items.size(); ++i)
    if (!items[i]->SameAs(*other.items[i])) return false;
  return true;
}
