#include "MDBRestructureDefs.h"

#include <algorithm>

#include "MDBDescriptors.h"
#include "MDBFieldTypes.h"
#include "dbConsts.h"
#include "dbFieldDefs.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TRestructureFieldDef)
RTL_DEFINE_CLASS(TRestructureFieldDefs)
RTL_DEFINE_CLASS(TRestructureIndexDef)
RTL_DEFINE_CLASS(TRestructureIndexDefs)

namespace {

constexpr int MaxDeclaredSize = 250;
constexpr int MaxBcdScale = 8;

[[noreturn]] void IndexError(int index) { throw EListError(Format("List index out of bounds (%d)", {index})); }

}  // namespace

void CheckFieldSize(TFieldType dataType, int size) {
  bool valid = false;
  switch (dataType) {
    case ftString:
    case ftBytes:
    case ftVarBytes: valid = size >= 1 && size <= MaxDeclaredSize; break;
    case ftBCD: valid = size >= 0 && size <= MaxBcdScale; break;
    default: valid = size == 0; break;
  }
  if (!valid) throw EDatabaseError(SInvalidFieldSize);
}

void TRestructureFieldDef::SetDataType(TFieldType value) {
  dataType = value;
  owner.updated = false;
}

void TRestructureFieldDef::SetRequired(bool value) {
  required = value;
  owner.updated = false;
}

TRestructureFieldDef* TRestructureFieldDefs::Add(int index, const std::string& name, int32_t fieldNo,
                                                 uint8_t charCase, const std::string& description,
                                                 const std::string& maxValue, const std::string& minValue,
                                                 const std::string& defaultValue, bool required, uint16_t size,
                                                 TFieldType dataType) {
  CheckFieldSize(dataType, size);
  const std::string trimmed = Trim(name);
  if (trimmed.empty()) throw EDatabaseError(SFieldNameMissing);
  if (IndexOf(trimmed) >= 0) throw EDatabaseError(SDuplicateFieldName, {trimmed});
  if (index < 0 || index > Count()) IndexError(index);
  std::unique_ptr<TRestructureFieldDef> def(new TRestructureFieldDef(*this));
  def->name = trimmed;
  def->fieldNo = fieldNo;
  def->charCase = charCase;
  def->description = description;
  def->maxValue = maxValue;
  def->minValue = minValue;
  def->defaultValue = defaultValue;
  def->required = required;
  def->size = size;
  def->dataType = dataType;
  TRestructureFieldDef* added = def.get();
  items.insert(items.begin() + index, std::move(def));
  updated = false;
  return added;
}

void TRestructureFieldDefs::Delete(int index) {
  if (index < 0 || index >= Count()) IndexError(index);
  items.erase(items.begin() + index);
  updated = false;
}

void TRestructureFieldDefs::Clear() {
  items.clear();
  updated = false;
}

TRestructureFieldDef* TRestructureFieldDefs::Items(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return items[static_cast<size_t>(index)].get();
}

int TRestructureFieldDefs::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(items[static_cast<size_t>(i)]->name, name)) return i;
  return -1;
}

TRestructureFieldDef* TRestructureFieldDefs::FindFieldDef(const std::string& name) const {
  const int index = IndexOf(name);
  if (index < 0) throw EDatabaseError(SFieldNotFound, {name});
  return items[static_cast<size_t>(index)].get();
}

void TRestructureFieldDefs::Update() {
  if (updated) return;
  TMDBTableDescriptors current;
  table.ReadTableDescriptors(current);
  Clear();
  for (const TFieldDefinition& field : current.Fields) {
    TFieldType type = ftUnknown;
    int size = 0;
    if (!FieldTypeOf(field, type, size)) continue;
    std::unique_ptr<TRestructureFieldDef> def(new TRestructureFieldDef(*this));
    def->name = field.Name;
    def->fieldNo = field.Number;
    def->dataType = type;
    def->size = static_cast<uint16_t>(size);
    def->required = field.Required;
    def->charCase = field.CharCase;
    def->description = field.Description;
    def->minValue = field.Minimum;
    def->maxValue = field.Maximum;
    def->defaultValue = field.Default;
    items.push_back(std::move(def));
  }
  updated = true;
}

void TRestructureIndexDef::SetFields(const std::string& value) {
  fields = value;
  owner.updated = false;
}

void TRestructureIndexDef::SetOptions(TIndexOptions value) {
  options = value;
  owner.updated = false;
}

void TRestructureIndexDef::SetCompression(uint8_t value) {
  compression = value;
  owner.updated = false;
}

TRestructureIndexDef* TRestructureIndexDefs::Add(const std::string& name, const std::string& fields,
                                                 uint8_t compression, TIndexOptions options) {
  if (IndexOf(name) >= 0) throw EDatabaseError(SDuplicateIndexName, {name});
  std::unique_ptr<TRestructureIndexDef> def(new TRestructureIndexDef(*this));
  def->name = name;
  def->fields = fields;
  def->compression = compression;
  def->options = options;
  TRestructureIndexDef* added = def.get();
  items.push_back(std::move(def));
  updated = false;
  return added;
}

