#include "ppDataPipeline.h"

#include "ppErrors.h"
#include "rtlStrUtils.h"

RTL_EXCEPTION_CLASS(EInvalidPropertyError, Exception);

const TClassInfo& TppDataPipeline::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppDataPipeline>("TppDataPipeline")
          .Property("MoveBy", &TppDataPipeline::MoveBy, &TppDataPipeline::SetMoveBy)
          .Default(1)
          .Property("RangeBegin", &TppDataPipeline::RangeBegin, &TppDataPipeline::SetRangeBegin)
          .Default(rbFirstRecord)
          .Property("RangeEnd", &TppDataPipeline::RangeEnd, &TppDataPipeline::SetRangeEnd)
          .Default(reLastRecord)
          .Property("RangeEndCount", &TppDataPipeline::RangeEndCount, &TppDataPipeline::SetRangeEndCount)
          .Default(0)
          .Build();
  return info;
}

TppDataPipeline::TppDataPipeline(TComponent* owner) : TppRelative(owner) {}

TppDataPipeline::~TppDataPipeline() = default;

void TppDataPipeline::Event(int eventId, const std::function<void(TppDataPipeline*)>& handler) {
  if (handler) handler(this);
  SendEventNotify(this, eventId, nullptr);
}

void TppDataPipeline::Open() {
  if (active) return;
  SendEventNotify(this, ppevBeforeOpen, nullptr);
  DataOpen();
  active = DataIsActive();
  traversalCount = 0;
  moved = false;
  pastEnd = false;
  SendEventNotify(this, ppevDataChange, nullptr);
  Event(ppevOpen, OnOpen);
}

void TppDataPipeline::Close() {
  if (!active) return;
  DataClose();
  active = false;
  Event(ppevClose, OnClose);
}

void TppDataPipeline::First() {
  traversalCount = 0;
  moved = false;
  pastEnd = false;
  if (!active || DataIsEmpty()) return;
  switch (rangeBegin) {
    case rbFirstRecord: DataFirst(); break;
    case rbLastRecord: DataLast(); break;
    case rbCurrentRecord: break;
  }
  Event(ppevFirst, OnFirst);
}

void TppDataPipeline::Last() {
  if (!active || DataIsEmpty()) return;
  // Walk to the range's end so that TraversalCount stays true.
  First();
  while (!Eof()) Next();
  Event(ppevLast, OnLast);
}

void TppDataPipeline::Next() {
  if (Eof()) return;
  const bool countReached = rangeEnd == reCount && traversalCount + 1 >= rangeEndCount;
  const bool stayOnCurrent = rangeBegin == rbCurrentRecord && rangeEnd == reCurrentRecord;
  if (countReached || stayOnCurrent || DataMoveBy(moveBy) == 0) {
    pastEnd = true;
  } else {
    ++traversalCount;
    moved = true;
  }
  Event(ppevNext, OnNext);
  Event(ppevTraversal, OnTraversal);
}

void TppDataPipeline::Prior() {
  if (!active || DataIsEmpty()) return;
  if (pastEnd) {
    // The data never left the last record of the range.
    pastEnd = false;
  } else if (traversalCount > 0 && DataMoveBy(-moveBy) != 0) {
    --traversalCount;
  }
  Event(ppevPrior, nullptr);
}

bool TppDataPipeline::Eof() const { return !active || DataIsEmpty() || pastEnd; }

bool TppDataPipeline::Bof() const { return !active || DataIsEmpty() || (traversalCount == 0 && !pastEnd); }

TppPipelinePosition TppDataPipeline::GetPosition() const {
  return TppPipelinePosition{traversalCount, traversalCount == 0, pastEnd, !active || DataIsEmpty()};
}

void TppDataPipeline::SetPosition(const TppPipelinePosition& position) {
  if (!active) return;
  First();
  if (DataIsEmpty()) return;
  int remaining = position.TraversalCount;
  while (remaining > 0) {
    const int moved = DataMoveBy(moveBy * remaining);
    const int steps = moved < 0 ? -moved : moved;
    if (steps == 0) break;
    traversalCount += steps;
    remaining -= steps;
  }
  this->moved = traversalCount > 0;
  pastEnd = position.AtEnd;
  SendEventNotify(this, ppevRecordPositionChange, nullptr);
}

void TppDataPipeline::UpdateMoveDirection() {
  const bool forward = rangeEnd != reFirstRecord && (rangeBegin != rbLastRecord || rangeEnd == reLastRecord);
  moveBy = forward ? 1 : -1;
  SendEventNotify(this, ppevDataChange, nullptr);
}

void TppDataPipeline::SetRangeBegin(TppRangeBeginType value) {
  rangeBegin = value;
  if (!ComponentState().Contains(csLoading)) UpdateMoveDirection();
}

void TppDataPipeline::SetRangeEnd(TppRangeEndType value) {
  rangeEnd = value;
  if (!ComponentState().Contains(csLoading)) UpdateMoveDirection();
}

void TppDataPipeline::DefineField(const std::string& name, TppDataType type, int length) {
  if (!SupportsDataType(type)) throw EInvalidPropertyError("DataType not supported by " + ClassName());
  fields.push_back(TppField{name, name, type, length});
}

const TppField* TppDataPipeline::FindField(const std::string& name) const {
  for (const TppField& field : fields)
    if (SameText(field.FieldName, name)) return &field;
  return nullptr;
}

TppDataType TppDataPipeline::GetFieldDataType(const std::string& name) const {
  const TppField* field = FindField(name);
  return field ? field->DataType : dtNotKnown;
}

std::string TppDataPipeline::GetFieldAlias(const std::string& name) const {
  const TppField* field = FindField(name);
  return field ? field->FieldAlias : name;
}

Variant TppDataPipeline::GetFieldValue(const std::string& name) {
  if (!active || DataIsEmpty() || !FindField(name)) return Variant::Null();
  return DataFieldValue(name);
}

std::string TppDataPipeline::GetFieldAsString(const std::string& name) {
  const Variant value = GetFieldValue(name);
  return VarIsClear(value) ? std::string() : value.AsString();
}

bool TppDataPipeline::FieldIsNull(const std::string& name) { return VarIsClear(GetFieldValue(name)); }

TppDataPipeline* ppFindPipeline(TComponent* owner, const std::string& userName) {
  if (!owner || userName.empty()) return nullptr;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    auto* pipeline = dynamic_cast<TppDataPipeline*>(owner->Components(i));
    if (pipeline && (SameText(pipeline->GetUserName(), userName) || SameText(pipeline->Name(), userName)))
      return pipeline;
  }
  return nullptr;
}
