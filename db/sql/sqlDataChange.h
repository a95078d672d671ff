#pragma once
// INSERT, UPDATE and DELETE: one table changed through its cursor inside a
// transaction of its directory, written every commit interval.

#include <cstdint>

class TDataQuery;

void PrepareDataChange(TDataQuery& query);
void ExecuteInsert(TDataQuery& query);
void ExecuteUpdateOrDelete(TDataQuery& query);

// Changed records between two writes when COMMIT INTERVAL is not given:
// about 256 KB of records, at most 8191.
int32_t DefaultCommitInterval(int32_t recordSize);
