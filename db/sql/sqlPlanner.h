#pragma once
// The planner: for one execution it splits the WHERE and ON conditions into
// single-table conditions (each table's cursor filter, so that indexes
// serve them), join conditions (a tree of joins rooted at the driving
// table, each inner table restricted per outer row by a bound filter) and
// the row-by-row remainders; then it walks the joined rows as nested loops.

#include <functional>

#include "sqlQuery.h"

// Drops what an earlier plan installed, then plans the query's conditions:
// the tables' own conditions become their cursors' filters, the rest is
// the plan the caller keeps (TDataQuery::Plan.Joins) for the row loops.
TJoinPlan PlanConditions(TDataQuery& query);
// Drops the filters a plan installed on the source tables.
void ClearPlan(TDataQuery& query);
// Calls row for each joined row; row returns false to stop. The tables'
// current rows are in their Record buffers (HasRow false: blank).
void ForEachJoinedRow(TDataQuery& query, const std::function<bool()>& row);
// The row-by-row remainders for the current joined row.
bool RowPasses(TDataQuery& query);
