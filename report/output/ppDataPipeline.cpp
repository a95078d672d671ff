#include "ppDataPipeline.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include <QImage>

#include "ppErrors.h"
#include "ppGraphics.h"
#include "uiGraphicsBitmap.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"

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
          .Property("SkipWhenNoRecords", &TppDataPipeline::SkipWhenNoRecords, &TppDataPipeline::SetSkipWhenNoRecords)
          .Default(1)
          .Build();
  return info;
}

const TClassInfo& TppField::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppField>("TppField")
                                     .Property("FieldName", &TppField::FieldName, &TppField::FieldName)
                                     .Property("FieldAlias", &TppField::FieldAlias, &TppField::FieldAlias)
                                     .Property("FieldLength", &TppField::FieldLength, &TppField::FieldLength)
                                     .Property("DataType", &TppField::DataType, &TppField::DataType)
                                     .Build();
  return info;
}

TppField::TppField(TppDataPipeline* pipeline, const std::string& name, TppDataType type, int length)
    : TppRelative(nullptr), FieldName(name), FieldAlias(name), DataType(type), FieldLength(length), pipeline(pipeline) {}

Variant TppField::Value() const { return pipeline ? pipeline->GetFieldValue(FieldName) : Variant::Null(); }

std::string TppField::AsString() const { return pipeline ? pipeline->GetFieldAsString(FieldName) : std::string(); }

double TppField::AsDouble() const {
  const Variant value = Value();
  if (VarIsClear(value)) return std::numeric_limits<double>::quiet_NaN();
  try {
    return value.AsFloat();
  } catch (const Exception&) {
    return std::numeric_limits<double>::quiet_NaN();
  }
}

bool TppField::IsNull() const { return VarIsClear(Value()); }

TppField::~TppField() = default;

TppPicture* TppField::AsPicture() {
  if (!picture) picture = std::make_unique<TppPicture>();
  picture->Clear();
  const Variant value = Value();
  if (!value.IsBytes()) return picture.get();
  const std::vector<uint8_t> bytes = value.AsBytes();
  QImage image;
  if (!bytes.empty() && image.loadFromData(bytes.data(), static_cast<int>(bytes.size())))
    picture->NewBitmap().SetImage(image);
  return picture.get();
}

const TClassInfo& TppMasterFieldLink::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppMasterFieldLink>("TppMasterFieldLink")
          .Property("MasterFieldName", &TppMasterFieldLink::MasterFieldName, &TppMasterFieldLink::MasterFieldName)
          .Property("DetailFieldName", &TppMasterFieldLink::DetailFieldName, &TppMasterFieldLink::DetailFieldName)
          .Build();
  return info;
}

TppDataPipeline::TppDataPipeline(TComponent* owner) : TppRelative(owner) {}

TppDataPipeline::~TppDataPipeline() {
  SetMasterDataPipeline(nullptr);
  for (TppDataPipeline* detail : details) detail->master = nullptr;
}

void TppDataPipeline::Event(int eventId, const std::function<void(TppDataPipeline*)>& handler) {
  if (handler) handler(this);
  SendEventNotify(this, eventId, nullptr);
}

