// A cursor's own field list in place of the table's: result cursors of SQL
// statements add computed fields, each with the expression it is computed
// from, and cloned cursors take their original's list.

#include <algorithm>
#include <cstring>
#include <vector>

#include "engCursor.h"
#include "engDataFile.h"
#include "engDataHeader.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engExpEval.h"
#include "engFieldDescCodec.h"
#include "engLittleEndian.h"
#include "engPaths.h"
#include "engRecordBuffer.h"
#include "engScopeGuard.h"

namespace {

std::string FieldName(const uint8_t* desc) { return GetShortString(desc + FieldDescNameOffset, FieldNameLimit); }

// The table's name without folder and extension.
std::string PlainTableName(const std::string& name) {
  const size_t separator = name.find_last_of("/\\:");
  return StripFileExt(separator == std::string::npos ? name : name.substr(separator + 1));
}

}  // namespace

// Columns of a computed field's expression read the record being computed.
class TComputedColumns final : public TExpColumnValues {
public:
  TComputedColumns(TDataCursor& cursor, const uint8_t* buffer) : cursor(cursor), buffer(buffer) {}

  void GetColumnValue(TExpToken& node) override {
    uint8_t desc[FieldDescSize];
    cursor.GetTableFieldDesc(node.FieldNo, desc);
    // BLOB values are read through the cursor's BLOB handles, which
    // computed fields do not use.
    if (desc[FieldDescTypeOffset] == BlobFieldType)
      RaiseEngineError(EngErrBlobField, cursor.TableName(), FieldName(desc));
    const int width = FieldValueWidth(desc);
    node.SetDataSize(std::max(width, 8));
    std::memset(node.Value, 0, size_t(node.ValueCapacity));
    bool blank = true;
    cursor.GetFieldValue(desc, buffer, blank, node.Value);
    node.IsNull = blank;
    node.SetDataSize(desc[FieldDescTypeOffset] == StringFieldType
                         ? int32_t(strnlen(reinterpret_cast<const char*>(node.Value), size_t(width))) + 1
                         : width);
  }

private:
  TDataCursor& cursor;
  const uint8_t* buffer;
};

void TDataCursor::SetFieldMap(std::vector<TFieldDefinition> fields, bool assignOffsets) {
  RequireOpen();
  const int32_t count = int32_t(fields.size());
  if (fields.size() > size_t(MaxDataFields)) Raise(EngErrFieldLimits);
  CheckFieldNameLengths(fields);
  std::vector<uint8_t> descs = FieldDescsFromDefinitions(fields);
  CheckFieldDefs(descs.data(), count, LanguageId(), SortId(), false);
  int32_t recordSize = DataFile().RecordSize();
  const int tableFields = DataFile().FieldCount();
  bool computed = false;
  const std::string origin = PlainTableName(tableName) + ".";
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* desc = descs.data() + size_t(i) * FieldDescSize;
    const bool notStored = IsNotStoredField(desc);
    if (notStored || FieldDescNumber(desc) > tableFields) {
      // Placed by the caller (a twin taking its original's map), a field
      // after the table's record still needs its room in the cursor's.
      const int32_t at = assignOffsets ? recordSize : int32_t(GetLE16(desc + FieldDescRecordOffset));
      const int32_t end = at + 1 + desc[FieldDescStoredSizeOffset];
      if (end > MaxRecordSize) Raise(EngErrRecordTooBig);
      if (assignOffsets) PutLE16(desc + FieldDescRecordOffset, uint16_t(at));
      recordSize = std::max(recordSize, end);
    }
    computed = computed || notStored;
  }
  for (int32_t i = 0; i < count; ++i) {
    TFieldDefinition checked = FieldDefinitionFromDesc(descs.data() + size_t(i) * FieldDescSize);
    checked.Origin = origin + checked.Name;
    checked.Expression = std::move(fields[size_t(i)].Expression);
    fields[size_t(i)] = std::move(checked);
  }
  SetFieldList(std::move(fields), true);
  RefreshKeyFieldDescs();
  SetCursorRecordSize(uint16_t(recordSize));
  hasComputedFields = computed;
  currentRecord.Resize(CursorRecordSize());
  LoadCurrentRecord();
}

void TDataCursor::ComputeFields(uint8_t* buffer) {
  if (!hasComputedFields || computingFields) return;
  computingFields = true;
  TScopeGuard computed([this] { computingFields = false; });
  TComputedColumns columns(*this, buffer);
  const TFormatSettings& settings = GetLocaleFormatSettings(LanguageId(), SortId());
  TExpEvalContext context;
  context.Columns = &columns;
  context.LanguageId = LanguageId();
  context.SortId = SortId();
  context.FormatSettings = &settings;
  for (int position = 1; position <= FieldListCount(); ++position) {
    const uint8_t* desc = FieldDescAt(position);
    const TExpToken* expression = FieldAt(position)->Expression.get();
    if (!IsNotStoredField(desc) || !expression) continue;
    TExpTreePtr value(EvaluateExpression(context, *expression));
    PutFieldValue(desc, buffer, true, value->IsNull ? nullptr : value->Value);
  }
}
