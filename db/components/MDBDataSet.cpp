#include "MDBDataSet.h"

#include <algorithm>
#include <cstring>

#include "MDBBlobStream.h"
#include "MDBConsts.h"
#include "MDBDescriptors.h"
#include "MDBFieldTypes.h"
#include "MDBSession.h"
#include "MDBSessionList.h"
#include "MDBTb.h"
#include "dbConsts.h"
#include "dbFieldClasses.h"
#include "engBlobBuffer.h"
#include "engTableCursor.h"
#include "engCursorRecords.h"
#include "engErrorCodes.h"
#include "engFilter.h"
#include "rtlTypeInfo.h"

namespace {

// The record info follows the calculated fields at any byte offset, so it
// is copied in and out rather than addressed in place.
struct TRecordInfo {
  int32_t RecordNumber;
  uint8_t BookmarkFlag;
};
constexpr size_t RecordInfoSize = sizeof(int32_t) + sizeof(uint8_t);

TRecordInfo ReadInfo(const uint8_t* at) {
  TRecordInfo info;
  std::memcpy(&info.RecordNumber, at, sizeof info.RecordNumber);
  info.BookmarkFlag = at[sizeof info.RecordNumber];
  return info;
}

void WriteInfo(uint8_t* at, const TRecordInfo& info) {
  std::memcpy(at, &info.RecordNumber, sizeof info.RecordNumber);
  at[sizeof info.RecordNumber] = info.BookmarkFlag;
}

}  // namespace

TMDBDataSet::TMDBDataSet(TComponent* owner) : TDataSet(owner) {}

TMDBDataSet::~TMDBDataSet() = default;

TMDBSession& TMDBDataSet::DataSetSession() { return DefaultSession(); }

std::unique_ptr<TTableCursor> TMDBDataSet::CreateHandle() { return nullptr; }

void TMDBDataSet::SetAutoDisplayLabels(bool value) {
  autoDisplayLabels = value;
  if (value && Active()) ApplyDisplayLabels();
}

void TMDBDataSet::DestroyHandle() {
  if (!handle) return;
  TMDBSessionUse use(DataSetSession());
  std::unique_ptr<TTableCursor> closing = std::move(handle);
  closing->Close(TTemporaryContents::Keep);
}

// ---- opening and closing ---------------------------------------------------

void TMDBDataSet::InternalOpen() {
  handle = CreateHandle();
  if (!handle) throw EDatabaseError(SHandleError);
  try {
    TMDBSessionUse use(DataSetSession());
    canModify = !handle->IsReadOnly();
    InternalInitFieldDefs();
    ReadIndexInfo();
    if (FieldCount() == 0) CreateFields();
    BindFields(true);
    if (autoDisplayLabels) ApplyDisplayLabels();
    ComputeBufferLayout();
    oldValueBuffer.assign(bufferSize, 0);
    for (int i = 0; i < KeyBufferCount; ++i) ClearKeyBuffer(static_cast<TKeyIndex>(i));
    handle->SetToBegin();
    UpdateIndex();
    if (!Filter().empty()) BuildExprFilter();
    if (OnFilterRecord()) BuildFuncFilter();
    if (Filtered()) SwitchFilters(true);
  } catch (...) {
    InternalClose();
    throw;
  }
}

void TMDBDataSet::InternalClose() {
  exprFilter = nullptr;
  funcFilter = nullptr;
  for (TKeyBuffer& key : keyBuffers) key = TKeyBuffer();
  oldValueBuffer.clear();
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  indexFieldCount = 0;
  indexFieldNumbers.fill(0);
  indexCaseInsensitive = false;
  DestroyLookupCursor();
  DestroyHandle();
}

void TMDBDataSet::InternalInitFieldDefs() {
  if (handle) FillFieldDefs(*handle);
}

