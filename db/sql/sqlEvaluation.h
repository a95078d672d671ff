#pragma once
// Evaluation settings of a query and the moves of values between
// expression nodes and record fields.

#include <cstdint>
#include <string>

#include "engExpEval.h"

class TTableCursor;
class TDataQuery;

// Texts: statement constants and parameter values are UTF-8; a table's
// fields are in its language's code page (language 0: UTF-8). A query
// evaluates in the code page of its first source table: its trees' text
// constants are converted to it once, and fields of tables in another
// code page are converted when they are read.
uint16_t EvaluationLanguage(const TDataQuery& query);
// The tree's text constants, UTF-8, in the language's code page.
void ConvertTextConstants(TExpToken* tree, uint16_t languageId);
// The tree's text constants from one language's code page to another's.
void ConvertTextConstants(TExpToken* tree, uint16_t from, uint16_t to);
// Whether texts of the two languages are stored alike.
bool SameCodePage(uint16_t a, uint16_t b);
// A text value (string or text BLOB) moved between code pages.
void ConvertTextValue(TExpToken& value, uint16_t from, uint16_t to);

// The number and date rules clause texts are read by: the first source
// table's language (language 0: yyyy-mm-dd and hh:nn:ss).
const TFormatSettings& SourceFormatSettings(const TDataQuery& query);
// Text comparisons by the first source table's language and sort; the
// settings live in the query.
TExpEvalContext SourceEvalContext(TDataQuery& query, TExpColumnValues* columns);

// Reads the fields of one record of a cursor by the cursor's numbering.
class TRecordColumnValues final : public TExpColumnValues {
public:
  TRecordColumnValues(TTableCursor& cursor, const uint8_t* record) : cursor(cursor), record(record) {}
  void GetColumnValue(TExpToken& node) override;

private:
  TTableCursor& cursor;
  const uint8_t* record;
};

// The bytes a BLOB field takes from the value (not NULL): a text's up to
// its end, other values' whole.
int32_t BlobValueSize(const TExpToken& value);
// Stores the value into the field (cursor numbering): NULL blanks it, a
// BLOB field takes the bytes in a new BLOB, another type is converted;
// false when the value does not convert.
bool StoreFieldValue(TTableCursor& cursor, uint8_t* record, int fieldNo, const TExpToken& value,
                     const TFormatSettings& settings);
