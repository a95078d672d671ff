// TDataSet: editing, posting, field data and calculated fields.

#include <cstring>
#include <vector>

#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbNativeValues.h"
#include "rtlAssert.h"

namespace {

bool EditMode(TDataSetState state) { return state == dsEdit || state == dsInsert; }

}  // namespace

void TDataSet::CheckCanModify() const {
  if (!CanModify()) throw EDatabaseError(SDataSetReadOnly);
}

void TDataSet::UpdateRecord() {
  if (!EditMode(state) && state != dsSetKey) throw EDatabaseError(SNotEditing);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  if (EditMode(state)) {
    UpdateRecord();
    if (modified)
      Post();
    else
      Cancel();
  } else if (state == dsSetKey) {
    Post();
  }
}

void TDataSet::CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& errorEvent) {
  for (;;) {
    try {
      UpdateCursorPos();
      (this->*operation)();
      return;
    } catch (EDatabaseError& e) {
      TDataAction action = daFail;
      if (errorEvent) errorEvent(this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
      // daRetry: round again.
    }
  }
}

void TDataSet::CheckRequiredFields() {
  for (TField* field : fields) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData && field->IsNull())
      throw EDatabaseError(SFieldRequired, {field->DisplayName()});
  }
}

void TDataSet::Edit() {
  if (EditMode(state)) return;
  if (recordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  if (BeforeEdit) BeforeEdit(this);
  CheckOperation(&TDataSet::InternalEdit, OnEditError);
  // The record as it stands now is what OldValue reads while editing.
  std::memcpy(oldValueBuffer.get(), ActiveBuffer(), recordBufferSize);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  if (AfterEdit) AfterEdit(this);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  if (BeforeInsert) BeforeInsert(this);
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  std::memset(oldValueBuffer.get(), 0, recordBufferSize);
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    // The new record is dropped: the dataset lets go of what it holds for it.
    UpdateCursorPos();
    InternalCancel();
    SetState(dsBrowse);
    Resync({});
    throw;
  }
  modified = false;
  DataEvent(deDataSetChange, 0);
  if (AfterInsert) AfterInsert(this);
  DoAfterScroll();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  const TBookmark current = GetBookmark();
  // The new record takes the active record's place; the records from it
  // on move one down the ring (the last may drop out).
  MoveBuffer(recordCount, activeRecord);
  TRecordBuffer buffer = ActiveBuffer();
  InitRecord(buffer);
  if (recordCount == 0)
    SetBookmarkFlag(buffer, bfBOF);
  else if (!current.empty())
    SetBookmarkData(buffer, current.data());
  if (recordCount < bufferCount) ++recordCount;
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  TRecordBuffer buffer = buffers[0].get();
  InitRecord(buffer);
  SetBookmarkFlag(buffer, bfEOF);
  recordCount = 1;
  bof = false;
  GetPriorRecords();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::ClearCalcFields(TRecordBuffer /*buffer*/) {}

void TDataSet::DoOnNewRecord() {
  if (OnNewRecord) OnNewRecord(this);
}

void TDataSet::InternalAddRecord(TRecordBuffer /*buffer*/, bool /*append*/) {}

void TDataSet::PostOperation() {
  CheckRequiredFields();
  InternalPost();
}

void TDataSet::Post() {
  UpdateRecord();
  if (state == dsSetKey) {
    DataEvent(deCheckBrowseMode, 0);
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);
    return;
  }
  DataEvent(deCheckBrowseMode, 0);
  if (BeforePost) BeforePost(this);
  if (internalCalcFields) RefreshInternalCalcFields(ActiveBuffer());
  CheckOperation(&TDataSet::PostOperation, OnPostError);
  SetState(dsBrowse);
  Resync({});
  if (AfterPost) AfterPost(this);
}

void TDataSet::Cancel() {
  if (state == dsSetKey) {
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);
    return;
  }
  if (!EditMode(state)) return;
  DataEvent(deCheckBrowseMode, 0);
  if (BeforeCancel) BeforeCancel(this);
  const bool scrolls = state == dsInsert;
  if (scrolls) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  SetState(dsBrowse);
  Resync({});
  if (AfterCancel) AfterCancel(this);
  if (scrolls) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (state == dsInsert || state == dsSetKey) {
    Cancel();
    return;
  }
  if (recordCount == 0) throw EDatabaseError(SDataSetEmpty);
  DataEvent(deCheckBrowseMode, 0);
  if (BeforeDelete) BeforeDelete(this);
  DoBeforeScroll();
  CheckOperation(&TDataSet::InternalDelete, OnDeleteError);
  SetState(dsBrowse);
  Resync({});
  if (AfterDelete) AfterDelete(this);
  DoAfterScroll();
}

// ---- Field data ----