void TMDBDataSet::FillFieldDefs(TTableCursor& cursor) {
  FieldDefs().Clear();
  for (int fieldNo = 1; fieldNo <= cursor.Fields().FieldListCount(); ++fieldNo) {
    const TFieldDefinition& field = cursor.Fields().FieldDefinition(fieldNo);
    TFieldType type = ftUnknown;
    int size = 0;
    if (!FieldTypeOf(field, type, size)) continue;
    const std::string baseName = field.Name;
    std::string name = baseName;
    for (int suffix = 1; FieldDefs().IndexOf(name) >= 0; ++suffix)
      name = Format(SDuplicateFieldDefName, {baseName, suffix});
    TFieldDef* def = FieldDefs().AddNumbered(name, type, size, false, fieldNo);
    if (type == ftBCD) def->SetPrecision(EngineBcdPrecision);
  }
  FieldDefs().SetUpdated(true);
}

void TMDBDataSet::ReadIndexInfo() {
  indexFieldNumbers.fill(0);
  indexFieldCount = 0;
  indexCaseInsensitive = false;
  if (handle->IsNaturalOrder() || handle->OpenOptions().SqlSourceTable) return;
  const TIndexDefinition index = handle->Fields().GetIndexDefinition(handle->GetIndexNo());
  indexCaseInsensitive = index.CaseInsensitive;
  indexFieldCount = static_cast<int>(index.FieldNumbers.size());
  handle->Fields().GetIndexFieldList(handle->GetIndexNo(), indexFieldNumbers.data());
}

void TMDBDataSet::ComputeBufferLayout() {
  recordSize = handle->Fields().CursorRecordSize();
  bookmarkSize = static_cast<uint16_t>(handle->GetBookmarkSize());
  recordInfoOfs = size_t(recordSize) + size_t(CalcFieldsSize());
  bookmarkOfs = recordInfoOfs + RecordInfoSize;
  bufferSize = bookmarkOfs + bookmarkSize;
}

void TMDBDataSet::ClearKeyBuffer(TKeyIndex index) {
  TKeyBuffer& key = keyBuffers[index];
  key.Modified = false;
  key.FieldCount = 0;
  key.Record.assign(bufferSize, 0);
}

void TMDBDataSet::ApplyDisplayLabels() {
  for (int i = 0; i < FieldCount(); ++i) {
    TField* field = Fields(i);
    if (field->FieldNo() <= 0) continue;
    const std::string label = handle->Fields().FieldDefinition(field->FieldNo()).Description;
    if (!label.empty()) field->SetDisplayLabel(label);
  }
}

// ---- records ------------------------------------------------------------------

TGetResult TMDBDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) {
  TMDBSessionUse use(DataSetSession());
  int32_t result = 0;
  switch (mode) {
    case gmCurrent: result = handle->GetRecord(buffer); break;
    case gmNext: result = handle->GetNextRecord(buffer); break;
    case gmPrior: result = handle->GetPriorRecord(buffer); break;
  }
  switch (result) {
    case 0: {
      WriteInfo(buffer + recordInfoOfs, {handle->GetSequenceNo(), bfCurrent});
      GetCalcFields(buffer);
      handle->GetBookmark(buffer + bookmarkOfs);
      return grOK;
    }
    case EngErrBeginOfFile: return grBOF;
    case EngErrEndOfFile: return grEOF;
    default:
      if (doCheck) CheckEngineResult(result, handle->TableName());
      return grError;
  }
}

void TMDBDataSet::InternalFirst() {
  TMDBSessionUse use(DataSetSession());
  handle->SetToBegin();
}

void TMDBDataSet::InternalLast() {
  TMDBSessionUse use(DataSetSession());
  handle->SetToEnd();
}

void TMDBDataSet::InternalSetToRecord(TRecordBuffer buffer) { InternalGotoBookmark(buffer + bookmarkOfs); }

void TMDBDataSet::InternalRefresh() {
  TMDBSessionUse use(DataSetSession());
  handle->RefreshPosition();
}

