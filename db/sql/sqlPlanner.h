#pragma once
// The planner: for one execution it splits the WHERE and ON conditions into
// single-table conditions (each table's cursor filter, so that indexes
// serve them), join conditions (a tree of joins rooted at the driving
// table, each inner table restricted per outer row by a bound filter) and
// the row-by-row remainders; then it walks the joined rows as nested loops.
//
// Deciding and doing are apart: TConditionPlanner reads the query and the
// tables' definitions and produces values (the tables' filters, then the
// join plan); only PlanConditions and the row walk touch the cursors, and
// what they put there is recorded in the query's run (TJoinRun).

#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "sqlQuery.h"

// The rows of each source table under its own filter, by the table's
// position in the FROM list (TParsedSources::Tables).
using TTableRows = std::vector<int32_t>;

class TConditionPlanner {
public:
  // Checks and splits the conditions; the tables' filters are decided.
  explicit TConditionPlanner(const TDataQuery& query);
  ~TConditionPlanner();
  TConditionPlanner(const TConditionPlanner&) = delete;
  TConditionPlanner& operator=(const TConditionPlanner&) = delete;

  // One filter per table that has conditions of its own, in the order of
  // the FROM list.
  std::vector<TTableFilterPlan> TakeTableFilters();
  // Whether the choice of the driving table weighs the tables' rows.
  bool WeighsRows() const;
  // The join plan; rows are each table's under its filter (empty when
  // WeighsRows is false).
  TJoinPlan DecideJoins(const TTableRows& rows);

  // Whether the driving table may be read in the order of the plan's
  // OrderIndex instead of sorted afterwards (filters: TakeTableFilters').
  // Not with a row limit (it takes the first rows of natural order) or a
  // progress handler (a fall-back would count the rows twice), nor when
  // another index serves a condition of the filter (its rows sort cheaper
  // than the order index is walked).
  bool MayWalkOrder(const std::vector<TTableFilterPlan>& filters) const;
  // Whether the walk pays: rows is the table's under its filter, allRows
  // its records (a filter tested in the row loop counts nothing: the walk
  // judges it by its first records).
  bool WalkPays(int32_t rows, int32_t allRows) const;

  // What the planner keeps between its two decisions.
  struct TSplit;

private:
  const TDataQuery& query;
  std::unique_ptr<TSplit> split;
};

// How PlanConditions installs the tables' filters.
struct TConditionInstall {
  // The filter of a query's one table that no index serves (no part of it)
  // is left off its cursor and tested as the row loop reads each record
  // (TJoinRun::RowTest), instead of a scan that reads every record ahead
  // of the loop. Only for a caller that neither counts the filtered rows
  // before the loop nor shows the cursor, and that reads it without a
  // progress handler (which counts the cursor's moves).
  bool TestUnservedInRowLoop = false;
  // With TestUnservedInRowLoop, a filter an index serves in part likewise
  // leaves the conditions no index serves to the row loop, when the
  // records the served ones let through are at most this many; else its
  // scan tests them and counts the rows.
  int64_t MostRowsServedInPart = -1;
};

// Drops what the run installed for an earlier plan, plans the query's
// conditions and installs the tables' filters: Plan.Joins holds the plan,
// Run.Joins what went onto the cursors.
void PlanConditions(TDataQuery& query, const TConditionInstall& install = {});
// Drops the filters the run installed on the source tables and the plan
// they came from.
void ClearPlan(TDataQuery& query);
// Calls row for each joined row; row returns false to stop. The tables'
// current rows are in their Record buffers (HasRow false: blank).
void ForEachJoinedRow(TDataQuery& query, const std::function<bool()>& row);
// The same for the one table of a plan that walks its order index
// (TJoinPlan::WalkOrder): the rows in that index's order. False when two rows
// of equal ORDER BY values came in another order than a natural-order
// fill sorted gives them, or when the row test lets through too few of
// the walk's first records: the table is back in natural order, and the
// caller discards what row took and fills again.
bool ForEachRowInIndexOrder(TDataQuery& query, const std::function<bool()>& row);
// The row-by-row remainders for the current joined row.
bool RowPasses(TDataQuery& query);
