// TDataSet: opening and closing, states, fields and data events.

#include "dbDataSet.h"

#include <algorithm>

#include "dbConsts.h"
#include "dbDataSource.h"
#include "dbFieldClasses.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

TDataSet::TDataSet(TComponent* owner) : TComponent(owner), fieldDefs(this) {}

TDataSet::~TDataSet() {
  // A dataset deleted while open cannot reach its class's operations any
  // more: Free() closes it first.
  ORV_ASSERT(!Active());
  // The sources forget this dataset without calling back into it: its
  // class's operations are gone already.
  for (TDataSource* source : dataSources) {
    source->dataSet = nullptr;
    source->UpdateState();
  }
  dataSources.clear();
  // Persistent fields belong to the owner and outlive the dataset.
  for (TField* field : fields) field->dataSet = nullptr;
  fields.clear();
}

void TDataSet::BeforeDestruction() {
  Destroying();
  SetActive(false);
  DestroyFields();
  TComponent::BeforeDestruction();
}

void TDataSet::GetChildren(const TGetChildProc& proc, TComponent* root) {
  for (TField* field : fields)
    if (field->Owner() == root) proc(field);
}

void TDataSet::SetChildOrder(TComponent* child, int order) {
  if (auto* field = dynamic_cast<TField*>(child); field && field->DataSet() == this) field->SetIndex(order);
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (streamedActive) SetActive(true);
}

void TDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError(SDataSetClosed);
}

void TDataSet::CheckInactive() const {
  if (Active()) throw EDatabaseError(SDataSetOpen);
}

void TDataSet::SetActive(bool value) {
  if (ComponentState().Contains(csReading)) {
    streamedActive = value;
    return;
  }
  if (value == Active()) return;
  if (value) {
    if (BeforeOpen) BeforeOpen(this);
    try {
      OpenCursor();
    } catch (...) {
      // Nothing of a failed open stays: buffers, the dataset's own fields,
      // its cursor.
      state = dsInactive;
      if (IsCursorOpen()) {
        CloseCursor();
      } else {
        ClearBuffers();
        FreeBuffers();
        bufferCount = 0;
        if (defaultFields) DestroyFields();
        defaultFields = false;
      }
      throw;
    }
    SetState(dsBrowse);
    if (AfterOpen) AfterOpen(this);
    if (!IsEmpty()) DoAfterScroll();
  } else {
    const bool destroying = ComponentState().Contains(csDestroying);
    if (!destroying && BeforeClose) BeforeClose(this);
    SetState(dsInactive);
    CloseCursor();
    if (!destroying && AfterClose) AfterClose(this);
  }
}

void TDataSet::OpenCursor() {
  state = dsOpening;
  DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
  defaultFields = fields.empty();
  InternalOpen();
  recordBufferSize = RecordBufferSize();
  tempBuffer = std::make_unique<uint8_t[]>(recordBufferSize);
  oldValueBuffer = std::make_unique<uint8_t[]>(recordBufferSize);
  ClearBuffers();
  bufferCount = 0;
  UpdateBufferCount();
  bof = true;
}

void TDataSet::CloseCursor() {
  ClearBuffers();
  FreeBuffers();
  bufferCount = 0;
  modified = false;
  InternalClose();
  defaultFields = false;
}

void TDataSet::SetState(TDataSetState value) {
  if (state == value) return;
  state = value;
  modified = false;
  DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  const TDataSetState old = state;
  state = value;
  ++disableCount;
  return old;
}

void TDataSet::RestoreState(TDataSetState value) {
  state = value;
  --disableCount;
  ORV_ASSERT(disableCount >= 0);
}

void TDataSet::InternalHandleException() {}

bool TDataSet::IsIndexField(const TField* /*field*/) const { return false; }

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* /*field*/, TBlobStreamMode /*mode*/) { return nullptr; }

// ---- Fields ----

TField* TDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) throw EDatabaseError(SFieldIndexError);
  return fields[static_cast<size_t>(index)];
}

void TDataSet::AddField(TField* field) {
  CheckInactive();
  fields.push_back(field);
  DataEvent(deFieldListChange, 0);
}

void TDataSet::RemoveField(TField* field) {
  auto it = std::find(fields.begin(), fields.end(), field);
  if (it == fields.end()) return;
  // Fields leave only a closed dataset: a field being freed closes it.
  if (Active()) Close();
  fields.erase(it);
  DataEvent(deFieldListChange, 0);
}

TField* TDataSet::FindField(const std::string& name) const {
  for (TField* field : fields)
    if (SameText(field->FieldName(), name)) return field;
  return nullptr;
}

TField* TDataSet::FieldByName(const std::string& name) const {
  TField* field = FindField(name);
  if (!field) throw EDatabaseError(SFieldNotFound, {name});
  return field;
}

TField* TDataSet::FieldByNumber(int fieldNo) const {
  for (TField* field : fields)
    if (field->FieldNo() == fieldNo) return field;
  return nullptr;
}

void TDataSet::GetFieldNames(TStrings& list) {
  list.Clear();
  if (!fields.empty()) {
    for (TField* field : fields) list.Add(field->FieldName());
    return;
  }
  UpdateFieldDefs();
  for (int i = 0; i < fieldDefs.Count(); ++i) list.Add(fieldDefs[i]->Name());
}

