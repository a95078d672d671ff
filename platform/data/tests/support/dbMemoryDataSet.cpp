#include "dbMemoryDataSet.h"

#include <cstring>

#include "dbConsts.h"
#include "dbNativeValues.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TMemoryDataSet)

namespace {

constexpr int InfoSize = sizeof(int32_t) + 1;

}  // namespace

// A BLOB value edited in memory; written back to the dataset's edit copy
// when the stream ends.
class TMemoryBlobStream : public TMemoryStream {
public:
  TMemoryBlobStream(TMemoryDataSet& dataSet, TField* field, TBlobStreamMode mode, const std::string& value)
      : dataSet(dataSet), field(field), mode(mode) {
    if (mode != bmWrite) {
      TMemoryStream::Write(value.data(), static_cast<int64_t>(value.size()));
      Seek(0, soFromBeginning);
    }
  }
  ~TMemoryBlobStream() override {
    if (mode == bmRead) return;
    dataSet.editBlobs[field->FieldNo()] = std::string(reinterpret_cast<const char*>(Memory()), size_t(Size()));
    // The null byte follows whether the BLOB holds anything.
    TRecordBuffer buffer = dataSet.ActiveBuffer();
    buffer[dataSet.fieldOffsets[size_t(field->FieldNo() - 1)]] = Size() > 0 ? 1 : 0;
    dataSet.FieldChanged(field);
  }

private:
  TMemoryDataSet& dataSet;
  TField* field;
  TBlobStreamMode mode;
};

TMemoryDataSet::TMemoryDataSet(TComponent* owner) : TDataSet(owner) {}

TMemoryDataSet::~TMemoryDataSet() {
  if (Active()) Close();
}

void TMemoryDataSet::DefineField(const std::string& name, TFieldType type, int size, bool required) {
  CheckInactive();
  definitions.push_back({name, type, size, required});
  FieldDefs().SetUpdated(false);
}

void TMemoryDataSet::InternalInitFieldDefs() {
  FieldDefs().Clear();
  for (const TDefinition& def : definitions) FieldDefs().Add(def.name, def.type, def.size, def.required);
}

void TMemoryDataSet::InternalOpen() {
  FieldDefs().SetUpdated(false);
  UpdateFieldDefs();
  fieldOffsets.clear();
  int offset = 0;
  for (const TDefinition& def : definitions) {
    fieldOffsets.push_back(offset);
    // BLOB fields keep only their null byte in the record.
    offset += 1 + NativeDataSize(def.type, def.size);
  }
  imageSize = offset;
  for (TRecord& record : records) record.image.resize(size_t(imageSize));
  if (DefaultFields()) CreateFields();
  BindFields(true);
  // A failure here finds the fields made, as a cursor that cannot be
  // opened would.
  Fail(FailOpen);
  cursor = -1;
  open = true;
}

void TMemoryDataSet::InternalClose() {
  open = false;
  BindFields(false);
  if (DefaultFields()) DestroyFields();
}

size_t TMemoryDataSet::RecordBufferSize() { return size_t(imageSize + CalcFieldsSize() + InfoSize); }

int32_t TMemoryDataSet::BufferId(TRecordBuffer buffer) const {
  int32_t id;
  std::memcpy(&id, buffer + imageSize + CalcFieldsSize(), sizeof id);
  return id;
}

void TMemoryDataSet::GetBookmarkData(TRecordBuffer buffer, uint8_t* data) {
  std::memcpy(data, buffer + imageSize + CalcFieldsSize(), sizeof(int32_t));
}

void TMemoryDataSet::SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) {
  std::memcpy(buffer + imageSize + CalcFieldsSize(), data, sizeof(int32_t));
}

TBookmarkFlag TMemoryDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
  return TBookmarkFlag(buffer[imageSize + CalcFieldsSize() + sizeof(int32_t)]);
}

void TMemoryDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  buffer[imageSize + CalcFieldsSize() + sizeof(int32_t)] = uint8_t(flag);
}

int TMemoryDataSet::IndexOfId(int32_t id) const {
  for (size_t i = 0; i < records.size(); ++i)
    if (records[i].id == id) return int(i);
  return -1;
}

