#pragma once
// The change counters of a table's data, index and BLOB files as a cursor
// last saw them: a cursor that finds them moved knows that another cursor
// or process changed the table since, and finds its place again.

#include <cstdint>

class TDataTable;

// Invariant: it is compared only with the table it was taken of (none
// between a close and the next open).
class TChangeSnapshot {
public:
  void Take(TDataTable& table);
  void Clear();
  bool Differs(TDataTable& table) const;

private:
  const TDataTable* takenOf = nullptr;
  uint32_t dataChanges = 0;
  uint32_t indexChanges = 0;
  uint32_t blobChanges = 0;
};