std::vector<TField*> TDataSet::GetFieldList(const std::string& names) const {
  std::vector<TField*> list;
  for (const std::string& name : SplitFieldNames(names)) list.push_back(FieldByName(name));
  return list;
}

Variant TDataSet::FieldValues(const std::string& names) const {
  const std::vector<TField*> list = GetFieldList(names);
  if (list.size() == 1) return list.front()->AsVariant();
  std::vector<Variant> values;
  for (TField* field : list) values.push_back(field->AsVariant());
  return Variant::ArrayOf(std::move(values));
}

void TDataSet::SetFieldValues(const std::string& names, const Variant& value) {
  const std::vector<TField*> list = GetFieldList(names);
  if (list.size() == 1) {
    list.front()->SetAsVariant(value);
    return;
  }
  for (size_t i = 0; i < list.size(); ++i) list[i]->SetAsVariant(value.Element(static_cast<int>(i)));
}

void TDataSet::UpdateFieldDefs() {
  if (fieldDefs.Updated()) return;
  InternalInitFieldDefs();
  fieldDefs.SetUpdated(true);
}

void TDataSet::CreateFields() {
  for (int i = 0; i < fieldDefs.Count(); ++i) {
    const TFieldDef* def = fieldDefs[i];
    if (def->DataType() != ftUnknown && !def->InternalCalcField()) def->CreateField(this);
  }
}

void TDataSet::DestroyFields() {
  // Only the fields the dataset made for itself: persistent ones belong
  // to the owner.
  std::vector<TField*> own;
  for (TField* field : fields)
    if (field->Owner() == this) own.push_back(field);
  for (auto it = own.rbegin(); it != own.rend(); ++it) (*it)->Free();
}

void TDataSet::InitFieldDefsFromFields() {
  fieldDefs.Clear();
  for (TField* field : fields) {
    if (field->FieldKind() != fkData && field->FieldKind() != fkInternalCalc) continue;
    TFieldDef* def = fieldDefs.Add(field->FieldName(), field->DataType(), field->Size(), field->Required());
    def->SetInternalCalcField(field->FieldKind() == fkInternalCalc);
  }
}

void TDataSet::BindFields(bool binding) {
  calcFieldsSize = 0;
  internalCalcFields = false;
  for (TField* field : fields) {
    if (!binding) {
      field->Bind(false, nullptr, 0);
      continue;
    }
    if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
      if (field->FieldKind() == fkLookup) field->CheckLookup();
      field->Bind(true, nullptr, calcFieldsSize);
      calcFieldsSize += field->DataSize() + 1;
      continue;
    }
    const TFieldDef* def = fieldDefs.Find(field->FieldName());
    if (def->DataType() != field->DataType())
      throw EDatabaseError(SFieldTypeMismatch, {field->DisplayName(), FieldTypeName(field->DataType()),
                                                FieldTypeName(def->DataType())});
    if (field->FieldKind() == fkInternalCalc) internalCalcFields = true;
    field->Bind(true, def, 0);
  }
}

// ---- Data sources and events ----

void TDataSet::AddDataSource(TDataSource* dataSource) {
  dataSources.push_back(dataSource);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* dataSource) {
  dataSources.erase(std::remove(dataSources.begin(), dataSources.end(), dataSource), dataSources.end());
  UpdateBufferCount();
}

std::vector<TDataLink*> TDataSet::DataLinks() const {
  std::vector<TDataLink*> links;
  for (TDataSource* source : dataSources)
    for (TDataLink* link : source->DataLinks()) links.push_back(link);
  return links;
}

bool TDataSet::IsLinkedTo(const TDataSource* dataSource) const {
  // A chain of masters is walked with a bound, so a loop made behind our
  // back cannot hang the check.
  const TDataSet* dataSet = this;
  for (int depth = 0; dataSet && depth < MaxMasterChain; ++depth) {
    const TDataSource* master = dataSet->GetDataSource();
    if (!master) return false;
    if (master == dataSource) return true;
    dataSet = master->DataSet();
  }
  return dataSet != nullptr;
}

void TDataSet::DataEvent(TDataEvent event, intptr_t info) {
  switch (event) {
    case deFieldChange: {
      TField* field = reinterpret_cast<TField*>(info);
      if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) modified = true;
      if (state != dsSetKey && autoCalcFields && HasCalcFields() && ActiveBuffer() &&
          field->FieldKind() == fkData) {
        // The calculated fields follow the values being edited.
        GetCalcFields(ActiveBuffer());
      }
      field->Change();
      break;
    }
    case dePropertyChange: fieldDefs.SetUpdated(false); break;
    default: break;
  }
  if (disableCount == 0) {
    // Copy: a handler may unlink a source.
    const std::vector<TDataSource*> sources = dataSources;
    for (TDataSource* source : sources) source->DataEvent(event, info);
  } else if ((event == deUpdateState && state == dsInactive) || event == deLayoutChange) {
    enableEvent = deLayoutChange;
  }
}

void TDataSet::DisableControls() {
  if (disableCount == 0) {
    disableState = state;
    enableEvent = deDataSetChange;
  }
  ++disableCount;
}

void TDataSet::EnableControls() {
  if (disableCount == 0) return;
  if (--disableCount == 0) {
    if (disableState != state) DataEvent(deUpdateState, 0);
    if (disableState != dsInactive && state != dsInactive) DataEvent(enableEvent, 0);
  }
}
