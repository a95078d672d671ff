#pragma once
// Evaluation of checked expression trees for the current record: filters
// evaluate their condition per candidate record, the SQL engine its select
// lists, clauses and updates, table definitions their defaults.
//
// NULL is two-valued: "=" and "<>" treat two NULLs as equal, ordering
// comparisons see a NULL as its zero value, arithmetic with a NULL gives
// NULL. Whole-number results that do not fit their type, and floats that
// must become whole numbers but lie outside 64 bits, raise EConvertError.

#include <cstdint>

#include "engExpToken.h"
#include "rtlFormatSettings.h"

// Hands out column values while an expression is evaluated: the cursor's
// current record, or the SQL engine's current source rows.
class TExpColumnValues {
public:
  // node is a copy of the column reference (Name, CorrelationName, FieldNo,
  // SourceTable, type, size and scale as the checker left them). Fills its
  // value in the field encoding and its IsNull flag; a longer value (a memo
  // read whole) grows the buffer with SetDataSize. Texts end with a zero.
  virtual void GetColumnValue(TExpToken& node) = 0;

protected:
  ~TExpColumnValues() = default;
};

// What evaluation passes down the tree unchanged.
struct TExpEvalContext {
  TExpColumnValues* Columns = nullptr;  // nil: column nodes keep their own value
  // The table's locale: every text comparison, LIKE and case mapping.
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  // Text conversions of CAST; the caller's choice (the session's or the
  // table's language).
  const TFormatSettings* FormatSettings = &NeutralFormatSettings();
};

// The value of node as a new constant node from the pool (type, subtype,
// size and scale of node, no links); the caller releases it with
// ReleaseToken.
TExpToken* EvaluateExpression(const TExpEvalContext& context, const TExpToken& node);

// expression evaluated (normally without a record) and, when the result is
// not NULL, not a string and of another type than target, converted to
// target's type, subtype, size and scale. The caller releases the result.
TExpToken* EvaluateAsType(const TExpEvalContext& context, const TExpToken& target, const TExpToken& expression);

// The number, currency and date-time rules of a table's language; the sort
// order does not change them.
inline TFormatSettings GetLocaleFormatSettings(uint16_t languageId, uint16_t /*sortId*/) {
  return FormatSettingsForLanguage(languageId);
}
