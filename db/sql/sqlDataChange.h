#pragma once
// INSERT, UPDATE and DELETE: one table changed through its cursor inside a
// transaction of its directory, written every commit interval.

#include <cstdint>

class TDataQuery;
struct TDataChangePlan;

// The fields the change writes, from its parsed columns and the table the
// run opened for it; raises the statement's error for a column the table
// lacks or a count of values that differs from the columns'.
TDataChangePlan PlanDataChange(const TDataQuery& query);
// Opens the table, installs the plan and checks the values that need no
// parameters.
void PrepareDataChange(TDataQuery& query);
void ExecuteInsert(TDataQuery& query);
void ExecuteUpdateOrDelete(TDataQuery& query);

// Changed records between two writes when COMMIT INTERVAL is not given:
// about 256 KB of records, at most 8191.
int32_t DefaultCommitInterval(int32_t recordSize);
