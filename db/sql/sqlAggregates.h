#pragma once
// Folding the rows of a group into its first row: COUNT adds, SUM adds
// (whole numbers in 64 bits, refused when the sum leaves the column's
// range), MIN and MAX keep the smaller or larger value, AVG adds values and
// their hidden count and is finished by dividing.

#include <cstdint>

class TTableCursor;
class TDataQuery;

// Accumulates record into group, both answer records; group == record for
// the group's first row, which stands as it is.
void AccumulateRow(const TDataQuery& query, TTableCursor& answer, uint8_t* group, const uint8_t* record);
void FinishAverages(const TDataQuery& query, TTableCursor& answer, uint8_t* group);
