#pragma once
// Type checking of a parsed expression, once before it is evaluated: column
// names are resolved through the caller's resolver, date and time texts
// written as strings become values, mismatches are refused with their
// messages, and every node gets its result type, subtype, size and scale.

#include <cstdint>
#include <string>

#include "engExpToken.h"
#include "rtlFormatSettings.h"

// Looks columns up for the checker: a cursor's table, or the SQL engine's
// source tables.
class TExpColumnResolver {
public:
  // True when node.Name (qualified by node.CorrelationName when that is not
  // empty) is a column, after filling the node's FieldNo, CorrelationName,
  // DataType, SubType, size (SetDataSize) and Scale. False otherwise, with
  // the node left alone.
  virtual bool ResolveColumn(TExpToken& node) = 0;

protected:
  ~TExpColumnResolver() = default;
};

struct TExpCheckContext {
  uint16_t ErrorCode = 0;
  std::string TableName;
  std::string ContextName;
  TExpColumnResolver* Resolver = nullptr;  // nil: no name is a column
  // The table's language's, kept for the process: date and time texts are
  // read by them.
  const TFormatSettings* FormatSettings = &NeutralFormatSettings();
};

// Checks and types the tree under node in place; raises on the first error.
// booleanContext: the node is a condition, so that a boolean column, CAST or
// IF standing alone becomes a comparison with TRUE.
void TypeCheckExpression(const TExpCheckContext& context, bool booleanContext, TExpToken* parent,
                         TExpToken* node);

// Checks the arguments of a data type (CAST, SQL column definitions) and
// sets the node's size and scale.
void CheckCastArguments(const TExpCheckContext& context, TExpToken* typeNode);