void TppDataPipeline::Open() {
  if (active) return;
  SendEventNotify(this, ppevBeforeOpen, nullptr);
  DataOpen();
  active = DataIsActive();
  MarkCurrentRecord();
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

int TppDataPipeline::Move(int n) {
  const int moved = DataMoveBy(n);
  dataOffset += moveBy > 0 ? moved : -moved;
  return moved;
}

bool TppDataPipeline::LinkMatches() {
  for (const auto& link : links)
    if (master->GetFieldAsString(link->MasterFieldName) != GetFieldAsString(link->DetailFieldName)) return false;
  return true;
}

void TppDataPipeline::FirstRaw() {
  traversalCount = 0;
  dataOffset = 0;
  moved = false;
  pastEnd = false;
  if (!active || DataIsEmpty()) return;
  switch (rangeBegin) {
    case rbFirstRecord: DataFirst(); break;
    case rbLastRecord: DataLast(); break;
    case rbCurrentRecord:
      if (!currentRecord.empty()) DataGotoBookmark(currentRecord);
      break;
  }
  if (!Linked()) return;
  if (master->Eof() && master->IsEmpty()) {
    pastEnd = true;
    return;
  }
  // The master's range: the first record whose link fields match.
  while (!LinkMatches())
    if (Move(moveBy) == 0) {
      pastEnd = true;
      return;
    }
}

void TppDataPipeline::MarkCurrentRecord() { currentRecord = DataRecord(); }

std::vector<uint8_t> TppDataPipeline::DataRecord() {
  std::vector<uint8_t> record;
  if (active && !DataIsEmpty()) DataGetBookmark(record);
  return record;
}

void TppDataPipeline::ReturnToDataRecord(const std::vector<uint8_t>& record) {
  if (active && !record.empty() && DataGotoBookmark(record)) SendEventNotify(this, ppevGotoBookmark, nullptr);
}

bool TppDataPipeline::PastCurrentRecord() {
  if (rangeEnd != reCurrentRecord || rangeBegin == rbCurrentRecord || currentRecord.empty()) return false;
  std::vector<uint8_t> here;
  int order = 0;
  if (!DataGetBookmark(here) || !DataCompareBookmarks(here, currentRecord, order)) return false;
  return moveBy > 0 ? order > 0 : order < 0;
}

bool TppDataPipeline::DetailsEmpty() {
  if (details.empty()) return false;
  for (TppDataPipeline* detail : details) {
    detail->First();
    if (!detail->Eof()) return false;
  }
  return true;
}

void TppDataPipeline::SkipEmptyMasters() {
  if (!skipWhenNoRecords) return;
  while (!pastEnd && DetailsEmpty())
    if (Move(moveBy) == 0) pastEnd = true;
}

void TppDataPipeline::First() {
  FirstRaw();
  if (Linked()) SendEventNotify(this, ppevMasterRecordPositionChange, nullptr);
  if (!active || DataIsEmpty()) return;
  SkipEmptyMasters();
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
  if (countReached || stayOnCurrent || Move(moveBy) == 0) {
    pastEnd = true;
  } else if ((Linked() && !LinkMatches()) || PastCurrentRecord()) {
    // Past the range's last record: back onto it.
    Move(-moveBy);
    pastEnd = true;
  } else {
    ++traversalCount;
    moved = true;
    SkipEmptyMasters();
    if (pastEnd && Move(-moveBy) == 0) pastEnd = true;
  }
  Event(ppevNext, OnNext);
  Event(ppevTraversal, OnTraversal);
}

void TppDataPipeline::Prior() {
  if (!active || DataIsEmpty()) return;
  if (pastEnd) {
    // The data never left the last record of the range.
    pastEnd = false;
  } else if (traversalCount > 0 && Move(-moveBy) != 0) {
    --traversalCount;
  }
  Event(ppevPrior, nullptr);
}

bool TppDataPipeline::Eof() const { return !active || DataIsEmpty() || pastEnd; }

bool TppDataPipeline::Bof() const { return !active || DataIsEmpty() || (traversalCount == 0 && !pastEnd); }

TppPipelinePosition TppDataPipeline::GetPosition(bool mark) {
  TppPipelinePosition position{traversalCount, dataOffset, traversalCount == 0, pastEnd, !active || DataIsEmpty()};
  std::vector<uint8_t> bookmark;
  if (mark && active && !DataIsEmpty() && DataGetBookmark(bookmark)) {
    position.Mark = static_cast<int>(marks.size());
    marks.push_back(std::move(bookmark));
  }
  return position;
}

void TppDataPipeline::SetPosition(const TppPipelinePosition& position) {
  ORV_ASSERT(position.TraversalCount >= 0);  // a count of records passed, as GetPosition made it
  if (!active) return;
  if (position.Mark >= 0 && position.Mark < static_cast<int>(marks.size()) &&
      DataGotoBookmark(marks[static_cast<size_t>(position.Mark)])) {
    traversalCount = position.TraversalCount;
    dataOffset = position.DataOffset;
    moved = traversalCount > 0;
    pastEnd = position.AtEnd;
    SendEventNotify(this, ppevGotoBookmark, nullptr);
    SendEventNotify(this, ppevRecordPositionChange, nullptr);
    return;
  }
  FirstRaw();
  if (DataIsEmpty()) return;
  int remaining = position.DataOffset - dataOffset;
  while (remaining > 0) {
    const int steps = std::abs(Move(moveBy * remaining));
    if (steps == 0) break;
    remaining -= steps;
  }
  traversalCount = position.TraversalCount;
  moved = traversalCount > 0;
  pastEnd = position.AtEnd;
  SendEventNotify(this, ppevRecordPositionChange, nullptr);
}

void TppDataPipeline::SetMasterDataPipeline(TppDataPipeline* value) {
  for (TppDataPipeline* p = value; p; p = p->master)
    if (p == this) return;
  if (master) {
    std::erase(master->details, this);
    RemoveNotify(master);
  }
  master = value;
  if (master) {
    master->details.push_back(this);
    AddNotify(master);
  }
}

void TppDataPipeline::AddLink(const std::string& masterFieldName, const std::string& detailFieldName) {
  links.emplace_back(new TppMasterFieldLink(masterFieldName, detailFieldName));
}

void TppDataPipeline::Notify(TppCommunicator* sender, int operation) {
  inherited::Notify(sender, operation);
  if (operation != ppopRemove) return;
  // Compare addresses only: the sender is being destroyed.
  if (sender == static_cast<TppCommunicator*>(master)) master = nullptr;
  std::erase_if(details, [sender](TppDataPipeline* d) { return static_cast<TppCommunicator*>(d) == sender; });
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
  const auto again = std::find_if(clearedFields.begin(), clearedFields.end(),
                                  [&name](const auto& field) { return SameText(field->FieldName, name); });
  if (again == clearedFields.end()) {
    fields.emplace_back(new TppField(this, name, type, length));
    return;
  }
  TppField& field = **again;
  field.FieldName = field.FieldAlias = name;
  field.DataType = type;
  field.FieldLength = length;
  fields.push_back(std::move(*again));
  clearedFields.erase(again);
}

void TppDataPipeline::ClearFields() {
  for (auto& field : fields) clearedFields.push_back(std::move(field));
  fields.clear();
}

TppField* TppDataPipeline::FindField(const std::string& name) const {
  for (const auto& field : fields)
    if (SameText(field->FieldName, name)) return field.get();
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

bool TppDataPipeline::Locate(const std::string& fieldName, const Variant& value) {
  // The data closed behind the pipeline's back is opened again.
  if (active && !DataIsActive()) active = false;
  Open();
  return active && DataLocate(fieldName, value);
}

TppDataPipeline* ppFindPipeline(TComponent* owner, const std::string& userName) {
  if (!owner || userName.empty()) return nullptr;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    auto* pipeline = dynamic_cast<TppDataPipeline*>(owner->Components(i));
    if (pipeline && (SameText(pipeline->GetUserName(), userName) || SameText(pipeline->Name(), userName)))
      return pipeline;
  }
  return nullptr;
}
