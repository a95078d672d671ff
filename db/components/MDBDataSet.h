#pragma once
// The dataset over one engine cursor: record buffers in the engine's record
// layout, navigation, field access, bookmarks, filters and record location
// for the dataset framework. The table and query components supply the
// cursor (CreateHandle).
//
// Record buffer: the record image (the cursor's record size, exactly the
// engine's layout), the calculated fields (CalcFieldsSize), the record
// info (logical record number, signed 32-bit, -1 until posted; bookmark
// flag, 8-bit) and the cursor's bookmark.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbDataSet.h"
#include "engFieldAccess.h"

class TTableCursor;
class TFilter;
class TMDBSession;
class TMDBBlobStream;

class TMDBDataSet : public TDataSet {
  RTL_DECLARE_CLASS(TMDBDataSet, TDataSet)

  explicit TMDBDataSet(TComponent* owner);
  ~TMDBDataSet() override;

  TTableCursor* Handle() const { return handle.get(); }

  bool AutoDisplayLabels() const { return autoDisplayLabels; }
  void SetAutoDisplayLabels(bool value);
  bool CopyOnAppend() const { return copyOnAppend; }
  void SetCopyOnAppend(bool value) { copyOnAppend = value; }

  // TDataSet.
  int RecordCount() override;
  int RecNo() override;
  void SetRecNo(int value) override;
  bool IsSequenced() override;
  bool GetCurrentRecord(TRecordBuffer buffer) override;
  bool BookmarkValid(const TBookmark& bookmark) override;
  bool CanModify() const override { return canModify; }
  void SetFiltered(bool value) override;
  void SetFilterText(const std::string& value) override;
  void SetFilterOptions(TFilterOptions value) override;
  void SetOnFilterRecord(TFilterRecordEvent value) override;
  bool Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options) override;
  Variant Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultFields) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  void DataEvent(TDataEvent event, intptr_t info) override;

  // Whether the field is a key field of the current index.
  bool IsIndexField(const TField* field) const override;

  // The session whose lock guards this dataset's engine calls.
  virtual TMDBSession& DataSetSession();

protected:
  // New operations of the components.
  // The new, open cursor; nullptr fails the open with "Error creating
  // table handle.".
  virtual std::unique_ptr<TTableCursor> CreateHandle();
  // Closes and frees the cursor.
  virtual void DestroyHandle();
  virtual void DestroyLookupCursor() {}
  // A cursor on an index over exactly keyFields for Locate; nullptr when
  // there is none.
  virtual TTableCursor* GetLookupCursor(const std::string& keyFields, bool caseInsensitive) { return nullptr; }
  // After the cursor changed its index.
  virtual void UpdateIndex() {}

  // TDataSet.
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return handle != nullptr; }
  void InternalInitFieldDefs() override;
  size_t RecordBufferSize() override { return bufferSize; }
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  void InternalRefresh() override;
  void FiltersActiveChanged() override;
  int BookmarkSize() const override { return bookmarkSize; }
  void GetBookmarkData(TRecordBuffer buffer, uint8_t* data) override;
  void SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
  void InternalGotoBookmark(const uint8_t* data) override;
  int CompareBookmarkData(const TBookmark& bookmark1, const TBookmark& bookmark2) override;
  bool GetFieldData(TField* field, void* buffer) override;
  void SetFieldData(TField* field, const void* buffer) override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void InternalAddRecord(TRecordBuffer buffer, bool append) override;
  void InitRecord(TRecordBuffer buffer) override;
  void ClearCalcFields(TRecordBuffer buffer) override;
  void DoOnNewRecord() override;
  TRecordBuffer ActiveRecordBuffer() override;
  TRecordBuffer OldValueBuffer() override;

  // Field definitions from a cursor's descriptors; a name met before gets
  // "_1", "_2" ... added.
  void FillFieldDefs(TTableCursor& cursor);
  // Reads the current index's key fields and recomputes the buffer layout
  // (the bookmark size follows the index).
  void ReadIndexInfo();
  void ComputeBufferLayout();
  int IndexFieldCount() const { return indexFieldCount; }
  const uint16_t* IndexFieldNumbers() const { return indexFieldNumbers.data(); }

  // The key buffers.
  enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, KeyBufferCount };
  struct TKeyBuffer {
    bool Modified = false;
    int FieldCount = 0;
    std::vector<uint8_t> Record;
  };
  TKeyBuffer& KeyBuffer(TKeyIndex index) { return keyBuffers[index]; }
  void ClearKeyBuffer(TKeyIndex index);
  // The key buffer the set-key state writes.
  void SetCurrentKeyBuffer(TKeyIndex index) { currentKeyBuffer = index; }

  uint16_t RecordSize() const { return recordSize; }

private:
  friend class TMDBBlobStream;

  std::unique_ptr<TTableCursor> handle;
  TFilter* exprFilter = nullptr;
  TFilter* funcFilter = nullptr;
  std::array<uint16_t, IndexFieldListSize> indexFieldNumbers = {};
  bool indexCaseInsensitive = false;
  bool canModify = false;
  std::vector<uint8_t> oldValueBuffer;
  std::array<TKeyBuffer, KeyBufferCount> keyBuffers;
  TKeyIndex currentKeyBuffer = kiLookup;
  int indexFieldCount = 0;
  // The record may be as large as the engine allows, so the offsets of what
  // follows it can pass 16 bits.
  uint16_t recordSize = 0;
  size_t recordInfoOfs = 0;
  size_t bookmarkOfs = 0;
  uint16_t bookmarkSize = 0;
  size_t bufferSize = 0;
  bool autoDisplayLabels = false;
  bool copyOnAppend = false;

  void BuildExprFilter();
  void BuildFuncFilter();
  void SwitchFilters(bool on);
  void DropFilter(TFilter*& filter);
  void ApplyDisplayLabels();
  void FreeOpenBlobs(TRecordBuffer buffer);
  // The BLOB fields' marks of an open value end with the record they were
  // written in.
  void ClearBlobModified();
  // The key search of Locate and Lookup, when an index serves the key
  // fields: the record found is in the temporary buffer and, with move,
  // the dataset's cursor stands on it.
  enum class TKeySearch { NoIndex, Found, NotFound };
  TKeySearch LocateKey(const std::string& keyFields, const Variant& keyValues, TLocateOptions options, bool move);
  // The key search, or a scan of the records when no index serves.
  bool LocateAny(const std::string& keyFields, const Variant& keyValues, TLocateOptions options, bool move);
};