TRecordBuffer TDataSet::ActiveRecordBuffer() {
  switch (state) {
    case dsBrowse: return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue: return ActiveBuffer();
    case dsCalcFields:
    case dsInternalCalc: return calcBuffer;
    case dsFilter: return filterBuffer;
    case dsOldValue: return OldValueBuffer();
    default: return nullptr;
  }
}

TRecordBuffer TDataSet::OldValueBuffer() { return oldValueBuffer.get(); }

void TDataSet::DataConvert(TField* field, const void* source, void* dest, bool toNative) {
  ConvertNativeValue(field->DataType(), field->Size(), source, dest, toNative);
}

bool TDataSet::ReadFieldData(TField* field, void* buffer, bool nativeFormat) {
  if (nativeFormat || !buffer) return GetFieldData(field, buffer);
  std::vector<uint8_t> native(static_cast<size_t>(field->DataSize()));
  if (!GetFieldData(field, native.data())) return false;
  DataConvert(field, native.data(), buffer, false);
  return true;
}

void TDataSet::WriteFieldData(TField* field, const void* buffer, bool nativeFormat) {
  if (nativeFormat || !buffer) {
    SetFieldData(field, buffer);
    return;
  }
  std::vector<uint8_t> native(static_cast<size_t>(field->DataSize()));
  DataConvert(field, buffer, native.data(), true);
  SetFieldData(field, native.data());
}

void TDataSet::CheckFieldWrite(TField* field) {
  switch (state) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc: break;
    default: throw EDatabaseError(SNotEditing);
  }
  if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) return;
  if (state == dsCalcFields && field->FieldKind() == fkData) throw EDatabaseError(SNotEditing);
  if (field->ReadOnly() && state != dsSetKey && state != dsFilter && state != dsCalcFields &&
      state != dsInternalCalc)
    throw EDatabaseError(SFieldReadOnly, {field->DisplayName()});
}

bool TDataSet::GetCalcFieldData(TField* field, TRecordBuffer buffer, int calcOffset, void* data) const {
  if (!buffer) return false;
  const uint8_t* slot = buffer + calcOffset + field->Offset();
  if (slot[0] == 0) return false;
  if (data) std::memcpy(data, slot + 1, static_cast<size_t>(field->DataSize()));
  return true;
}

void TDataSet::SetCalcFieldData(TField* field, TRecordBuffer buffer, int calcOffset, const void* data) {
  ORV_ASSERT(buffer);
  uint8_t* slot = buffer + calcOffset + field->Offset();
  slot[0] = data ? 1 : 0;
  if (data)
    std::memcpy(slot + 1, data, static_cast<size_t>(field->DataSize()));
  else
    std::memset(slot + 1, 0, static_cast<size_t>(field->DataSize()));
}

void TDataSet::FieldChanged(TField* field) {
  if (state != dsCalcFields && state != dsFilter && state != dsNewValue && state != dsInternalCalc)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

// ---- Calculated fields ----

void TDataSet::CalculateFields(TRecordBuffer buffer) {
  calcBuffer = buffer;
  if (state != dsInternalCalc) {
    ClearCalcFields(buffer);
    CalculateLookupFields();
  }
  if (OnCalcFields) OnCalcFields(this);
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
  if (!HasCalcFields()) return;
  const TDataSetState saved = SetTempState(dsCalcFields);
  try {
    CalculateFields(buffer);
  } catch (...) {
    RestoreState(saved);
    throw;
  }
  RestoreState(saved);
}

void TDataSet::RefreshInternalCalcFields(TRecordBuffer buffer) {
  const TDataSetState saved = SetTempState(dsInternalCalc);
  try {
    CalculateFields(buffer);
  } catch (...) {
    RestoreState(saved);
    throw;
  }
  RestoreState(saved);
}

// ---- Filters ----

void TDataSet::SetFiltered(bool value) { filtered = value; }

void TDataSet::SetFilterText(const std::string& value) { filterText = value; }

void TDataSet::SetFilterOptions(TFilterOptions value) { filterOptions = value; }

void TDataSet::SetOnFilterRecord(TFilterRecordEvent value) { onFilterRecord = std::move(value); }

bool TDataSet::RecordFilterAccepts(TRecordBuffer buffer) {
  if (!onFilterRecord) return true;
  const TRecordBuffer savedFilterBuffer = filterBuffer;
  filterBuffer = buffer;
  const TDataSetState saved = SetTempState(dsFilter);
  bool accept = true;
  try {
    onFilterRecord(this, accept);
  } catch (...) {
    RestoreState(saved);
    filterBuffer = savedFilterBuffer;
    throw;
  }
  RestoreState(saved);
  filterBuffer = savedFilterBuffer;
  return accept;
}
