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

// Nodes that evaluation lends to the values of subexpressions, kept for
// the next evaluation. A caller that evaluates one tree over many records
// (a filter's scan) keeps one in its context, so that once warm an
// evaluation neither allocates nor takes nodes from the shared pool. Used
// by one thread at a time.
class TExpScratch {
public:
  TExpScratch();
  ~TExpScratch();
  TExpScratch(const TExpScratch&) = delete;
  TExpScratch& operator=(const TExpScratch&) = delete;

  // A node whose fields are whatever its last use left.
  TExpToken* Take();
  void Give(TExpToken* node);

private:
  TOwnedList<TExpToken> nodes;
  // Nodes taken and not given back: a value must not outlive its scratch.
  int lent = 0;
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
  // Where the values of subexpressions come from; nil: the shared pool.
  TExpScratch* Scratch = nullptr;
};

// The value of an evaluated node, held as long as the handle: a constant
// of the tree itself, or a node lent by the context's scratch (else taken
// from the pool) and given back when the handle goes.
class TExpValue {
public:
  TExpValue(TExpValue&& other) noexcept;
  TExpValue& operator=(TExpValue&&) = delete;
  ~TExpValue();

  const TExpToken& operator*() const { return *value; }
  const TExpToken* operator->() const { return value; }

private:
  friend TExpValue EvaluateValue(const TExpEvalContext& context, const TExpToken& node);
  explicit TExpValue(const TExpToken& constant) : value(&constant) {}
  TExpValue(TExpToken* lent, TExpScratch* scratch) : value(lent), owned(lent), scratch(scratch) {}

  const TExpToken* value;
  TExpToken* owned = nullptr;
  TExpScratch* scratch = nullptr;
};

// The value of node for the context's record. Constants are not copied.
TExpValue EvaluateValue(const TExpEvalContext& context, const TExpToken& node);

// Whether node's value is true (NULL is not); comparisons, AND, OR, NOT,
// the null tests and the predicates take no node for their own value.
bool EvaluateCondition(const TExpEvalContext& context, const TExpToken& node);

// The value of node as a new constant node from the pool (type, subtype,
// size and scale of node, no links); the caller releases it with
// ReleaseToken.
TExpToken* EvaluateExpression(const TExpEvalContext& context, const TExpToken& node);

// The same value into a node the caller keeps, for a row loop that
// evaluates one expression per row: result takes node's value and
// description (its texts only as far as a column's callback reads them).
void EvaluateExpressionInto(const TExpEvalContext& context, const TExpToken& node, TExpToken& result);

// expression evaluated (normally without a record) and, when the result is
// not NULL, not a string and of another type than target, converted to
// target's type, subtype, size and scale. The caller releases the result.
TExpToken* EvaluateAsType(const TExpEvalContext& context, const TExpToken& target, const TExpToken& expression);

// The number, currency and date-time rules of a table's language; the sort
// order does not change them.
inline const TFormatSettings& GetLocaleFormatSettings(uint16_t languageId, uint16_t /*sortId*/) {
  return SharedFormatSettingsForLanguage(languageId);
}
