#pragma once
// TDataSet: the framework every dataset stands on. It keeps a ring of
// record buffers (the records data-aware controls show), the state
// machine (browse, edit, insert and the temporary states fields read in),
// navigation, bookmarks, editing with its events and error events,
// calculated fields, filters and record location, and sends data events
// to the data sources linked to it. A dataset class supplies the records:
// the pure virtual operations below (opening, GetRecord, bookmarks, field
// data, posting) and whatever of the virtual ones it serves better.
//
// The buffer ring. buffers[0 .. bufferCount] are allocated while the
// dataset is open (bufferCount is the largest BufferCount of the linked
// data links, at least 1; the extra last slot receives each record read
// before it joins the ring). recordCount of them hold consecutive records;
// activeRecord is the one the fields read; currentRecord is the one the
// dataset's cursor stands on (-1: unknown, UpdateCursorPos moves it back).
// Invariants (checked in Debug): 0 <= recordCount <= bufferCount;
// activeRecord < recordCount unless recordCount is 0 (then it is 0);
// currentRecord is -1 or an index of the ring (the spare slot included).
//
// Besides the ring: the calculation buffer (the buffer CalculateFields is
// working on), the temporary buffer (Lookup and location read records
// there without moving the ring) and the old-value buffer (the record as
// it was when editing began).
//
// Destroying: call Free() (it closes the dataset while the whole object
// still exists), or close before deleting.

#include <memory>
#include <string>
#include <vector>

#include "dbField.h"
#include "dbFieldDefs.h"
#include "dbTypes.h"
#include "rtlClasses.h"
#include "rtlStreams.h"
#include "rtlStrings.h"
#include "rtlVariant.h"

class TDataLink;

class TDataSet : public TComponent {
  RTL_DECLARE_CLASS(TDataSet, TComponent)

  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;
  void BeforeDestruction() override;

  // Streams: persistent fields owned by the root are the dataset's
  // children; a dataset streamed active opens once everything is read.
  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  void SetChildOrder(TComponent* child, int order) override;
  void Loaded() override;

