#include "MDBTable.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "MDBConsts.h"
#include "MDBDatabase.h"
#include "MDBDescriptors.h"
#include "MDBSession.h"
#include "MDBTb.h"
#include "dbConsts.h"
#include "engTableCursor.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TMDBMasterDataLink)

namespace {

// Sets a flag for a scope and puts back what it was on every way out.
class TFlagScope {
public:
  explicit TFlagScope(bool& flag) : flag(flag), previous(std::exchange(flag, true)) {}
  ~TFlagScope() { flag = previous; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

private:
  bool& flag;
  bool previous;
};

}  // namespace

// ---- master link ---------------------------------------------------------------

TMDBMasterDataLink::TMDBMasterDataLink(TDataSet* detail) : detail(detail) {}

void TMDBMasterDataLink::SetFieldNames(const std::string& value) {
  if (fieldNames == value) return;
  fieldNames = value;
  ActiveChanged();
}

void TMDBMasterDataLink::ActiveChanged() {
  fields.clear();
  if (Active()) {
    if (!fieldNames.empty()) fields = DataSet()->GetFieldList(fieldNames);
    if (!fields.empty() && OnMasterChange) OnMasterChange();
  } else if (OnMasterDisable) {
    OnMasterDisable();
  }
}

void TMDBMasterDataLink::RecordChanged(TField* field) {
  if (!Active() || fields.empty() || DataSource()->State() == dsSetKey) return;
  if (field != nullptr && std::find(fields.begin(), fields.end(), field) == fields.end()) return;
  if (OnMasterChange) OnMasterChange();
}

// ---- the table -------------------------------------------------------------------

TMDBTable::TMDBTable(TComponent* owner)
    : TMDBDBDataSet(owner),
      indexDefs(this),
      masterLink(this),
      restructureFieldDefs(*this),
      restructureIndexDefs(*this, restructureFieldDefs) {
  masterLink.OnMasterChange = [this] { MasterChanged(); };
  masterLink.OnMasterDisable = [this] { MasterDisabled(); };
}

TMDBTable::~TMDBTable() {
  masterLink.OnMasterChange = nullptr;
  masterLink.OnMasterDisable = nullptr;
}

bool TMDBTable::CanModify() const { return TMDBDBDataSet::CanModify() && !readOnly; }

void TMDBTable::DataEvent(TDataEvent event, intptr_t info) {
  if (event == dePropertyChange) {
    indexDefs.SetUpdated(false);
    restructureFieldDefs.MarkNotUpdated();
    restructureIndexDefs.MarkNotUpdated();
  }
  TMDBDBDataSet::DataEvent(event, info);
}

void TMDBTable::SetTableName(const std::string& value) {
  CheckInactive();
  std::string name = value;
  const size_t split = value.find_last_of(":\\/");
  if (split != std::string::npos) {
    if (!inMemory) SetDatabaseName(value.substr(0, split + 1));
    name = value.substr(split + 1);
  }
  tableName = name;
  DataEvent(dePropertyChange, 0);
}

void TMDBTable::SetExclusive(bool value) {
  CheckInactive();
  exclusive = value;
}

void TMDBTable::SetReadOnly(bool value) {
  CheckInactive();
  readOnly = value;
}

void TMDBTable::SetInMemory(bool value) {
  CheckInactive();
  inMemory = value;
  if (value) TMDBDBDataSet::SetDatabaseName(SMemoryDatabaseName);
}

void TMDBTable::SetDatabaseName(const std::string& value) {
  if (inMemory) {
    if (DatabaseName() != SMemoryDatabaseName) TMDBDBDataSet::SetDatabaseName(SMemoryDatabaseName);
    return;
  }
  TMDBDBDataSet::SetDatabaseName(value);
}

// ---- cursors -----------------------------------------------------------------------

std::unique_ptr<TTableCursor> TMDBTable::NewCursor(TCursorAccess access) {
  if (tableName.empty()) throw EDatabaseError(SNoTableName);
  auto cursor = NewTableCursor(Database()->Handle());
  cursor->SetOpenOptions({.TableName = EngineShortString(tableName),
                          .Exclusive = access != TCursorAccess::Shared,
                          .ReadOnly = readOnly && access != TCursorAccess::ExclusiveWritable,
                          .InMemory = inMemory,
                          .ComponentTable = true});
  cursor->SetPasswordHandler([&session = DataSetSession()] { return session.PasswordRequest(); });
  return cursor;
}

std::unique_ptr<TTableCursor> TMDBTable::CreateHandle() {
  if (tableName.empty()) throw EDatabaseError(SNoTableName);
  if (inMemory && ComponentState().Contains(csDesigning)) {
    if (FieldDefs().Count() == 0) throw EDatabaseError(SNoFieldsForMemoryTable);
    if (!Exists()) CreateTable();
  }
  indexDefs.SetUpdated(false);
  const std::string indexName = ResolveIndexName();
  TMDBSessionUse use(DataSetSession());
  std::unique_ptr<TTableCursor> cursor = NewCursor(exclusive ? TCursorAccess::Exclusive : TCursorAccess::Shared);
  cursor->Open();
  try {
    readOnly = cursor->IsReadOnly();
    cursor->SetIndexName(indexName);
  } catch (...) {
    cursor->Close(TTemporaryContents::Keep);
    throw;
  }
  return cursor;
}

void TMDBTable::DestroyHandle() {
  DestroyLookupCursor();
  TMDBDBDataSet::DestroyHandle();
  // A table made for the designer goes with its last view.
  if (inMemory && ComponentState().Contains(csDesigning)) {
    TDatabaseHold hold(*this, dbfTemporary);
    TMDBSessionUse use(DataSetSession());
    NewCursor(TCursorAccess::Exclusive)->Admin().DeleteTable();
  }
}

void TMDBTable::WithOpenCursor(const std::function<void(TTableCursor&)>& work) {
  if (Handle() != nullptr) {
    TMDBSessionUse use(DataSetSession());
    work(*Handle());
    return;
  }
  if (tableName.empty()) throw EDatabaseError(SNoTableName);
  TDatabaseHold hold(*this, dbfTemporary);
  TMDBSessionUse use(DataSetSession());
  std::unique_ptr<TTableCursor> cursor = NewCursor(TCursorAccess::Shared);
  cursor->Open();
  try {
    work(*cursor);
  } catch (...) {
    cursor->Close(TTemporaryContents::Keep);
    throw;
  }
  cursor->Close(TTemporaryContents::Keep);
}

void TMDBTable::InternalInitFieldDefs() {
  if (tableName.empty()) throw EDatabaseError(SNoTableName);
  WithOpenCursor([this](TTableCursor& cursor) {
    TFlagScope refilling(refillingDefs);
    FillFieldDefs(cursor);
  });
}

void TMDBTable::ReadTableDescriptors(TMDBTableDescriptors& descriptors) {
  WithOpenCursor([&descriptors](TTableCursor& cursor) {
    descriptors = {};
    for (int i = 1; i <= cursor.Fields().FieldListCount(); ++i)
      descriptors.Fields.push_back(cursor.Fields().FieldDefinition(i));
    descriptors.PrimaryIsNatural = cursor.Fields().PrimaryIsNatural();
    for (int i = 0; i <= cursor.Fields().GetSecondaryIndexCount(); ++i)
      descriptors.Indexes.push_back(cursor.Fields().GetIndexDefinition(i));
  });
}

void TMDBTable::DefChanged(TObject* /*sender*/) {
  if (!refillingDefs) storeDefs = true;
}

void TMDBTable::UpdateIndexDefs() {
  if (indexDefs.Updated()) return;
  UpdateFieldDefs();
  WithOpenCursor([this](TTableCursor& cursor) {
    TFlagScope refilling(refillingDefs);
    FillIndexDefs(cursor);
  });
}

void TMDBTable::FillIndexDefs(TTableCursor& cursor) {
  indexDefs.Clear();
  const int secondary = cursor.Fields().GetSecondaryIndexCount();
  for (int slot = 0; slot <= secondary; ++slot) {
    if (slot == 0 && cursor.Fields().PrimaryIsNatural()) continue;
    const TIndexDefinition index = cursor.Fields().GetIndexDefinition(slot);
    std::string fields;
    for (const uint16_t fieldNo : index.FieldNumbers) {
      if (fieldNo < 1 || fieldNo > FieldDefs().Count()) continue;
      if (!fields.empty()) fields += ';';
      fields += FieldDefs().Items(fieldNo - 1)->Name();
    }
    TIndexOptions options;
    if (slot == 0) options.Include(ixPrimary);
    if (index.Descending) options.Include(ixDescending);
    if (index.CaseInsensitive) options.Include(ixCaseInsensitive);
    if (index.Unique) options.Include(ixUnique);
    indexDefs.Add(index.Name, fields, options);
  }
  indexDefs.SetUpdated(true);
}

// ---- indexes ---------------------------------------------------------------------------

std::string TMDBTable::ResolveIndexName() {
  if (!indexByFieldNames || indexText.empty()) return indexByFieldNames ? std::string() : indexText;
  UpdateIndexDefs();
  return indexDefs.FindIndexForFields(indexText)->Name();
}

void TMDBTable::SetIndexName(const std::string& value) { SwitchIndex(value, false); }

void TMDBTable::SetIndexFieldNames(const std::string& value) { SwitchIndex(value, !value.empty()); }

void TMDBTable::SwitchIndex(const std::string& text, bool byFieldNames) {
  if (text == indexText && byFieldNames == indexByFieldNames) return;
  if (!Active()) {
    indexText = text;
    indexByFieldNames = byFieldNames;
    return;
  }
  CheckBrowseMode();
  const std::string oldText = indexText;
  const bool oldByFieldNames = indexByFieldNames;
  indexText = text;
  indexByFieldNames = byFieldNames;
  try {
    ApplyIndex();
  } catch (...) {
    indexText = oldText;
    indexByFieldNames = oldByFieldNames;
    // The old index comes back with its range, so a refused name changes
    // nothing the program sees.
    try {
      ApplyIndex();
    } catch (const std::exception&) {
      // The first failure is the one to report.
    }
    throw;
  }
}

void TMDBTable::ApplyIndex() {
  const std::string name = ResolveIndexName();
  {
    TMDBSessionUse use(DataSetSession());
    Handle()->ResetRange();
    ClearKeyBuffer(kiCurRangeStart);
    ClearKeyBuffer(kiCurRangeEnd);
    Handle()->SetIndexName(name);
  }
  DestroyLookupCursor();
  ReadIndexInfo();
  ComputeBufferLayout();
  for (int i = 0; i < KeyBufferCount; ++i) ClearKeyBuffer(static_cast<TKeyIndex>(i));
  RebuildRecordBuffers();
  UpdateIndex();
  Resync(TResyncMode());
}

void TMDBTable::UpdateIndex() {
  if (masterLink.Active() && !masterLink.Fields().empty()) SetLinkRanges();
}

TTableCursor* TMDBTable::GetLookupCursor(const std::string& keyFields, bool caseInsensitive) {
  if (lookupCursor && SameText(lookupKeyFields, keyFields) && lookupCaseInsensitive == caseInsensitive)
    return lookupCursor.get();
  DestroyLookupCursor();
  if (Handle() == nullptr || Handle()->RangeActive()) return nullptr;
  UpdateIndexDefs();
  for (int i = 0; i < indexDefs.Count(); ++i) {
    const TIndexDef* def = indexDefs.Items(i);
    if (!SameText(def->Fields(), keyFields) || def->Options().Contains(ixCaseInsensitive) != caseInsensitive)
      continue;
    TMDBSessionUse use(DataSetSession());
    lookupCursor.reset(Handle()->Clone());
    lookupCursor->SetIndexName(def->Name());
    lookupKeyFields = keyFields;
    lookupCaseInsensitive = caseInsensitive;
    return lookupCursor.get();
  }
  return nullptr;
}

void TMDBTable::DestroyLookupCursor() {
  if (!lookupCursor) return;
  TMDBSessionUse use(DataSetSession());
  std::unique_ptr<TTableCursor> closing = std::move(lookupCursor);
  lookupKeyFields.clear();
  closing->Close(TTemporaryContents::Keep);
}

// ---- master and detail -------------------------------------------------------------------

void TMDBTable::SetMasterSource(TDataSource* source) {
  if (source != nullptr && source->IsLinkedTo(this)) throw EDatabaseError(SCircularDataLink);
  masterLink.SetDataSource(source);
}

void TMDBTable::SetMasterFields(const std::string& value) { masterLink.SetFieldNames(value); }

void TMDBTable::MasterChanged() {
  if (!Active()) return;
  CheckBrowseMode();
  SetLinkRanges();
  First();
}

void TMDBTable::MasterDisabled() {
  if (!Active()) return;
  CancelRange();
}

void TMDBTable::SetLinkRanges() {
  const std::vector<TField*>& masters = masterLink.Fields();
  const int count = std::min<int>(static_cast<int>(masters.size()), IndexFieldCount());
  // Natural order has no key to range over.
  if (count == 0) return;
  for (TKeyIndex side : {kiRangeStart, kiRangeEnd}) {
    ClearKeyBuffer(side);
    TKeyBuffer& key = KeyBuffer(side);
    {
      TMDBSessionUse use(DataSetSession());
      Handle()->Fields().ClearRecord(key.Record.data());
    }
    SetCurrentKeyBuffer(side);
    const TDataSetState saved = SetTempState(dsSetKey);
    try {
      for (int i = 0; i < count; ++i) FieldByNumber(IndexFieldNumbers()[i])->SetValue(masters[static_cast<size_t>(i)]->Value());
    } catch (...) {
      RestoreState(saved);
      throw;
    }
    RestoreState(saved);
    key.FieldCount = count;
  }
  ApplyRange();
}

void TMDBTable::ApplyRange() {
  TKeyBuffer& start = KeyBuffer(kiRangeStart);
  TKeyBuffer& end = KeyBuffer(kiRangeEnd);
  TKeyBuffer& appliedStart = KeyBuffer(kiCurRangeStart);
  TKeyBuffer& appliedEnd = KeyBuffer(kiCurRangeEnd);
  const size_t size = RecordSize();
  auto same = [size](const TKeyBuffer& a, const TKeyBuffer& b) {
    return a.FieldCount == b.FieldCount && std::memcmp(a.Record.data(), b.Record.data(), size) == 0;
  };
  if (Handle()->RangeActive() && same(start, appliedStart) && same(end, appliedEnd)) return;
  {
    TMDBSessionUse use(DataSetSession());
    Handle()->SetRange(start.Record.data(), start.FieldCount, end.Record.data(), end.FieldCount);
  }
  appliedStart = start;
  appliedEnd = end;
}

void TMDBTable::CancelRange() {
  {
    TMDBSessionUse use(DataSetSession());
    Handle()->ResetRange();
  }
  ClearKeyBuffer(kiCurRangeStart);
  ClearKeyBuffer(kiCurRangeEnd);
  Resync(TResyncMode());
}

void TMDBTable::DoOnNewRecord() {
  const std::vector<TField*>& masters = masterLink.Fields();
  if (masterLink.Active() && !masters.empty()) {
    const int count = std::min<int>(static_cast<int>(masters.size()), IndexFieldCount());
    for (int i = 0; i < count; ++i)
      FieldByNumber(IndexFieldNumbers()[i])->SetValue(masters[static_cast<size_t>(i)]->Value());
  }
  TMDBDBDataSet::DoOnNewRecord();
}