void TMDBDataSet::GetBookmarkData(TRecordBuffer buffer, uint8_t* data) {
  std::memcpy(data, buffer + bookmarkOfs, bookmarkSize);
}

void TMDBDataSet::SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) {
  std::memcpy(buffer + bookmarkOfs, data, bookmarkSize);
}

TBookmarkFlag TMDBDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(ReadInfo(buffer + recordInfoOfs).BookmarkFlag);
}

void TMDBDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  TRecordInfo info = ReadInfo(buffer + recordInfoOfs);
  info.BookmarkFlag = static_cast<uint8_t>(flag);
  WriteInfo(buffer + recordInfoOfs, info);
}

void TMDBDataSet::InternalGotoBookmark(const uint8_t* data) {
  TMDBSessionUse use(DataSetSession());
  if (!handle->GotoBookmark(data)) throw EDatabaseError(SRecordNotFound);
}

int TMDBDataSet::CompareBookmarkData(const TBookmark& bookmark1, const TBookmark& bookmark2) {
  TMDBSessionUse use(DataSetSession());
  const int result = handle->CompareBookmarks(bookmark1.data(), bookmark2.data());
  return result == -1 || result == 1 ? result : 0;
}

bool TMDBDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!handle || bookmark.size() != bookmarkSize) return false;
  TMDBSessionUse use(DataSetSession());
  CursorPosChanged();
  return handle->GotoBookmark(bookmark.data());
}

bool TMDBDataSet::GetCurrentRecord(TRecordBuffer buffer) {
  if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
  UpdateCursorPos();
  TMDBSessionUse use(DataSetSession());
  return handle->GetRecord(buffer) == 0;
}

int TMDBDataSet::RecordCount() {
  CheckActive();
  TMDBSessionUse use(DataSetSession());
  return handle->GetRecordCount();
}

int TMDBDataSet::RecNo() {
  CheckActive();
  const TRecordBuffer buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (buffer == nullptr) return -1;
  return ReadInfo(buffer + recordInfoOfs).RecordNumber;
}

void TMDBDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  if (value == RecNo()) return;
  DoBeforeScroll();
  {
    TMDBSessionUse use(DataSetSession());
    handle->SetToSequenceNo(value);
  }
  Resync(TResyncMode{rmCenter});
  DoAfterScroll();
}

bool TMDBDataSet::IsSequenced() { return !Filtered(); }

bool TMDBDataSet::IsIndexField(const TField* field) const {
  const int fieldNo = field->FieldNo();
  if (fieldNo <= 0) return false;
  for (int i = 0; i < indexFieldCount; ++i)
    if (indexFieldNumbers[static_cast<size_t>(i)] == fieldNo) return true;
  return false;
}

// ---- field data ------------------------------------------------------------------

TRecordBuffer TMDBDataSet::ActiveRecordBuffer() {
  switch (State()) {
    case dsSetKey: return keyBuffers[currentKeyBuffer].Record.data();
    case dsOldValue: return OldValueBuffer();
    default: return TDataSet::ActiveRecordBuffer();
  }
}

TRecordBuffer TMDBDataSet::OldValueBuffer() {
  if (oldValueBuffer.empty()) return nullptr;
  TMDBSessionUse use(DataSetSession());
  if (GetBookmarkFlag(ActiveBuffer()) != bfCurrent || handle->CurrentRecordNumber() == 0)
    handle->Fields().ClearRecord(oldValueBuffer.data());
  else
    std::memcpy(oldValueBuffer.data(), handle->GetCurrentRecordBuffer(), recordSize);
  return oldValueBuffer.data();
}

bool TMDBDataSet::GetFieldData(TField* field, void* buffer) {
  const TRecordBuffer record = ActiveRecordBuffer();
  if (record == nullptr) return false;
  if (field->FieldNo() > 0) {
    TMDBSessionUse use(DataSetSession());
    // Without a buffer the field is only asked whether it is blank.
    const size_t size = buffer ? size_t(field->DataSize()) : 0;
    return handle->Fields().ReadField(field->FieldNo(), record, {static_cast<uint8_t*>(buffer), size});
  }
  const TDataSetState state = State();
  if (state == dsBrowse || state == dsEdit || state == dsInsert || state == dsCalcFields)
    return GetCalcFieldData(field, record, recordSize, buffer);
  return false;
}