void TRestructureIndexDefs::Delete(int index) {
  if (index < 0 || index >= Count()) IndexError(index);
  items.erase(items.begin() + index);
  updated = false;
}

void TRestructureIndexDefs::Clear() {
  items.clear();
  updated = false;
}

TRestructureIndexDef* TRestructureIndexDefs::Items(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return items[static_cast<size_t>(index)].get();
}

int TRestructureIndexDefs::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(items[static_cast<size_t>(i)]->name, name)) return i;
  return -1;
}

void TRestructureIndexDefs::Update() {
  if (updated) return;
  fieldDefs.Update();
  TMDBTableDescriptors current;
  table.ReadTableDescriptors(current);
  Clear();
  for (size_t slot = 0; slot < current.Indexes.size(); ++slot) {
    if (slot == 0 && current.PrimaryIsNatural) continue;
    const TIndexDefinition& index = current.Indexes[slot];
    std::string fields;
    for (const uint16_t fieldNo : index.FieldNumbers) {
      if (fieldNo < 1 || fieldNo > fieldDefs.Count()) continue;
      if (!fields.empty()) fields += ';';
      fields += fieldDefs.Items(fieldNo - 1)->Name();
    }
    TIndexOptions options;
    if (slot == 0) options.Include(ixPrimary);
    if (index.Descending) options.Include(ixDescending);
    if (index.CaseInsensitive) options.Include(ixCaseInsensitive);
    if (index.Unique) options.Include(ixUnique);
    std::unique_ptr<TRestructureIndexDef> def(new TRestructureIndexDef(*this));
    def->name = index.Name;
    def->fields = fields;
    def->options = options;
    def->compression = index.Compression;
    items.push_back(std::move(def));
  }
  updated = true;
}

void BuildRestructureDescriptors(const TRestructureFieldDefs& fieldDefs, const TRestructureIndexDefs& indexDefs,
                                 TMDBRestructureDescriptors& descriptors) {
  descriptors = {};
  // A field a program adds without a number takes one after every number
  // in use, so the engine sees it as new and indexes can name it.
  std::vector<uint16_t> numbers;
  int32_t highest = 0;
  for (int i = 0; i < fieldDefs.Count(); ++i) highest = std::max(highest, fieldDefs.Items(i)->FieldNo());
  for (int i = 0; i < fieldDefs.Count(); ++i) {
    const int32_t fieldNo = fieldDefs.Items(i)->FieldNo();
    numbers.push_back(static_cast<uint16_t>(fieldNo > 0 ? fieldNo : ++highest));
  }
  for (int i = 0; i < fieldDefs.Count(); ++i) {
    const TRestructureFieldDef& def = *fieldDefs.Items(i);
    const TMDBEngineType engineType = EngineTypeOf(def.DataType());
    TFieldDefinition field;
    field.Number = numbers[static_cast<size_t>(i)];
    field.Name = def.Name();
    field.Type = engineType.Type;
    field.Subtype = engineType.Subtype;
    if (def.DataType() == ftString || def.DataType() == ftBytes || def.DataType() == ftVarBytes)
      field.DeclaredSize = static_cast<uint8_t>(def.Size());
    if (def.DataType() == ftBCD) field.Scale = static_cast<uint8_t>(def.Size());
    field.Required = def.Required();
    field.CharCase = def.CharCase();
    field.Description = def.Description();
    field.Minimum = def.MinValue();
    field.Maximum = def.MaxValue();
    field.Default = def.DefaultValue();
    AppendFieldDefinition(std::move(field), descriptors.Fields);
  }

  std::vector<const TRestructureIndexDef*> order;
  for (int i = 0; i < indexDefs.Count(); ++i) order.push_back(indexDefs.Items(i));
  auto primary = std::find_if(order.begin(), order.end(),
                              [](const TRestructureIndexDef* def) { return def->Options().Contains(ixPrimary); });
  if (primary != order.end()) std::rotate(order.begin(), primary, primary + 1);
  const bool hasPrimary = !order.empty() && order.front()->Options().Contains(ixPrimary);
  if (!hasPrimary) descriptors.Indexes.emplace_back();
  for (const TRestructureIndexDef* def : order) {
    TIndexDefinition spec;
    spec.Name = def->Name();
    spec.Descending = def->Options().Contains(ixDescending);
    spec.FieldDescending.fill(spec.Descending);
    spec.CaseInsensitive = def->Options().Contains(ixCaseInsensitive);
    spec.Unique = def->Options().Contains(ixUnique);
    spec.Compression = def->Compression();
    for (const std::string& fieldName : SplitFieldNames(def->Fields())) {
      fieldDefs.FindFieldDef(fieldName);
      spec.FieldNumbers.push_back(numbers[static_cast<size_t>(fieldDefs.IndexOf(fieldName))]);
    }
    descriptors.Indexes.push_back(std::move(spec));
  }
}