  // Opening and closing.
  bool Active() const { return state != dsInactive && state != dsOpening; }
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return state; }
  bool Modified() const { return modified; }
  // "Cannot perform this operation on a closed dataset" when closed.
  void CheckActive() const;
  // "Cannot perform this operation on an open dataset" when open.
  void CheckInactive() const;

  // Navigation. Each posts or cancels pending edits first (CheckBrowseMode).
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Returns the records actually moved (negative backwards).
  int MoveBy(int distance);
  bool Bof() const { return bof; }
  bool Eof() const { return eof; }
  bool IsEmpty() const;
  // Rereads the records around the current one from the dataset.
  void Refresh();
  // Rebuilds the ring from the dataset's current record: rmExact raises
  // "Record not found" when it is gone (else a neighbour is taken);
  // rmCenter puts the record in the middle of the ring.
  virtual void Resync(TResyncMode mode);
  // The dataset's cursor no longer stands where the ring believes.
  void CursorPosChanged() { currentRecord = -1; }
  // Puts the dataset's cursor back on the active record.
  void UpdateCursorPos();
  // Fills the active buffer from the cursor's current record; false when
  // there is none. Datasets answer it from their own cursor.
  virtual bool GetCurrentRecord(TRecordBuffer buffer);

  virtual int RecordCount();
  // The active record's number from 1, -1 when unknown.
  virtual int RecNo();
  virtual void SetRecNo(int value);
  // Whether RecNo and RecordCount are exact.
  virtual bool IsSequenced();

  // Bookmarks: an empty bookmark stands for none.
  // Whether the active record has a bookmark: browsing or editing a
  // record the data holds.
  bool BookmarkAvailable();
  TBookmark GetBookmark();
  void GotoBookmark(const TBookmark& bookmark);
  void FreeBookmark(TBookmark& bookmark) { bookmark.clear(); }
  virtual bool BookmarkValid(const TBookmark& bookmark);
  // Both empty 0; only the second empty -1; only the first empty 1;
  // otherwise the dataset's order (CompareBookmarkData).
  int CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2);

  // Editing.
  void Edit();
  void Insert();
  void Append();
  // Virtual, so that datasets with key buffers finish their set-key state.
  virtual void Post();
  virtual void Cancel();
  void Delete();
  // Asks the linked controls to write their pending changes into fields.
  void UpdateRecord();
  // Posts a modified record and cancels an unmodified one.
  void CheckBrowseMode();
  virtual bool CanModify() const { return true; }
  // "Cannot modify a read-only dataset" unless CanModify.
  void CheckCanModify() const;

  // Fields.
  int FieldCount() const { return static_cast<int>(fields.size()); }
  TField* Fields(int index) const;
  // nullptr when absent; names compare ignoring case.
  TField* FindField(const std::string& name) const;
  // "Field '%s' not found" when absent.
  TField* FieldByName(const std::string& name) const;
  TField* FieldByNumber(int fieldNo) const;
  // The names of the fields, or of the field definitions while there are
  // no fields (the dataset closed, say), replacing the list's contents.
  void GetFieldNames(TStrings& list);
  // The fields named in "A;B;C", in that order; raises for a missing one.
  std::vector<TField*> GetFieldList(const std::string& names) const;
  // Values by field name; several names separated by ";" read as an array.
  Variant FieldValues(const std::string& names) const;
  void SetFieldValues(const std::string& names, const Variant& value);
  TFieldDefs& FieldDefs() { return fieldDefs; }
  const TFieldDefs& FieldDefs() const { return fieldDefs; }
  // Rebuilds FieldDefs from the dataset unless up to date.
  void UpdateFieldDefs();
  // Refills index definitions the dataset keeps; nothing here.
  virtual void UpdateIndexDefs() {}
  // Called when field or index definitions change.
  virtual void DefChanged(TObject* /*sender*/) {}
  // Whether the fields were made by the dataset when it opened.
  bool DefaultFields() const { return defaultFields; }
  bool AutoCalcFields() const { return autoCalcFields; }
  void SetAutoCalcFields(bool value) { autoCalcFields = value; }
  // Bytes of the calculated-field area: per calculated field a flag byte
  // and its native value.
  int CalcFieldsSize() const { return calcFieldsSize; }

  // Filters. The dataset applies them: overrides of the setters apply the
  // change to the records (browse mode first, then First) and call the
  // inherited setter, which stores the value.
  bool Filtered() const { return filtered; }
  virtual void SetFiltered(bool value);
  const std::string& Filter() const { return filterText; }
  virtual void SetFilterText(const std::string& value);
  TFilterOptions FilterOptions() const { return filterOptions; }
  virtual void SetFilterOptions(TFilterOptions value);
  const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord; }
  virtual void SetOnFilterRecord(TFilterRecordEvent value);

  // Searches over the filter (Filter and OnFilterRecord) whether or not
  // Filtered is on: the first, last, next or prior record it accepts
  // becomes the current one. Found tells whether the last search found one.
  bool FindFirst() { return FindRecord(true, true); }
  bool FindLast() { return FindRecord(true, false); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }
  // From the first (last) record with restart, else from the current one,
  // forward or backward.
  bool FindRecord(bool restart, bool goForward);
  bool Found() const { return found; }

  // Copies the zero-terminated text at source to dest, which holds its
  // length and the terminator (the two may be the same), without
  // character-set translation; returns the length. Datasets whose data
  // keeps another character set translate.
  virtual int Translate(const char* source, char* dest, bool toOem);

  // Record location: keyFields "A;B", keyValues one value or an array of
  // one per field. Locate moves to the record found; Lookup returns the
  // resultFields' values (an array for several) of the record found, or
  // Null, without moving.
  virtual bool Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options);
  virtual Variant Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultFields);

  // Data sources and controls.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount != 0; }
  // Sends a data event to the dataset itself and to every linked data source.
  virtual void DataEvent(TDataEvent event, intptr_t info);
  // Whether this dataset is fed by the given source through its master
  // link (DataSource) or a chain of them.
  bool IsLinkedTo(const TDataSource* dataSource) const;
  // The master source a detail dataset follows; nullptr here.
  virtual TDataSource* GetDataSource() const { return nullptr; }
  // The ring's size and each buffer's; the active buffer is the one the
  // fields read in browse, edit and insert states.
  int BufferCount() const { return bufferCount; }
  int ActiveRecord() const { return activeRecord; }
  TRecordBuffer ActiveBuffer() const;
  TRecordBuffer CalcBuffer() const { return calcBuffer; }
  TRecordBuffer TempBuffer() const { return tempBuffer.get(); }

  // Whether the field belongs to the current index; false here.
  virtual bool IsIndexField(const TField* field) const;

  // BLOB access for BLOB fields; nullptr here.
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);

  // Field data in the record buffer of the current state (ActiveRecordBuffer).
  // Native bytes unless nativeFormat is off (then TDateTime for the date-time
  // types and Currency for ftBCD). false when blank; buffer nullptr tests
  // for blank only.
  bool ReadFieldData(TField* field, void* buffer, bool nativeFormat);
  void WriteFieldData(TField* field, const void* buffer, bool nativeFormat);

  // Events.
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent OnNewRecord, OnCalcFields;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

