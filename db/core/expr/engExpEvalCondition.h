#pragma once
// A condition prepared for one table: its constants converted once to the
// types they are compared with, so that evaluating it per record and
// building index ranges from it need no conversion.

#include "engExpEval.h"

// The condition, converted where it stands and given back to the caller
// (FreeTokenTree). Constants are evaluated under context. "=" and "<>"
// against a string constant become string comparisons with options (kind
// 3) when caseInsensitive is set or the constant ends with "*"; without
// exactMatch that "*" makes a prefix comparison over the characters before
// it. LIKE 'text%' becomes such a prefix comparison too.
TExpToken* ConvertConditionForTable(const TExpEvalContext& context, TExpTreePtr condition, bool exactMatch,
                                    bool caseInsensitive);

// After the caller has replaced the parts that do not apply to the table by
// NULL constants: removes every "=" or "<>" against a NULL constant, and the
// AND, OR, NOT and IF nodes left without operands; an AND or OR (IF) that
// keeps one side (branch) takes that side's place. Removed parts below node
// go back to the pool; true when node itself is to be removed, which the
// caller then frees.
bool PruneCondition(TExpToken* node);
