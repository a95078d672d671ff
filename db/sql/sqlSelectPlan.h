#pragma once
// How a SELECT is answered, decided once at preparation from its parsed
// text and its source tables' definitions (read through the tables the
// run opened; nothing is installed on them): the result columns resolved,
// typed and named; live or canned; a live result's index; grouping,
// DISTINCT and aggregates alone; the sorts, and whether the grouping or
// distinct sort already gives the order; HAVING checked against the
// result. The join plan is decided per execution (sqlPlanner.h), by the
// rows the tables' filters leave.

#include "sqlQuery.h"

// The query's nesting links (Outer, Correlated, OuterReferences), which
// the statement settled, are carried over into the plan.
TQueryPlan PlanSelect(const TDataQuery& query);