protected:
  // ---- What a dataset class supplies ----
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() const = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual void InternalHandleException();

  // Bytes of one record buffer; asked when the ring is built.
  virtual size_t RecordBufferSize() = 0;
  // Reads the current, next or prior record into buffer. With doCheck an
  // error raises; without, it is reported as grError.
  virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  // Puts the cursor on the record the buffer holds.
  virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
  virtual void InternalRefresh() {}

  virtual int BookmarkSize() const = 0;
  virtual void GetBookmarkData(TRecordBuffer buffer, uint8_t* data) = 0;
  virtual void SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
  virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
  virtual void InternalGotoBookmark(const uint8_t* data) = 0;
  // -1, 0 or 1; both bookmarks present.
  virtual int CompareBookmarkData(const TBookmark& bookmark1, const TBookmark& bookmark2);

  // Field data in the state's record buffer, native bytes. SetFieldData
  // stores (after CheckFieldWrite, Validate and the calculated-field
  // helpers below as it sees fit) and calls FieldChanged.
  virtual bool GetFieldData(TField* field, void* buffer) = 0;
  virtual void SetFieldData(TField* field, const void* buffer) = 0;
  // Converts between native and non-native values (dbNativeValues.h).
  virtual void DataConvert(TField* field, const void* source, void* dest, bool toNative);

  virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  // Posts the active buffer: inserting, it becomes a new record; editing,
  // it replaces the current one. The cursor stays on the posted record.
  virtual void InternalPost() = 0;
  virtual void InternalCancel() {}
  // Deletes the current record; the cursor moves to the one taking its place.
  virtual void InternalDelete() = 0;
  // Append from code (InsertRecord/AppendRecord); unused by the framework.
  virtual void InternalAddRecord(TRecordBuffer buffer, bool append);

  virtual void InitRecord(TRecordBuffer buffer);
  virtual void ClearCalcFields(TRecordBuffer buffer);
  virtual void DoOnNewRecord();

  // The record buffer fields read and write in the current state: the
  // active buffer in browse (none when empty), edit, insert and new-value
  // states; the calculation buffer in the calculation states; the filter
  // buffer in the filter state; the old-value buffer in the old-value
  // state. The set-key state has none here: datasets with keys override.
  virtual TRecordBuffer ActiveRecordBuffer();
  // The record as it was before editing: a copy taken by Edit, cleared by
  // Insert; datasets that reread it from their cursor override.
  virtual TRecordBuffer OldValueBuffer();

  // Whether the dataset's records pass through its filters: while
  // Filtered, and during a FindRecord search.
  bool FiltersActive() const { return filtered || searchFilters; }
  // FiltersActive changed without Filtered changing (a search began or
  // ended); datasets whose filters live in their cursor switch them.
  virtual void FiltersActiveChanged() {}

  // Runs OnFilterRecord on the record in buffer, in the filter state;
  // true when no handler is assigned.
  bool RecordFilterAccepts(TRecordBuffer buffer);

  // ---- Helpers for dataset classes ----
  // Field set-up while opening and closing.
  void CreateFields();
  void DestroyFields();
  void BindFields(bool binding);
  void InitFieldDefsFromFields();
  // For SetFieldData: the state allows writing this field (else "Dataset
  // not in edit or insert mode" or "Field '%s' cannot be modified").
  void CheckFieldWrite(TField* field);
  // A calculated field's value in the calculated-field area that begins at
  // calcOffset in buffer.
  bool GetCalcFieldData(TField* field, TRecordBuffer buffer, int calcOffset, void* data) const;
  void SetCalcFieldData(TField* field, TRecordBuffer buffer, int calcOffset, const void* data);
  // Sends the field-change event outside the calculation, filter and
  // new-value states.
  void FieldChanged(TField* field);
  // Computes the calculated fields of a buffer (OnCalcFields) in the
  // calculated-fields state.
  void GetCalcFields(TRecordBuffer buffer);
  // Whether any field needs OnCalcFields.
  bool HasCalcFields() const { return calcFieldsSize > 0 || internalCalcFields; }
  // State changes for reading another buffer; RestoreState puts back.
  TDataSetState SetTempState(TDataSetState value);
  void RestoreState(TDataSetState value);
  void SetFilterBuffer(TRecordBuffer buffer) { filterBuffer = buffer; }
  // Reallocates the ring and its companions (a dataset whose record or
  // bookmark size changed); the ring is empty afterwards.
  void RebuildRecordBuffers();
  void ClearBuffers();
  // Whether the key values match the fields' values in the record buffer
  // of the current state (dsFilter on the buffer under test): the
  // comparison rules of Locate (see dbLocate.cpp).
  bool KeysMatch(const std::vector<TField*>& keyFields, const Variant& keyValues, TLocateOptions options) const;
  // Scans the dataset's records from the first in the temporary buffer for
  // one whose keys match, by GetRecord on the dataset's own cursor; on
  // success the cursor stands on it. The generic Locate of datasets that
  // have no faster way.
  bool LocateRecord(const std::string& keyFields, const Variant& keyValues, TLocateOptions options);
  // Values of the named fields in the temporary buffer (calculated fields
  // computed first).
  Variant TempBufferValues(const std::string& resultFields);

  void SetState(TDataSetState value);
  // Runs an edit, post or delete operation, asking the error event what to
  // do with an EDatabaseError: fail (raise it), abort (raise EAbort), retry.
  void CheckOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& errorEvent);
  void CheckRequiredFields();
  void SetModified(bool value) { modified = value; }

  void DoBeforeScroll();
  void DoAfterScroll();

