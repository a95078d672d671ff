#include "sqlColumns.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engBlobBuffer.h"
#include "engTableCursor.h"
#include "engDataHeader.h"
#include "engDataLayout.h"
#include "engErrors.h"
#include "engKeyEncoding.h"
#include "sqlCorrelation.h"
#include "sqlEvaluation.h"
#include "sqlQuery.h"

void TypeNodeFromField(const uint8_t* desc, TExpToken& node) {
  node.DataType = desc[FieldDescTypeOffset];
  node.SubType = desc[FieldDescSubtypeOffset];
  node.SetDataSize(node.DataType == BlobFieldType ? 4 : desc[FieldDescStoredSizeOffset]);
  node.Scale = node.DataType == DecimalFieldType ? desc[FieldDescScaleCopyOffset] : 0;
}

bool TSourceColumnResolver::ResolveColumn(TExpToken& node) {
  uint16_t fieldNo = 0;
  TSourceTable* table = FindVisibleSourceTable(query, node.CorrelationName, node.Name, fieldNo);
  if (!table || fieldNo == 0) return false;
  node.SourceTable = table;
  node.FieldNo = fieldNo;
  node.CorrelationName = table->Reference.CorrelationName;
  TypeNodeFromField(table->FieldDesc(fieldNo), node);
  return true;
}

bool TTableColumnResolver::ResolveColumn(TExpToken& node) {
  if (!node.CorrelationName.empty() && node.SourceTable != &table) return false;
  const int fieldNo = table.FindField(node.Name);
  if (fieldNo <= 0) return false;
  node.FieldNo = uint16_t(fieldNo);
  TypeNodeFromField(table.FieldDesc(fieldNo), node);
  return true;
}

void ReadFieldValue(TTableCursor& cursor, const uint8_t* record, const uint8_t* desc, TExpToken& node,
                    TFieldNumbering numbering) {
  const bool tableNumbering = numbering == TFieldNumbering::Table;
  const int fieldNo = FieldDescNumber(desc);
  if (desc[FieldDescTypeOffset] != BlobFieldType) {
    const int width = FieldValueWidth(desc);
    node.SetDataSize(std::max(width, 8));
    std::memset(node.Value, 0, size_t(node.ValueCapacity));
    bool blank = true;
    cursor.Fields().GetFieldValue(desc, record, blank, node.Value);
    node.IsNull = blank;
    node.SetDataSize(desc[FieldDescTypeOffset] == StringFieldType
                         ? int32_t(strnlen(reinterpret_cast<const char*>(node.Value), size_t(width))) + 1
                         : width);
    return;
  }
  bool blank = true;
  cursor.Fields().GetFieldValue(desc, record, blank, nullptr);
  if (blank) {
    node.SetNull();
    node.IsNull = true;
    return;
  }
  // A BLOB is read whole through a handle of a copy of the record, so the
  // row itself keeps its reference.
  std::vector<uint8_t> copy(record, record + cursor.Fields().CursorRecordSize());
  auto check = [&cursor](int32_t result) {
    if (result != 0) RaiseEngineError(uint16_t(result), cursor.TableName());
  };
  check(cursor.Blobs().OpenBlob(fieldNo, copy.data(), true, tableNumbering, BlobOpenRead));
  try {
    int32_t size = 0;
    check(cursor.Blobs().GetBlobSize(fieldNo, copy.data(), tableNumbering, size));
    node.SetDataSize(size + 1);
    int32_t read = 0;
    if (size > 0)
      check(cursor.Blobs().ReadBlob(fieldNo, copy.data(), tableNumbering, read, {node.Value, size_t(size)}, 0));
    node.Value[size] = 0;
    node.DataSize = size;
    node.IsNull = size == 0;
  } catch (...) {
    cursor.Blobs().FreeBlob(fieldNo, copy.data(), tableNumbering);
    throw;
  }
  cursor.Blobs().FreeBlob(fieldNo, copy.data(), tableNumbering);
}

void TSourceColumnValues::GetColumnValue(TExpToken& node) {
  auto* table = static_cast<TSourceTable*>(node.SourceTable);
  if (!table || !table->HasRow || node.FieldNo == 0) {
    node.SetNull();
    node.IsNull = true;
    return;
  }
  TTableCursor& cursor = *table->Cursor;
  ReadFieldValue(cursor, table->Record.data(), table->FieldDesc(node.FieldNo), node, TFieldNumbering::Table);
  if (cursor.Fields().LanguageId() != languageId) ConvertTextValue(node, cursor.Fields().LanguageId(), languageId);
}