void TMDBDataSet::SetFieldData(TField* field, const void* buffer) {
  const TDataSetState state = State();
  if (state == dsOldValue) throw EDatabaseError(SFieldReadOnly, {field->DisplayName()});
  const bool writable = state == dsEdit || state == dsInsert || state == dsSetKey || state == dsCalcFields ||
                        state == dsFilter || state == dsNewValue || state == dsInternalCalc;
  if (!writable) throw EDatabaseError(SNotEditing);
  if (state == dsSetKey &&
      (field->FieldNo() < 0 || (indexFieldCount > 0 && !IsIndexField(field))))
    throw EDatabaseError(SNotIndexField, {field->DisplayName()});
  const TRecordBuffer record = ActiveRecordBuffer();
  if (record == nullptr) throw EDatabaseError(SNotEditing);
  if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
    SetCalcFieldData(field, record, recordSize, buffer);
  } else {
    if (state == dsCalcFields) throw EDatabaseError(SNotEditing);
    if (field->ReadOnly() && state != dsSetKey && state != dsFilter)
      throw EDatabaseError(SFieldReadOnly, {field->DisplayName()});
    field->Validate(buffer);
    if (field->FieldKind() != fkInternalCalc) {
      TMDBSessionUse use(DataSetSession());
      if (buffer)
        handle->Fields().WriteField(field->FieldNo(), record,
                                    {static_cast<const uint8_t*>(buffer), size_t(field->DataSize())});
      else
        handle->Fields().WriteBlank(field->FieldNo(), record);
    }
  }
  if (state != dsCalcFields && state != dsFilter && state != dsNewValue) FieldChanged(field);
}

// ---- editing -------------------------------------------------------------------------

void TMDBDataSet::InitRecord(TRecordBuffer buffer) {
  TDataSet::InitRecord(buffer);
  WriteInfo(buffer + recordInfoOfs, {-1, bfInserted});
}

void TMDBDataSet::InternalInitRecord(TRecordBuffer buffer) {
  TMDBSessionUse use(DataSetSession());
  handle->Checks().ApplyDefaults(buffer);
}

void TMDBDataSet::ClearCalcFields(TRecordBuffer buffer) {
  std::memset(buffer + recordSize, 0, static_cast<size_t>(CalcFieldsSize()));
}

void TMDBDataSet::DoOnNewRecord() {
  if (copyOnAppend) {
    TMDBSessionUse use(DataSetSession());
    if (handle->CurrentRecordNumber() != 0) CheckEngineResult(handle->CopyRecord(ActiveBuffer()), handle->TableName());
  }
  TDataSet::DoOnNewRecord();
}

void TMDBDataSet::InternalEdit() {
  TMDBSessionUse use(DataSetSession());
  CheckEngineResult(handle->GetRecord(ActiveBuffer(), TRecordPurpose::Edit), handle->TableName());
}

void TMDBDataSet::InternalPost() {
  TMDBSessionUse use(DataSetSession());
  if (State() == dsInsert)
    handle->InsertRecord(ActiveBuffer(), {.GoToRecord = true});
  else
    handle->ModifyRecord(ActiveBuffer(), {.GoToRecord = true, .ReleaseLock = true});
  // The record's BLOB values are stored now; the cursor holds at most 64
  // open, so they are given back with the record.
  FreeOpenBlobs(ActiveBuffer());
  ClearBlobModified();
}

void TMDBDataSet::ClearBlobModified() {
  for (int i = 0; i < FieldCount(); ++i)
    if (auto* blob = dynamic_cast<TBlobField*>(Fields(i))) blob->SetModified(false);
}

