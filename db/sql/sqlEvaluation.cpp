#include "sqlEvaluation.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "engBlobBuffer.h"
#include "engTableCursor.h"
#include "engDirectory.h"
#include "engErrors.h"
#include "engExpEvalConvert.h"
#include "engFieldText.h"
#include "engSession.h"
#include "osLocale.h"
#include "rtlAssert.h"
#include "sqlColumns.h"
#include "sqlQuery.h"
#include "sqlStatement.h"

uint16_t EvaluationLanguage(const TDataQuery& query) {
  if (!query.Run.Tables.empty() && query.Run.Tables.front()->Cursor)
    return query.Run.Tables.front()->Cursor->Fields().LanguageId();
  return 0;
}

bool SameCodePage(uint16_t a, uint16_t b) { return a == b || CodePageOfLanguage(a) == CodePageOfLanguage(b); }

void ConvertTextConstants(TExpToken* node, uint16_t languageId) { ConvertTextConstants(node, 0, languageId); }

void ConvertTextConstants(TExpToken* node, uint16_t from, uint16_t to) {
  if (SameCodePage(from, to)) return;
  for (; node; node = node->Next) {
    if (node->Kind == nkConstant) ConvertTextValue(*node, from, to);
    ConvertTextConstants(node->First, from, to);
    ConvertTextConstants(node->Second, from, to);
    ConvertTextConstants(node->Third, from, to);
  }
}

void ConvertTextValue(TExpToken& value, uint16_t from, uint16_t to) {
  const bool text = value.DataType == dtString || (value.DataType == dtBlob && value.SubType == stMemo);
  if (!text || value.IsNull || SameCodePage(from, to)) return;
  const std::string_view stored = value.DataType == dtString
                                      ? std::string_view(value.AsText())
                                      : std::string_view(reinterpret_cast<const char*>(value.Value),
                                                         size_t(value.DataSize));
  const std::string utf8 = from == 0 ? std::string(stored) : FieldTextToUtf8(from, stored);
  const std::string converted = to == 0 ? utf8 : FieldTextFromUtf8(to, utf8);
  if (value.DataType == dtString) {
    value.SetText(converted);
    return;
  }
  // A BLOB value keeps a terminating zero after its bytes.
  value.SetDataSize(int32_t(converted.size()) + 1);
  std::memcpy(value.Value, converted.data(), converted.size());
  value.Value[converted.size()] = 0;
  value.DataSize = int32_t(converted.size());
}

const TFormatSettings& SourceFormatSettings(const TDataQuery& query) {
  if (!query.Run.Tables.empty() && query.Run.Tables.front()->Cursor) {
    const TTableCursor& cursor = *query.Run.Tables.front()->Cursor;
    return GetLocaleFormatSettings(cursor.Fields().LanguageId(), cursor.Fields().SortId());
  }
  const TDataSession* session = query.StatementDirectory()->Session();
  return GetLocaleFormatSettings(session->LanguageID, session->SortID);
}

TExpEvalContext SourceEvalContext(TDataQuery& query, TExpColumnValues* columns) {
  TExpEvalContext context;
  context.Columns = columns;
  if (!query.Run.Tables.empty() && query.Run.Tables.front()->Cursor) {
    context.LanguageId = query.Run.Tables.front()->Cursor->Fields().LanguageId();
    context.SortId = query.Run.Tables.front()->Cursor->Fields().SortId();
  }
  // Looked up once per language: rows evaluate under the same settings.
  if (!query.Run.HasEvalSettings || query.Run.EvalLanguage != context.LanguageId) {
    query.Run.EvalSettings = &GetLocaleFormatSettings(context.LanguageId, context.SortId);
    query.Run.EvalLanguage = context.LanguageId;
    query.Run.HasEvalSettings = true;
  }
  context.FormatSettings = query.Run.EvalSettings;
  return context;
}

void TRecordColumnValues::GetColumnValue(TExpToken& node) {
  ReadFieldValue(cursor, record, cursor.Fields().FieldDefinition(node.FieldNo), node);
}

namespace {

// The engine's conversion keeps a whole number's low bits; a column keeps
// only a value it can hold, so a number out of its range is refused rather
// than stored as another.
bool FitsWholeColumn(const TExpToken& value, uint8_t type, const TFormatSettings& settings, uint16_t languageId) {
  if (type != dtSmallInt && type != dtInteger && type != dtWord) return true;
  if (value.DataType == type) return true;
  double number = 0;
  if (!ConvertFieldValue(value.DataType, {value.Value, size_t(value.DataSize)}, dtFloat,
                         {reinterpret_cast<uint8_t*>(&number), sizeof number}, 0, settings, languageId))
    return true;  // the conversion itself refuses it
  const double least = type == dtInteger ? INT32_MIN : type == dtWord ? 0 : INT16_MIN;
  const double most = type == dtInteger ? INT32_MAX : type == dtWord ? UINT16_MAX : INT16_MAX;
  return number > least - 0.5 && number < most + 0.5;
}

}  // namespace

int32_t BlobValueSize(const TExpToken& value) {
  return value.DataType == dtString ? int32_t(std::strlen(value.AsText())) : value.DataSize;
}

bool StoreFieldValue(TTableCursor& cursor, uint8_t* record, int fieldNo, const TExpToken& value,
                     const TFormatSettings& settings) {
  const TFieldDefinition& field = cursor.Fields().FieldDefinition(fieldNo);
  if (value.IsNull) {
    cursor.Fields().WriteBlank(fieldNo, record);
    return true;
  }
  const uint8_t type = field.Type;
  if (field.IsBlob()) {
    auto check = [&cursor](int32_t result) {
      if (result != 0) RaiseEngineError(uint16_t(result), cursor.TableName());
    };
    const int32_t size = BlobValueSize(value);
    check(cursor.Blobs().OpenBlob(fieldNo, record, {.Release = true}));
    check(cursor.Blobs().TruncateBlob(fieldNo, record, TFieldNumbering::Cursor, 0));
    if (size > 0)
      check(cursor.Blobs().WriteBlob(fieldNo, record, TFieldNumbering::Cursor, {value.Value, size_t(size)}, 0));
    return true;
  }
  const int width = field.ValueWidth();
  // A stored value never exceeds 255 bytes.
  uint8_t converted[256 + 8] = {};
  ORV_ASSERT(width >= 0 && size_t(width) < sizeof converted);
  const uint8_t scale = type == dtBcd ? field.StoredScale : 0;
  if (!FitsWholeColumn(value, type, settings, cursor.Fields().LanguageId())) return false;
  const bool same = value.DataType == type && (type != dtBcd || value.Scale == scale) && type != dtString;
  if (same) {
    std::memcpy(converted, value.Value, size_t(width));
  } else if (!ConvertFieldValue(value.DataType, {value.Value, size_t(value.DataSize)}, type, {converted, size_t(width)},
                                scale, settings, cursor.Fields().LanguageId())) {
    return false;
  }
  cursor.Fields().WriteField(fieldNo, record, converted);
  return true;
}
