#include "engErrorCodes.h"
#include "engFieldAccess.h"
#include "engFieldBytes.h"

#include <cstring>
#include <utility>

#include "engDataFile.h"
#include "engErrors.h"
#include "engExpCodes.h"
#include "engFieldDescCodec.h"
#include "engHeap.h"
#include "engIndexFile.h"
#include "engLittleEndian.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"

namespace {

std::string FieldName(const uint8_t* fieldDesc) {
  return GetShortString(fieldDesc + FieldDescNameOffset, FieldNameLimit);
}

}  // namespace

TCursorFields::~TCursorFields() { FreeFieldDescs(); }

void TCursorFields::AttachFields(TDataFile& data, TIndexFile& index, const std::vector<TFieldDefinition>* decoded) {
  const int count = data.FieldCount();
  TEngineBuffer copies = TEngineBuffer::Uncleared(size_t(count) * FieldDescSize);
  for (int position = 1; position <= count; ++position)
    data.GetFieldDesc(position, copies.Get() + size_t(position - 1) * FieldDescSize);
  FreeFieldDescs();
  if (decoded) {
    ORV_ASSERT(decoded->size() == size_t(count));
    fieldDefinitions.reserve(size_t(count));
    for (const TFieldDefinition& field : *decoded) {
      TFieldDefinition& stored = fieldDefinitions.emplace_back(field);
      stored.Origin.clear();
      stored.Expression.reset();
      ORV_ASSERT(stored.SameStored(
          FieldDefinitionFromDesc(copies.Get() + size_t(fieldDefinitions.size() - 1) * FieldDescSize)));
    }
  } else {
    fieldDefinitions = FieldDefinitionsFromDescs(copies.Get(), count);
  }
  fieldDescs = std::move(copies);
  fieldCount = count;
  fieldMap = false;
  dataFile = &data;
  indexFile = &index;
  languageId = data.LanguageId();
  sortId = data.SortId();
  cursorRecordSize = data.RecordSize();
}

void TCursorFields::DetachFields() {
  FreeFieldDescs();
  fieldMap = false;
  dataFile = nullptr;
  indexFile = nullptr;
  languageId = 0;
  sortId = 0;
  cursorRecordSize = 0;
}

void TCursorFields::SetFieldList(std::vector<TFieldDefinition> fields, bool isFieldMap) {
  const int count = int(fields.size());
  if (count > MaxDataFields) RaiseEngineError(EngErrFieldLimits, FieldsTableName());
  TEngineBuffer copies(size_t(count) * FieldDescSize);
  for (int i = 0; i < count; ++i) FieldDescFromDefinition(fields[size_t(i)], copies.Get() + size_t(i) * FieldDescSize);
  FreeFieldDescs();
  fieldDescs = std::move(copies);
  fieldDefinitions = std::move(fields);
  fieldCount = count;
  fieldMap = isFieldMap;
}

void TCursorFields::FreeFieldDescs() {
  fieldDescs.Reset();
  fieldDefinitions.clear();
  fieldCount = 0;
}

const uint8_t* TCursorFields::FindFieldByNo(int fieldNo) const {
  for (int position = 1; position <= fieldCount; ++position)
    if (FieldDescNumber(FieldDescAt(position)) == fieldNo) return FieldDescAt(position);
  return nullptr;
}

const uint8_t* TCursorFields::CursorFieldDesc(int fieldNo) const {
  return fieldMap ? FindFieldByNo(fieldNo) : FieldDescAt(fieldNo);
}

bool TCursorFields::CopyFieldDescByPos(int position, uint8_t* fieldDesc) const {
  const uint8_t* found = FieldDescAt(position);
  if (found) std::memcpy(fieldDesc, found, FieldDescSize);
  return found != nullptr;
}

bool TCursorFields::FindFieldDescByNo(int fieldNo, uint8_t* fieldDesc) const {
  const uint8_t* found = FindFieldByNo(fieldNo);
  if (found) std::memcpy(fieldDesc, found, FieldDescSize);
  return found != nullptr;
}

void TCursorFields::RaiseFieldNumber(int fieldNo) const {
  RaiseEngineError(EngErrFieldNumber, FieldsTableName(), IntToStr(fieldNo));
}

