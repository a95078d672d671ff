#pragma once
// The record source of a report. The engine, the bands and the data-aware
// components move through it with one traversal protocol and read field
// values by name; a concrete pipeline supplies the record access (the
// dataset pipeline over TDataSet).
//
// Invariant: TraversalCount counts the records passed since First within
// the range; EOF answers the range's end, not only the data's.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ppRelatv.h"
#include "ppTypes.h"
#include "rtlTypeInfo.h"
#include "rtlVariant.h"

enum TppRangeBeginType : uint8_t { rbFirstRecord, rbLastRecord, rbCurrentRecord };
enum TppRangeEndType : uint8_t { reFirstRecord, reLastRecord, reCurrentRecord, reCount };
RTL_ENUM_TYPE(TppRangeBeginType, "rbFirstRecord", "rbLastRecord", "rbCurrentRecord")
RTL_ENUM_TYPE(TppRangeEndType, "reFirstRecord", "reLastRecord", "reCurrentRecord", "reCount")

// Pipeline events sent to listeners (the communicator's ids).
constexpr int ppevPipelineState = 36;
constexpr int ppevRecordPositionChange = 37;
// A detail pipeline moved to the records of its master's new record.
constexpr int ppevMasterRecordPositionChange = 38;
constexpr int ppevTraversal = 39;
// The pipeline went back to a record it kept a bookmark of.
constexpr int ppevGotoBookmark = 40;
constexpr int ppevDataChange = 41;
constexpr int ppevFirst = 42;
constexpr int ppevNext = 43;
constexpr int ppevPrior = 44;
constexpr int ppevLast = 45;
constexpr int ppevClose = 46;
constexpr int ppevOpen = 47;
constexpr int ppevBeforeOpen = 73;

class TppDataPipeline;
class TppPicture;

// A field descriptor of a pipeline. Its typed readers ask the pipeline for
// the current record's value by the field's name; made and freed by its
// pipeline only.
class TppField : public TppRelative {
  RTL_DECLARE_CLASS(TppField, TppRelative)

  TppField(TppDataPipeline* pipeline, const std::string& name, TppDataType type, int length);
  ~TppField() override;

  std::string FieldName;
  std::string FieldAlias;
  TppDataType DataType = dtString;
  int FieldLength = 0;

  TppDataPipeline* DataPipeline() const { return pipeline; }
  // Null, not a number and empty when the pipeline has no current value.
  Variant Value() const;
  std::string AsString() const;
  double AsDouble() const;
  bool IsNull() const;
  // The current value read as a picture, held by the field until the next
  // read; empty when the value is no picture.
  TppPicture* AsPicture();

private:
  TppDataPipeline* pipeline;
  std::unique_ptr<TppPicture> picture;
};

// A pair of fields by which a detail pipeline follows its master.
class TppMasterFieldLink : public TppRelative {
  RTL_DECLARE_CLASS(TppMasterFieldLink, TppRelative)

  TppMasterFieldLink(const std::string& masterFieldName, const std::string& detailFieldName)
      : TppRelative(nullptr), MasterFieldName(masterFieldName), DetailFieldName(detailFieldName) {}
  std::string MasterFieldName, DetailFieldName;
};

// A position in the data a pipeline can return to: which record (counted
// from the start of the range) and the state flags at that record.
struct TppPipelinePosition {
  int TraversalCount = 0;
  // Records moved over in the data from the range's first record (skipped
  // masters included).
  int DataOffset = 0;
  bool AtStart = true;
  bool AtEnd = false;
  bool NoRecords = false;
  // A bookmark the pipeline keeps for the position (-1: none); going back
  // to it is one jump instead of a walk from the range's start.
  int Mark = -1;
};

class TStream;

class TppDataPipeline : public TppRelative {
  RTL_DECLARE_CLASS(TppDataPipeline, TppRelative)

  explicit TppDataPipeline(TComponent* owner);
  ~TppDataPipeline() override;

  void Open();
  void Close();
  bool Active() const { return active; }
  void First();
  void Last();
  void Next();
  void Prior();
  // The end (start) of the range in the direction of travel.
  bool Eof() const;
  bool Bof() const;
  bool IsEmpty() const { return active && DataIsEmpty(); }
  int TraversalCount() const { return traversalCount; }

  // With mark set, the pipeline keeps a bookmark of the record too.
  TppPipelinePosition GetPosition(bool mark = false);
  // Back to a position taken earlier over the same data.
  void SetPosition(const TppPipelinePosition& position);
  // Forgets the bookmarks of earlier positions (a new run).
  void ClearMarks() { marks.clear(); }
  // The data's record now becomes the one rbCurrentRecord and
  // reCurrentRecord mean (it is also taken when the pipeline opens).
  void MarkCurrentRecord();
  // The data's own record, to be given back to its user after a run (empty
  // when the data gives no bookmark).
  std::vector<uint8_t> DataRecord();
  void ReturnToDataRecord(const std::vector<uint8_t>& record);

  TppRangeBeginType RangeBegin() const { return rangeBegin; }
  void SetRangeBegin(TppRangeBeginType value);
  TppRangeEndType RangeEnd() const { return rangeEnd; }
  void SetRangeEnd(TppRangeEndType value);
  int RangeEndCount() const { return rangeEndCount; }
  void SetRangeEndCount(int value) { rangeEndCount = value; }
  int MoveBy() const { return moveBy; }
  void SetMoveBy(int value) { moveBy = value == 0 ? 1 : value; }
  // A master whose every detail has no records for it is passed over.
  bool SkipWhenNoRecords() const { return skipWhenNoRecords; }
  void SetSkipWhenNoRecords(bool value) { skipWhenNoRecords = value; }

