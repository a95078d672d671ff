#pragma once
// The change counters of a table's data, index and BLOB files as a cursor
// last saw them: a cursor that finds them moved knows that another cursor
// or process changed the table since, and finds its place again.

#include "engChangeCounts.h"

class TDataTable;

// Invariant: it is compared only with the table it was taken of (none
// between a close and the next open).
class TChangeSnapshot {
public:
  void Take(TDataTable& table);
  void Clear();
  // A snapshot the process's last commit left behind is taken over the
  // commit (TDataTable::CarryOverCommit) and does not differ.
  bool Differs(TDataTable& table);

private:
  const TDataTable* takenOf = nullptr;
  TChangeCounts counts;
};
