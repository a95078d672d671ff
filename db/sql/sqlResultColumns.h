#pragma once
// The result columns of a SELECT: "*" expanded, references resolved,
// expressions typed, names given, and the answer table laid out.

#include <cstdint>
#include <string>
#include <vector>

#include "engFieldDefinition.h"

class TTableCursor;
class TDataQuery;
struct TResultField;
struct TQueryPlan;

// The plan's result columns from the query's select list, checked against
// its source tables.
void ResolveResultColumns(const TDataQuery& query, TQueryPlan& plan);
// Column names: alias or generated, cut to 30, made unique with "_n".
void NameResultColumns(TQueryPlan& plan);
// The answer table's fields: the result columns, then one hidden count per
// AVG column.
std::vector<TFieldDefinition> AnswerFields(const TDataQuery& query);
// Whether the answer may live in memory: a temporary, unencrypted one.
bool KeepsTemporaryAnswer(const TDataQuery& query);
// The answer table created (empty, no index) and opened exclusively; in
// the in-memory database when inMemory (only KeepsTemporaryAnswer).
void CreateAnswerTable(TDataQuery& query, bool inMemory);
// The answer closed (a temporary one goes) and its directory let go.
void DropAnswerTable(TDataQuery& query);
// An answer in memory, its fill ended, made again in the private folder
// with the same records in the same order, BLOBs copied; the memory one
// goes. A failure leaves no answer and no files.
void MoveAnswerToDisk(TDataQuery& query);
// The result column's field type in a table.
uint8_t ResultFieldType(const TResultField& column);