void TMDBDataSet::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deDataSetChange || event == deDataSetScroll) ClearBlobModified();
  TDataSet::DataEvent(event, info);
}

void TMDBDataSet::InternalCancel() {
  TMDBSessionUse use(DataSetSession());
  FreeOpenBlobs(ActiveBuffer());
  ClearBlobModified();
  if (State() == dsEdit && handle->HoldsRecordLock(handle->CurrentRecordNumber()))
    handle->UnlockRecord(handle->CurrentRecordNumber());
}

void TMDBDataSet::FreeOpenBlobs(TRecordBuffer buffer) {
  for (int i = 0; i < FieldCount(); ++i) {
    TField* field = Fields(i);
    if (!field->IsBlob() || field->FieldNo() <= 0) continue;
    const int32_t result = handle->Blobs().FreeBlob(field->FieldNo(), buffer, TFieldNumbering::Cursor);
    if (result != EngErrBlobHandle) CheckEngineResult(result, handle->TableName());
  }
}

void TMDBDataSet::InternalDelete() {
  TMDBSessionUse use(DataSetSession());
  handle->DeleteRecord(ActiveBuffer());
}

void TMDBDataSet::InternalAddRecord(TRecordBuffer buffer, bool /*append*/) {
  TMDBSessionUse use(DataSetSession());
  handle->InsertRecord(buffer, {.GoToRecord = true});
}

std::unique_ptr<TStream> TMDBDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  return std::make_unique<TMDBBlobStream>(field, mode);
}

// ---- filters ------------------------------------------------------------------------------

void TMDBDataSet::BuildExprFilter() {
  TMDBSessionUse use(DataSetSession());
  TCursorFilterOptions options;
  options.CaseInsensitive = FilterOptions().Contains(foCaseInsensitive);
  options.NoPartialCompare = FilterOptions().Contains(foNoPartialCompare);
  exprFilter = handle->Filters().AddFilter(Filter(), options);
}

void TMDBDataSet::BuildFuncFilter() {
  TMDBSessionUse use(DataSetSession());
  funcFilter = handle->Filters().AddFilter(
      [this](const uint8_t* record, uint32_t) { return RecordFilterAccepts(const_cast<TRecordBuffer>(record)); });
}

void TMDBDataSet::DropFilter(TFilter*& filter) {
  if (filter == nullptr) return;
  TMDBSessionUse use(DataSetSession());
  TFilter* dropping = filter;
  filter = nullptr;
  handle->Filters().DropFilter(dropping);
}

void TMDBDataSet::SwitchFilters(bool on) {
  TMDBSessionUse use(DataSetSession());
  for (TFilter* filter : {exprFilter, funcFilter}) {
    if (filter == nullptr) continue;
    if (on)
      handle->Filters().ActivateFilter(filter);
    else
      handle->Filters().DeactivateFilter(filter);
  }
}

void TMDBDataSet::FiltersActiveChanged() { SwitchFilters(FiltersActive()); }

void TMDBDataSet::SetFiltered(bool value) {
  if (Active() && value != Filtered()) {
    CheckBrowseMode();
    SwitchFilters(value);
    TDataSet::SetFiltered(value);
    First();
    return;
  }
  TDataSet::SetFiltered(value);
}

void TMDBDataSet::SetFilterText(const std::string& value) {
  if (Active()) {
    CheckBrowseMode();
    DropFilter(exprFilter);
    TDataSet::SetFilterText(value);
    if (!value.empty()) {
      BuildExprFilter();
      if (Filtered()) {
        TMDBSessionUse use(DataSetSession());
        handle->Filters().ActivateFilter(exprFilter);
      }
    }
    First();
    return;
  }
  TDataSet::SetFilterText(value);
}

void TMDBDataSet::SetFilterOptions(TFilterOptions value) {
  TDataSet::SetFilterOptions(value);
  if (Active() && !Filter().empty()) SetFilterText(Filter());
}

