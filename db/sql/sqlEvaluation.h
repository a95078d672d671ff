#pragma once
// Evaluation settings of a query and the moves of values between
// expression nodes and record fields.

#include <cstdint>
#include <string>

#include "engExpEval.h"

class TDataCursor;
class TDataQuery;

// The number and date rules clause texts are read by: the first source
// table's language (language 0: yyyy-mm-dd and hh:nn:ss).
TFormatSettings SourceFormatSettings(const TDataQuery& query);
// Text comparisons by the first source table's language and sort; the
// settings live in the query.
TExpEvalContext SourceEvalContext(TDataQuery& query, TExpColumnValues* columns);

// Reads the fields of one record of a cursor by the cursor's numbering.
class TRecordColumnValues final : public TExpColumnValues {
public:
  TRecordColumnValues(TDataCursor& cursor, const uint8_t* record) : cursor(cursor), record(record) {}
  void GetColumnValue(TExpToken& node) override;

private:
  TDataCursor& cursor;
  const uint8_t* record;
};

// The cursor's descriptor of the field: its own when it can be handed out,
// else copied into copy (FieldDescSize bytes).
const uint8_t* CursorFieldDesc(TDataCursor& cursor, int fieldNo, uint8_t* copy);

// Stores the value into the field (cursor numbering): NULL blanks it, a
// BLOB field takes the bytes in a new BLOB, another type is converted;
// false when the value does not convert.
bool StoreFieldValue(TDataCursor& cursor, uint8_t* record, int fieldNo, const TExpToken& value,
                     const TFormatSettings& settings);