bool TMemoryDataSet::ReadRecord(int index, TRecordBuffer buffer) {
  ++RecordReads;
  const TRecord& record = records[size_t(index)];
  std::memcpy(buffer, record.image.data(), size_t(imageSize));
  std::memcpy(buffer + imageSize + CalcFieldsSize(), &record.id, sizeof record.id);
  SetBookmarkFlag(buffer, bfCurrent);
  GetCalcFields(buffer);
  return !FiltersActive() || RecordFilterAccepts(buffer);
}

TGetResult TMemoryDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool /*doCheck*/) {
  const int count = int(records.size());
  switch (mode) {
    case gmCurrent:
      if (cursor < 0 || cursor >= count || !ReadRecord(cursor, buffer)) return grError;
      return grOK;
    case gmNext:
      while (++cursor < count)
        if (ReadRecord(cursor, buffer)) return grOK;
      cursor = count;
      return grEOF;
    case gmPrior:
      while (--cursor >= 0)
        if (ReadRecord(cursor, buffer)) return grOK;
      cursor = -1;
      return grBOF;
  }
  return grError;
}

void TMemoryDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  const int index = IndexOfId(BufferId(buffer));
  if (index >= 0) cursor = index;
}

void TMemoryDataSet::InternalGotoBookmark(const uint8_t* data) {
  int32_t id;
  std::memcpy(&id, data, sizeof id);
  const int index = IndexOfId(id);
  if (index < 0) throw EDatabaseError(SRecordNotFound);
  cursor = index;
}

bool TMemoryDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!open || bookmark.size() != sizeof(int32_t)) return false;
  int32_t id;
  std::memcpy(&id, bookmark.data(), sizeof id);
  return IndexOfId(id) >= 0;
}

int TMemoryDataSet::CompareBookmarkData(const TBookmark& bookmark1, const TBookmark& bookmark2) {
  int32_t a, b;
  std::memcpy(&a, bookmark1.data(), sizeof a);
  std::memcpy(&b, bookmark2.data(), sizeof b);
  const int left = IndexOfId(a), right = IndexOfId(b);
  return left < right ? -1 : left > right ? 1 : 0;
}

int TMemoryDataSet::RecordCount() {
  CheckActive();
  if (!Filtered()) return int(records.size());
  std::vector<uint8_t> scratch(RecordBufferSize());
  int count = 0;
  for (int i = 0; i < int(records.size()); ++i)
    if (ReadRecord(i, scratch.data())) ++count;
  return count;
}

int TMemoryDataSet::RecNo() {
  CheckActive();
  TRecordBuffer buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (IsEmpty() || GetBookmarkFlag(buffer) != bfCurrent) return -1;
  const int index = IndexOfId(BufferId(buffer));
  if (!Filtered()) return index + 1;
  std::vector<uint8_t> scratch(RecordBufferSize());
  int number = 0;
  for (int i = 0; i <= index; ++i)
    if (ReadRecord(i, scratch.data())) ++number;
  return number;
}

void TMemoryDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  if (value == RecNo()) return;
  DoBeforeScroll();
  InternalFirst();
  std::vector<uint8_t> scratch(RecordBufferSize());
  for (int n = 0; n < value && GetRecord(scratch.data(), gmNext, true) == grOK; ++n) {
  }
  if (cursor >= int(records.size())) InternalLast();
  Resync({rmCenter});
  DoAfterScroll();
}

bool TMemoryDataSet::GetFieldData(TField* field, void* buffer) {
  ++FieldReads;
  TRecordBuffer record = ActiveRecordBuffer();
  if (!record) return false;
  if (field->FieldNo() < 0) return GetCalcFieldData(field, record, imageSize, buffer);
  const uint8_t* slot = record + fieldOffsets[size_t(field->FieldNo() - 1)];
  if (slot[0] == 0) return false;
  if (buffer) std::memcpy(buffer, slot + 1, size_t(field->DataSize()));
  return true;
}