private:
  TDataSetState state = dsInactive;
  TFieldDefs fieldDefs;
  std::vector<TField*> fields;  // not owned: fields free themselves
  std::vector<TDataSource*> dataSources;
  std::vector<std::unique_ptr<uint8_t[]>> buffers;  // bufferCount + 1 while open
  std::unique_ptr<uint8_t[]> tempBuffer;
  std::unique_ptr<uint8_t[]> oldValueBuffer;
  size_t recordBufferSize = 0;
  TRecordBuffer calcBuffer = nullptr;
  TRecordBuffer filterBuffer = nullptr;
  int bufferCount = 0;
  int recordCount = 0;
  int activeRecord = 0;
  int currentRecord = -1;
  int calcFieldsSize = 0;
  int disableCount = 0;
  TDataSetState disableState = dsInactive;
  TDataEvent enableEvent = deDataSetChange;
  bool bof = true;
  bool eof = true;
  bool modified = false;
  bool defaultFields = false;
  bool internalCalcFields = false;
  bool autoCalcFields = true;
  bool filtered = false;
  bool searchFilters = false;
  bool lookingUp = false;
  bool found = false;
  bool streamedActive = false;
  std::string filterText;
  TFilterOptions filterOptions;
  TFilterRecordEvent onFilterRecord;

  friend class TField;
  friend class TDataSource;
  friend class TDataLink;

  void OpenCursor();
  void CloseCursor();
  void DoInternalOpen();
  void AllocateBuffers(int count);
  void FreeBuffers();
  void SetBufferCount(int value);
  // The largest BufferCount of the linked data links, at least 1.
  void UpdateBufferCount();
  void ActivateBuffers();
  void MoveBuffer(int curIndex, int newIndex);
  void SetCurrentRecord(int index);
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void BeginInsertAppend();
  void EndInsertAppend();
  void CalculateFields(TRecordBuffer buffer);
  // The lookup fields' values for the calculation buffer (dbFieldLookup.cpp).
  void CalculateLookupFields();
  void RefreshInternalCalcFields(TRecordBuffer buffer);
  void CheckInvariants() const;
  void AddField(TField* field);
  void RemoveField(TField* field);
  void AddDataSource(TDataSource* dataSource);
  void RemoveDataSource(TDataSource* dataSource);
  std::vector<TDataLink*> DataLinks() const;
  // Moves every active link's first record by delta.
  void AdjustFirstRecords(int delta);
  void PostOperation();
};
