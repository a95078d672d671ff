#pragma once
// Sub-selects that read the row of a query around them: a column of a
// nested query's WHERE or ON condition that none of its own tables has
// names the table of an enclosing query (the nearest that has it). Such a
// query is correlated: the statement does not run it ahead, it runs when
// its answer is first asked for and again whenever the enclosing values it
// reads have changed, with those values in place of the references.

#include <cstdint>
#include <string>

class TDataQuery;
class TExpToken;
class TQueryStatement;
struct TSourceTable;

// Links every nested query to the query whose clause holds it, then marks
// the correlated ones (and every query between one and the query whose
// table it reads). Runs once the statement's tables are open.
void LinkNestedQueries(TQueryStatement& statement);

// The query's own table of the qualifier or column, else the nearest
// enclosing query's; nil when none has it.
TSourceTable* FindVisibleSourceTable(const TDataQuery& query, const std::string& qualifier,
                                     const std::string& column, uint16_t& fieldNo);

// Every reference in tree to an enclosing query's table becomes a constant
// holding its current value (in the query's evaluation code page).
void BindOuterColumns(const TDataQuery& query, TExpToken* tree);

// Runs a correlated query when it has not run for this execution of the
// statement or the enclosing values it reads (its own references and those
// of its sub-selects beyond it) have changed.
void RefreshCorrelated(TDataQuery& query);
