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
constexpr int ppevTraversal = 39;
constexpr int ppevDataChange = 41;
constexpr int ppevFirst = 42;
constexpr int ppevNext = 43;
constexpr int ppevPrior = 44;
constexpr int ppevLast = 45;
constexpr int ppevClose = 46;
constexpr int ppevOpen = 47;
constexpr int ppevBeforeOpen = 73;

// A field descriptor of a pipeline.
struct TppField {
  std::string FieldName;
  std::string FieldAlias;
  TppDataType DataType = dtString;
  int FieldLength = 0;
};

// A position in the data a pipeline can return to: which record (counted
// from the start of the range) and the state flags at that record.
struct TppPipelinePosition {
  int TraversalCount = 0;
  bool AtStart = true;
  bool AtEnd = false;
  bool NoRecords = false;
};

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

  TppPipelinePosition GetPosition() const;
  // Back to a position taken earlier over the same data.
  void SetPosition(const TppPipelinePosition& position);

  TppRangeBeginType RangeBegin() const { return rangeBegin; }
  void SetRangeBegin(TppRangeBeginType value);
  TppRangeEndType RangeEnd() const { return rangeEnd; }
  void SetRangeEnd(TppRangeEndType value);
  int RangeEndCount() const { return rangeEndCount; }
  void SetRangeEndCount(int value) { rangeEndCount = value; }
  int MoveBy() const { return moveBy; }
  void SetMoveBy(int value) { moveBy = value == 0 ? 1 : value; }

  // Fields.
  int FieldCount() const { return static_cast<int>(fields.size()); }
  const TppField& Field(int index) const { return fields[static_cast<size_t>(index)]; }
  // Raises EInvalidPropertyError when the pipeline refuses the type.
  void DefineField(const std::string& name, TppDataType type, int length);
  const TppField* FindField(const std::string& name) const;
  TppDataType GetFieldDataType(const std::string& name) const;
  std::string GetFieldAlias(const std::string& name) const;
  // Null when the pipeline is empty, closed or lacks the field.
  Variant GetFieldValue(const std::string& name);
  // The value as display text (empty for null).
  std::string GetFieldAsString(const std::string& name);
  bool FieldIsNull(const std::string& name);

  std::function<void(TppDataPipeline*)> OnOpen, OnClose, OnFirst, OnNext, OnLast, OnTraversal;

protected:
  // Record access of the concrete pipeline.
  virtual void DataOpen() = 0;
  virtual void DataClose() = 0;
  virtual bool DataIsActive() const = 0;
  virtual void DataFirst() = 0;
  virtual void DataLast() = 0;
  // Moves by n records; answers how many it moved (negative backwards).
  virtual int DataMoveBy(int n) = 0;
  virtual bool DataBOF() const = 0;
  virtual bool DataEOF() const = 0;
  virtual bool DataIsEmpty() const = 0;
  virtual Variant DataFieldValue(const std::string& name) = 0;
  virtual bool SupportsDataType(TppDataType type) const { return true; }
  void ClearFields() { fields.clear(); }

private:
  std::vector<TppField> fields;
  TppRangeBeginType rangeBegin = rbFirstRecord;
  TppRangeEndType rangeEnd = reLastRecord;
  int rangeEndCount = 0;
  int moveBy = 1;
  int traversalCount = 0;
  bool active = false;
  bool moved = false;
  bool pastEnd = false;

  void UpdateMoveDirection();
  void Event(int eventId, const std::function<void(TppDataPipeline*)>& handler);
};

// The pipelines of a report's owner, by user name (ignoring case).
TppDataPipeline* ppFindPipeline(TComponent* owner, const std::string& userName);
