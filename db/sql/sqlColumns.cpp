#include "sqlColumns.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engBlobBuffer.h"
#include "engTableCursor.h"
#include "engErrors.h"
#include "sqlCorrelation.h"
#include "sqlEvaluation.h"
#include "sqlQuery.h"

namespace {

// Every node's buffer holds at least this many bytes (it begins with
// ValueStep and only grows).
constexpr size_t NarrowClearBytes = 16;
static_assert(NarrowClearBytes <= size_t(TExpToken::ValueStep));

}  // namespace

void TypeNodeFromField(const TFieldDefinition& field, TExpToken& node) {
  node.DataType = field.Type;
  node.SubType = field.Subtype;
  node.SetDataSize(field.IsBlob() ? 4 : field.StoredSize);
  node.Scale = field.Type == dtBcd ? field.StoredScale : 0;
}

bool TSourceColumnResolver::ResolveColumn(TExpToken& node) {
  uint16_t fieldNo = 0;
  TSourceTable* table = FindVisibleSourceTable(query, node.CorrelationName, node.Name, fieldNo);
  if (!table || fieldNo == 0) return false;
  node.SourceTable = table;
  node.FieldNo = fieldNo;
  node.CorrelationName = table->Reference.CorrelationName;
  TypeNodeFromField(table->Field(fieldNo), node);
  return true;
}

bool TTableColumnResolver::ResolveColumn(TExpToken& node) {
  if (!node.CorrelationName.empty() && node.SourceTable != &table) return false;
  const int fieldNo = table.FindField(node.Name);
  if (fieldNo <= 0) return false;
  node.FieldNo = uint16_t(fieldNo);
  TypeNodeFromField(table.Field(fieldNo), node);
  return true;
}

void ReadFieldValue(TTableCursor& cursor, const uint8_t* record, const TFieldDefinition& field, TExpToken& node,
                    TFieldNumbering numbering) {
  const int fieldNo = field.Number;
  if (!field.IsBlob()) {
    const int width = field.ValueWidth();
    node.SetDataSize(std::max(width, 8) + 1);
    // What the value's reads look at: the field's width and the end of a
    // text that fills it, and a whole number's widest read. Clearing the
    // node's whole buffer (256 bytes or more) was most of a field's read.
    // A narrow field clears a fixed span the node always holds: a span of
    // a size known only here became a string store whose start-up cost
    // outweighed the bytes it cleared (a sixth of reading a number back).
    const size_t used = size_t(std::max(width, 8) + 1);
    if (used <= NarrowClearBytes) std::memset(node.Value, 0, NarrowClearBytes);
    else std::memset(node.Value, 0, used);
    node.IsNull = !cursor.Fields().ReadValue(field, record, {node.Value, size_t(node.ValueCapacity)});
    node.SetDataSize(field.Type == dtString
                         ? int32_t(strnlen(reinterpret_cast<const char*>(node.Value), size_t(width))) + 1
                         : width);
    return;
  }
  if (!cursor.Fields().ReadValue(field, record, {})) {
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
  check(cursor.Blobs().OpenBlob(fieldNo, copy.data(), {.Release = true, .Numbering = numbering}));
  try {
    int32_t size = 0;
    check(cursor.Blobs().GetBlobSize(fieldNo, copy.data(), numbering, size));
    node.SetDataSize(size + 1);
    int32_t read = 0;
    if (size > 0) check(cursor.Blobs().ReadBlob(fieldNo, copy.data(), numbering, read, {node.Value, size_t(size)}, 0));
    node.Value[size] = 0;
    node.DataSize = size;
    node.IsNull = size == 0;
  } catch (...) {
    cursor.Blobs().FreeBlob(fieldNo, copy.data(), numbering);
    throw;
  }
  cursor.Blobs().FreeBlob(fieldNo, copy.data(), numbering);
}

void TSourceColumnValues::GetColumnValue(TExpToken& node) {
  TSourceTable* table = BoundSourceTable(node);
  if (!table || !table->HasRow || node.FieldNo == 0) {
    node.SetNull();
    node.IsNull = true;
    return;
  }
  TTableCursor& cursor = *table->Cursor;
  ReadFieldValue(cursor, table->Row(), table->Field(node.FieldNo), node, TFieldNumbering::Table);
  if (cursor.Fields().LanguageId() != languageId) ConvertTextValue(node, cursor.Fields().LanguageId(), languageId);
}