void TMemoryDataSet::SetFieldData(TField* field, const void* buffer) {
  CheckFieldWrite(field);
  TRecordBuffer record = ActiveRecordBuffer();
  if (!record) throw EDatabaseError(SNotEditing);
  if (field->FieldNo() < 0) {
    SetCalcFieldData(field, record, imageSize, buffer);
  } else {
    field->Validate(buffer);
    uint8_t* slot = record + fieldOffsets[size_t(field->FieldNo() - 1)];
    slot[0] = buffer ? 1 : 0;
    if (buffer)
      std::memcpy(slot + 1, buffer, size_t(field->DataSize()));
    else
      std::memset(slot + 1, 0, size_t(field->DataSize()));
    if (field->IsBlob() && !buffer) editBlobs[field->FieldNo()].clear();
  }
  FieldChanged(field);
}

std::unique_ptr<TStream> TMemoryDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  if (mode != bmRead) {
    if (State() != dsEdit && State() != dsInsert) throw EDatabaseError(SNotEditing);
    if (field->ReadOnly()) throw EDatabaseError(SFieldReadOnly, {field->DisplayName()});
  }
  std::string value;
  if (State() == dsEdit || State() == dsInsert) {
    auto it = editBlobs.find(field->FieldNo());
    if (it != editBlobs.end()) value = it->second;
  } else if (TRecordBuffer record = ActiveRecordBuffer()) {
    const int index = IndexOfId(BufferId(record));
    if (index >= 0) {
      auto it = records[size_t(index)].blobs.find(field->FieldNo());
      if (it != records[size_t(index)].blobs.end()) value = it->second;
    }
  }
  return std::make_unique<TMemoryBlobStream>(*this, field, mode, value);
}

void TMemoryDataSet::InternalInitRecord(TRecordBuffer buffer) { std::memset(buffer, 0, size_t(imageSize)); }

void TMemoryDataSet::ClearCalcFields(TRecordBuffer buffer) {
  std::memset(buffer + imageSize, 0, size_t(CalcFieldsSize()));
}

void TMemoryDataSet::Fail(TFailure& failure) {
  if (failure.count <= 0) return;
  --failure.count;
  throw EDatabaseError(failure.message);
}

void TMemoryDataSet::InternalEdit() {
  Fail(FailEdit);
  const int index = IndexOfId(BufferId(ActiveBuffer()));
  editBlobs = index >= 0 ? records[size_t(index)].blobs : std::map<int, std::string>();
}

void TMemoryDataSet::InternalInsert() { editBlobs.clear(); }

void TMemoryDataSet::InternalPost() {
  ++PostCalls;
  Fail(FailPost);
  TRecordBuffer buffer = ActiveBuffer();
  if (State() == dsEdit) {
    const int index = IndexOfId(BufferId(buffer));
    if (index < 0) throw EDatabaseError(SRecordNotFound);
    std::memcpy(records[size_t(index)].image.data(), buffer, size_t(imageSize));
    records[size_t(index)].blobs = editBlobs;
    cursor = index;
    return;
  }
  TRecord record;
  record.id = nextId++;
  record.image.assign(buffer, buffer + imageSize);
  record.blobs = editBlobs;
  // An appended record goes last; an inserted one before the record it
  // was inserted at.
  int index = int(records.size());
  if (GetBookmarkFlag(buffer) == bfInserted) {
    const int at = IndexOfId(BufferId(buffer));
    if (at >= 0) index = at;
  }
  records.insert(records.begin() + index, std::move(record));
  cursor = index;
}

void TMemoryDataSet::InternalCancel() { editBlobs.clear(); }

void TMemoryDataSet::InternalDelete() {
  Fail(FailDelete);
  const int index = IndexOfId(BufferId(ActiveBuffer()));
  if (index < 0) throw EDatabaseError(SRecordNotFound);
  records.erase(records.begin() + index);
  cursor = index;  // the record taking its place
}

void TMemoryDataSet::SetFiltered(bool value) {
  if (Active()) CheckBrowseMode();
  TDataSet::SetFiltered(value);
  if (Active()) First();
}

void TMemoryDataSet::SetOnFilterRecord(TFilterRecordEvent value) {
  if (Active()) CheckBrowseMode();
  TDataSet::SetOnFilterRecord(std::move(value));
  if (Active() && Filtered()) First();
}