void TMDBDataSet::SetOnFilterRecord(TFilterRecordEvent value) {
  const bool hadHandler = static_cast<bool>(OnFilterRecord());
  TDataSet::SetOnFilterRecord(std::move(value));
  if (!Active() || hadHandler == static_cast<bool>(OnFilterRecord())) return;
  CheckBrowseMode();
  DropFilter(funcFilter);
  if (OnFilterRecord()) {
    BuildFuncFilter();
    if (Filtered()) {
      TMDBSessionUse use(DataSetSession());
      handle->Filters().ActivateFilter(funcFilter);
    }
  }
  First();
}

// ---- location ---------------------------------------------------------------------------------

TMDBDataSet::TKeySearch TMDBDataSet::LocateKey(const std::string& keyFields, const Variant& keyValues,
                                               TLocateOptions options, bool move) {
  const std::vector<TField*> fields = GetFieldList(keyFields);
  const bool caseInsensitive = options.Contains(loCaseInsensitive);
  bool leading = !fields.empty() && static_cast<int>(fields.size()) <= indexFieldCount &&
                 indexCaseInsensitive == caseInsensitive;
  for (size_t i = 0; leading && i < fields.size(); ++i)
    leading = fields[i]->FieldNo() == indexFieldNumbers[i];
  TTableCursor* cursor = leading ? handle.get() : GetLookupCursor(keyFields, caseInsensitive);
  if (cursor == nullptr) return TKeySearch::NoIndex;

  const TRecordBuffer key = TempBuffer();
  int partialLength = 0;
  {
    const TDataSetState saved = SetTempState(dsFilter);
    SetFilterBuffer(key);
    try {
      handle->Fields().ClearRecord(key);
      for (size_t i = 0; i < fields.size(); ++i) {
        Variant value = keyValues.IsArray() && !keyValues.IsBytes() ? keyValues.Element(int(i)) : keyValues;
        if (options.Contains(loPartialKey) && i + 1 == fields.size() && fields[i]->DataType() == ftString &&
            !value.IsNull()) {
          std::string text = value.AsString();
          if (!text.empty() && text.back() == '*') text.pop_back();
          value = Variant(text);
          partialLength = static_cast<int>(text.size());
        }
        fields[i]->SetValue(value);
      }
    } catch (...) {
      RestoreState(saved);
      throw;
    }
    RestoreState(saved);
  }
  TMDBSessionUse use(DataSetSession());
  // A partial last field is searched by its text after the whole ones.
  const int wholeFields = static_cast<int>(fields.size()) - (partialLength > 0 ? 1 : 0);
  const bool found = cursor->FindKey(key, {.FieldCount = wholeFields, .PartialLength = partialLength}, key);
  if (found && move && cursor != handle.get()) CheckEngineResult(handle->SyncWith(*cursor), handle->TableName());
  return found ? TKeySearch::Found : TKeySearch::NotFound;
}

bool TMDBDataSet::LocateAny(const std::string& keyFields, const Variant& keyValues, TLocateOptions options,
                            bool move) {
  switch (LocateKey(keyFields, keyValues, options, move)) {
    case TKeySearch::Found: return true;
    case TKeySearch::NotFound: return false;
    case TKeySearch::NoIndex: break;
  }
  // No index serves the fields: the records are read in turn.
  return LocateRecord(keyFields, keyValues, options);
}

bool TMDBDataSet::Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options) {
  CheckBrowseMode();
  CursorPosChanged();
  DoBeforeScroll();
  const bool found = LocateAny(keyFields, keyValues, options, true);
  if (found) {
    Resync(TResyncMode{rmExact, rmCenter});
    DoAfterScroll();
  }
  return found;
}

Variant TMDBDataSet::Lookup(const std::string& keyFields, const Variant& keyValues,
                            const std::string& resultFields) {
  CheckBrowseMode();
  CursorPosChanged();
  if (LocateAny(keyFields, keyValues, TLocateOptions(), false)) return TempBufferValues(resultFields);
  return Variant::Null();
}