  // Master and detail: the detail's range is the run of its records whose
  // link fields equal the master's current values (the detail's data is
  // ordered by them). A pipeline never becomes its own master, directly or
  // through its masters: such a master is ignored.
  TppDataPipeline* MasterDataPipeline() const { return master; }
  void SetMasterDataPipeline(TppDataPipeline* value);
  void AddLink(const std::string& masterFieldName, const std::string& detailFieldName);
  int LinkCount() const { return static_cast<int>(links.size()); }
  TppMasterFieldLink* Links(int index) const { return links[static_cast<size_t>(index)].get(); }

  // Fields.
  int FieldCount() const { return static_cast<int>(fields.size()); }
  const TppField& Field(int index) const { return *fields[static_cast<size_t>(index)]; }
  TppField* Fields(int index) const { return fields[static_cast<size_t>(index)].get(); }
  // Raises EInvalidPropertyError when the pipeline refuses the type.
  void DefineField(const std::string& name, TppDataType type, int length);
  TppField* FindField(const std::string& name) const;
  TppDataType GetFieldDataType(const std::string& name) const;
  std::string GetFieldAlias(const std::string& name) const;
  // Null when the pipeline is empty, closed or lacks the field.
  Variant GetFieldValue(const std::string& name);
  // The value as display text (empty for null).
  std::string GetFieldAsString(const std::string& name);

  // Record access for whoever stores data through the pipeline (database
  // templates). Each answers false when the data cannot do it.
  // Moves to the first record whose field equals the value (opens first).
  bool Locate(const std::string& fieldName, const Variant& value);
  bool Insert() { return active && DataInsert(); }
  bool Edit() { return active && !DataIsEmpty() && DataEdit(); }
  bool Post() { return active && DataPost(); }
  // Drops an insert or edit that is not posted.
  void Cancel() {
    if (active) DataCancel();
  }
  bool SetFieldValue(const std::string& name, const Variant& value) { return active && DataSetFieldValue(name, value); }
  // A BLOB field's bytes to the stream (any other field: its text and a
  // terminating zero byte), and a stream's bytes into a BLOB field.
  bool WriteFieldToStream(const std::string& name, TStream& stream) {
    return active && !DataIsEmpty() && DataWriteFieldToStream(name, stream);
  }
  bool ReadFieldFromStream(const std::string& name, TStream& stream) {
    return active && DataReadFieldFromStream(name, stream);
  }

  std::function<void(TppDataPipeline*)> OnOpen, OnClose, OnFirst, OnNext, OnLast, OnTraversal;

  void Notify(TppCommunicator* sender, int operation) override;

protected:
  // Record access of the concrete pipeline.
  virtual void DataOpen() = 0;
  virtual void DataClose() = 0;
  virtual bool DataIsActive() const = 0;
  virtual void DataFirst() = 0;
  virtual void DataLast() = 0;
  // Moves by n records; answers how many it moved (negative backwards).
  virtual int DataMoveBy(int n) = 0;
  virtual bool DataIsEmpty() const = 0;
  virtual Variant DataFieldValue(const std::string& name) = 0;
  virtual bool SupportsDataType(TppDataType type) const { return true; }
  // Bookmarks of the data: false when the data cannot give or use one.
  virtual bool DataGetBookmark(std::vector<uint8_t>& bookmark) { return false; }
  virtual bool DataGotoBookmark(const std::vector<uint8_t>& bookmark) { return false; }
  // The order of two bookmarks in the data (negative: a before b); false
  // when the data cannot order them.
  virtual bool DataCompareBookmarks(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int& order) {
    return false;
  }
  virtual bool DataLocate(const std::string& fieldName, const Variant& value) { return false; }
  virtual bool DataInsert() { return false; }
  virtual bool DataEdit() { return false; }
  virtual bool DataPost() { return false; }
  virtual void DataCancel() {}
  virtual bool DataSetFieldValue(const std::string& name, const Variant& value) { return false; }
  virtual bool DataWriteFieldToStream(const std::string& name, TStream& stream) { return false; }
  virtual bool DataReadFieldFromStream(const std::string& name, TStream& stream) { return false; }
  // Field objects outlive a rebuild (a script may hold one): a field
  // defined again under its name is the same object.
  void ClearFields();

private:
  std::vector<TObjectPtr<TppField>> fields;
  std::vector<TObjectPtr<TppField>> clearedFields;
  TppDataPipeline* master = nullptr;
  std::vector<TppDataPipeline*> details;
  std::vector<TObjectPtr<TppMasterFieldLink>> links;
  bool skipWhenNoRecords = true;
  int dataOffset = 0;
  std::vector<std::vector<uint8_t>> marks;
  // The data's record when the pipeline opened: where rbCurrentRecord
  // begins and reCurrentRecord ends (empty when the data gives none).
  std::vector<uint8_t> currentRecord;
  TppRangeBeginType rangeBegin = rbFirstRecord;
  TppRangeEndType rangeEnd = reLastRecord;
  int rangeEndCount = 0;
  int moveBy = 1;
  int traversalCount = 0;
  bool active = false;
  bool moved = false;
  bool pastEnd = false;

  void UpdateMoveDirection();
  bool Linked() const { return master && !links.empty(); }
  bool LinkMatches();
  // Moves n records in the data, keeping the data offset.
  int Move(int n);
  // Passes over masters without detail records (when asked to).
  void SkipEmptyMasters();
  bool DetailsEmpty();
  void FirstRaw();
  // Whether the data stands past the opening record in the direction of
  // travel (reCurrentRecord's end).
  bool PastCurrentRecord();
  void Event(int eventId, const std::function<void(TppDataPipeline*)>& handler);
};

// The pipelines of a report's owner, by user name (ignoring case).
TppDataPipeline* ppFindPipeline(TComponent* owner, const std::string& userName);
