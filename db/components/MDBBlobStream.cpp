#include "MDBBlobStream.h"

#include <limits>

#include "MDBDataSet.h"
#include "MDBSession.h"
#include "MDBTb.h"
#include "dbConsts.h"
#include "dbFieldClasses.h"
#include "engBlobBuffer.h"
#include "engTableCursor.h"
#include "engErrorCodes.h"

namespace {

int32_t ClampCount(int64_t count) {
  return count > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                      : static_cast<int32_t>(count);
}

}  // namespace

TMDBBlobStream::TMDBBlobStream(TField* blobField, TBlobStreamMode mode)
    : field(dynamic_cast<TBlobField*>(blobField)), dataSet(dynamic_cast<TMDBDataSet*>(blobField->DataSet())) {
  if (field == nullptr || dataSet == nullptr || !dataSet->Handle()) return;
  record = dataSet->ActiveRecordBuffer();
  if (record == nullptr) return;
  fieldNo = static_cast<uint16_t>(field->FieldNo());
  TMDBSessionUse use(dataSet->DataSetSession());
  TTableCursor& cursor = *dataSet->Handle();
  if (!field->Modified()) {
    if (mode == bmRead) {
      CheckEngineResult(cursor.Blobs().OpenBlob(fieldNo, record, {}), cursor.TableName());
    } else {
      if (field->ReadOnly()) throw EDatabaseError(SFieldReadOnly, {field->DisplayName()});
      if (dataSet->State() != dsEdit && dataSet->State() != dsInsert) throw EDatabaseError(SNotEditing);
      CheckEngineResult(cursor.Blobs().OpenBlob(fieldNo, record, {}), cursor.TableName());
    }
  }
  opened = true;
  if (mode == bmWrite) Truncate();
}

TMDBBlobStream::~TMDBBlobStream() {
  if (!opened) return;
  try {
    if (modified) field->SetModified(true);
    if (!field->Modified()) {
      TMDBSessionUse use(dataSet->DataSetSession());
      dataSet->Handle()->Blobs().FreeBlob(fieldNo, record, TFieldNumbering::Cursor);
    }
    if (modified) dataSet->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
  } catch (const std::exception&) {
    // A destructor cannot report; the value stays open in the record and
    // goes with the record's post or cancel.
  }
}

int64_t TMDBBlobStream::Read(void* buffer, int64_t count) {
  if (!opened || count <= 0) return 0;
  TMDBSessionUse use(dataSet->DataSetSession());
  TTableCursor& cursor = *dataSet->Handle();
  int32_t countRead = 0;
  const std::span<uint8_t> destination(static_cast<uint8_t*>(buffer), size_t(ClampCount(count)));
  const int32_t result =
      cursor.Blobs().ReadBlob(fieldNo, record, TFieldNumbering::Cursor, countRead, destination, position);
  switch (result) {
    case 0:
    case EngErrEndOfBlob: position += countRead; return countRead;
    case EngErrBlobOffset: return 0;
    default: CheckEngineResult(result, cursor.TableName()); return 0;
  }
}

int64_t TMDBBlobStream::Write(const void* buffer, int64_t count) {
  if (!opened || count <= 0) return 0;
  if (count > std::numeric_limits<int32_t>::max()) CheckWriteResult(EngErrBlobLength);
  TMDBSessionUse use(dataSet->DataSetSession());
  CheckWriteResult(dataSet->Handle()->Blobs().WriteBlob(
      fieldNo, record, TFieldNumbering::Cursor, {static_cast<const uint8_t*>(buffer), size_t(count)}, position));
  position += static_cast<int32_t>(count);
  modified = true;
  return count;
}

int64_t TMDBBlobStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t target = position;
  switch (origin) {
    case soFromBeginning: target = offset; break;
    case soFromCurrent: target = position + offset; break;
    case soFromEnd: target = Size() + offset; break;
  }
  // The engine refuses a negative position or one past 2^31 - 1 on the next
  // read or write; the position itself is kept as asked, within 32 bits.
  if (target < std::numeric_limits<int32_t>::min()) target = std::numeric_limits<int32_t>::min();
  if (target > std::numeric_limits<int32_t>::max()) target = std::numeric_limits<int32_t>::max();
  position = static_cast<int32_t>(target);
  return position;
}

int64_t TMDBBlobStream::Size() {
  if (!opened) return 0;
  TMDBSessionUse use(dataSet->DataSetSession());
  int32_t size = 0;
  CheckEngineResult(dataSet->Handle()->Blobs().GetBlobSize(fieldNo, record, TFieldNumbering::Cursor, size),
                    dataSet->Handle()->TableName());
  return size;
}

void TMDBBlobStream::SetSize(int64_t newSize) {
  Seek(newSize, soFromBeginning);
  Truncate();
}

void TMDBBlobStream::Truncate() {
  if (!opened) return;
  TMDBSessionUse use(dataSet->DataSetSession());
  CheckWriteResult(dataSet->Handle()->Blobs().TruncateBlob(fieldNo, record, TFieldNumbering::Cursor, position));
  modified = true;
}

void TMDBBlobStream::CheckWriteResult(int32_t result) {
  if (result == 0) return;
  TTableCursor& cursor = *dataSet->Handle();
  const std::string tableName = cursor.TableName();
  {
    TMDBSessionUse use(dataSet->DataSetSession());
    cursor.Blobs().FreeBlob(fieldNo, record, TFieldNumbering::Cursor);
  }
  field->SetModified(false);
  opened = false;
  modified = false;
  CheckEngineResult(result, tableName);
}
