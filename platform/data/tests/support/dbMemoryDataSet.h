#pragma once
// A small dataset over records kept in memory, in insertion order: the
// framework's tests run against it, so that a fault they find is the
// framework's and not a table component's.
//
// Record buffer: the record image (per field definition a null byte and its
// native value), the calculated-field area, then the record info (the
// record's id, 4 bytes, and the bookmark flag, 1 byte). A bookmark is the
// record's id. BLOB values live beside the records; while editing, the
// record's BLOBs are copied and written back by Post.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dbDataSet.h"

class TMemoryDataSet : public TDataSet {
  RTL_DECLARE_CLASS(TMemoryDataSet, TDataSet)

  explicit TMemoryDataSet(TComponent* owner = nullptr);
  ~TMemoryDataSet() override;

  // The definitions the data has; set while closed.
  void DefineField(const std::string& name, TFieldType type, int size = 0, bool required = false);

  bool CanModify() const override { return !readOnly; }
  // A master source this dataset follows (only its link matters here).
  TDataSource* GetDataSource() const override { return masterSource; }
  void SetMasterSource(TDataSource* value) { masterSource = value; }
  void SetReadOnly(bool value) { readOnly = value; }

  int RecordCount() override;
  int RecNo() override;
  void SetRecNo(int value) override;
  bool IsSequenced() override { return !Filtered(); }
  bool BookmarkValid(const TBookmark& bookmark) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;

  void SetFiltered(bool value) override;
  void SetOnFilterRecord(TFilterRecordEvent value) override;

  // Failures the tests inject: the next n calls of the operation raise
  // EDatabaseError with the given text.
  struct TFailure {
    int count = 0;
    std::string message;
  };
  TFailure FailOpen, FailEdit, FailPost, FailDelete;

  // How often each operation ran; records read by GetRecord.
  int PostCalls = 0;
  int RecordReads = 0;
  // Field values read from a record (blank or not).
  mutable int FieldReads = 0;

  // The stored records in order, as texts of their first field.
  int StoredCount() const { return static_cast<int>(records.size()); }

  // Published for tests that look at the ring.
  using TDataSet::ActiveBuffer;
  using TDataSet::CalcBuffer;

protected:
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return open; }
  void InternalInitFieldDefs() override;
  size_t RecordBufferSize() override;
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
  void InternalFirst() override { cursor = -1; }
  void InternalLast() override { cursor = static_cast<int>(records.size()); }
  void InternalSetToRecord(TRecordBuffer buffer) override;
  int BookmarkSize() const override { return sizeof(int32_t); }
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
  void InternalInsert() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void ClearCalcFields(TRecordBuffer buffer) override;

private:
  struct TRecord {
    int32_t id = 0;
    std::vector<uint8_t> image;
    std::map<int, std::string> blobs;  // by field number
  };
  struct TDefinition {
    std::string name;
    TFieldType type;
    int size;
    bool required;
  };

  std::vector<TDefinition> definitions;
  std::vector<int> fieldOffsets;  // by field number - 1: the null byte
  std::vector<TRecord> records;
  std::map<int, std::string> editBlobs;  // the record being edited's BLOBs
  int imageSize = 0;
  int cursor = -1;
  int32_t nextId = 1;
  bool open = false;
  bool readOnly = false;
  TDataSource* masterSource = nullptr;

  friend class TMemoryBlobStream;
  int IndexOfId(int32_t id) const;
  int32_t BufferId(TRecordBuffer buffer) const;
  // Whether records[index] passes the filter; reads it into buffer.
  bool ReadRecord(int index, TRecordBuffer buffer);
  void Fail(TFailure& failure);
};