void TCursorFields::GetFieldDesc(int fieldNo, uint8_t* fieldDesc) const {
  const uint8_t* found = CursorFieldDesc(fieldNo);
  if (!found) RaiseFieldNumber(fieldNo);
  std::memcpy(fieldDesc, found, FieldDescSize);
}

const TFieldDefinition& TCursorFields::FieldDefinition(int fieldNo) const {
  const uint8_t* found = CursorFieldDesc(fieldNo);
  if (!found) RaiseFieldNumber(fieldNo);
  return fieldDefinitions[size_t(found - fieldDescs.Get()) / FieldDescSize];
}

TFieldDefinition TCursorFields::TableFieldDefinition(int fieldNo) const {
  // Without a field map the cursor's list is the data file's, decoded as
  // the cursor attached: a statement's source table reads every field so.
  if (ownFieldList || !fieldMap) return FieldDefinition(fieldNo);
  uint8_t fieldDesc[FieldDescSize];
  GetTableFieldDesc(fieldNo, fieldDesc);
  return FieldDefinitionFromDesc(fieldDesc);
}

void TCursorFields::GetTableFieldDesc(int fieldNo, uint8_t* fieldDesc) const {
  if (ownFieldList) return GetFieldDesc(fieldNo, fieldDesc);
  // The data file keeps 16-bit numbers; a wider one names no field.
  const bool found = dataFile && fieldNo >= 1 && fieldNo <= MaxDataFields &&
                     (fieldMap ? dataFile->FindFieldDescByNo(uint16_t(fieldNo), fieldDesc)
                               : dataFile->GetFieldDesc(fieldNo, fieldDesc));
  if (!found) RaiseFieldNumber(fieldNo);
}

void TCursorFields::FieldDescByNumbering(int fieldNo, bool tableNumbering, uint8_t* fieldDesc) const {
  if (tableNumbering)
    GetTableFieldDesc(fieldNo, fieldDesc);
  else
    GetFieldDesc(fieldNo, fieldDesc);
}

void TCursorFields::BlobFieldDesc(int fieldNo, bool tableNumbering, uint8_t* fieldDesc) const {
  FieldDescByNumbering(fieldNo, tableNumbering, fieldDesc);
  if (fieldDesc[FieldDescTypeOffset] != dtBlob)
    RaiseEngineError(EngErrBlobField, FieldsTableName(), FieldName(fieldDesc));
}

int TCursorFields::GetFieldNo(const std::string& name) const {
  if (ownFieldList) {
    for (int position = 1; position <= fieldCount; ++position)
      if (SameText(FieldName(FieldDescAt(position)), name)) return FieldDescNumber(FieldDescAt(position));
    return 0;
  }
  uint8_t fieldDesc[FieldDescSize];
  return dataFile ? dataFile->FindFieldDescByName(name, fieldDesc) : 0;
}

uint16_t TCursorFields::GetRecordSize() const { return dataFile ? dataFile->RecordSize() : 0; }
uint16_t TCursorFields::GetFieldCount() const { return dataFile ? dataFile->FieldCount() : 0; }
uint16_t TCursorFields::GetBlobFieldCount() const { return dataFile ? dataFile->BlobFieldCount() : 0; }

void TCursorFields::GetIndexDesc(int indexNo, uint8_t* indexDesc) const {
  if (indexNo == NaturalOrderIndex || !indexFile)
    std::memset(indexDesc, 0, IndexDescSize);
  else
    indexFile->GetIndexDescriptor(indexNo, indexDesc);
}

TIndexDefinition TCursorFields::GetIndexDefinition(int indexNo) const {
  uint8_t indexDesc[IndexDescSize];
  GetIndexDesc(indexNo, indexDesc);
  return IndexDefinitionFromDesc(indexDesc);
}

void TCursorFields::GetIndexFieldList(int indexNo, uint16_t* fieldNumbers) const {
  uint8_t indexDesc[IndexDescSize];
  GetIndexDesc(indexNo, indexDesc);
  for (int i = 0; i < IndexFieldListSize; ++i) fieldNumbers[i] = GetLE16(indexDesc + IdxDescFieldNumbers + 2 * i);
}

bool TCursorFields::PrimaryIsNatural() const { return indexFile && indexFile->GetNoPrimary(); }

int TCursorFields::GetSecondaryIndexCount() const { return indexFile ? indexFile->GetSecondaryCount() : 0; }
