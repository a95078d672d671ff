// Whether the indexes agree with the data: a writer stopped amid an
// append or a delete can leave some indexes with a key the others lack,
// or a key for a record the data file never got.

#include "engCheckedTables.h"
#include "engDataFile.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engKeyCompare.h"
#include "engTable.h"
#include "engTableStamp.h"

// Every keyed index holds one key per record in use, the deleted-records
// index one per record slot, and each key names a slot the data holds. A
// tree too damaged to walk disagrees too. Files that a full check found
// sound and that nobody wrote since need no count.
bool TDataTable::IndexesMatchData() {
  TTableStamp stamp;
  if (TakeTableStamp(*this, stamp) && CheckedStateHolds(stamp)) return true;
  const uint32_t slots = dataFile.PhysicalRecordCount();
  const uint32_t inUse = CountRecordsInUse();
  if (indexFile.GetRecordCount() != inUse) return false;
  auto holds = [&](uint8_t n, uint32_t expected) {
    const uint32_t root = indexFile.GetRootOffset(n);
    uint32_t count = 0;
    uint32_t pagesLeft = indexFile.GetEndOffset() / IndexPageSize;
    if (root != 0 && !CountTreeKeys(n, root, slots, 0, pagesLeft, count)) return false;
    return count == expected;
  };
  try {
    for (int n = 0; n <= indexFile.GetSecondaryCount(); ++n)
      if ((n != 0 || HasPrimaryIndex()) && !holds(uint8_t(n), inUse)) return false;
    return holds(DeletedIndexNo, slots);
  } catch (const Exception&) {
    return false;
  }
}

uint32_t TDataTable::CountRecordsInUse() {
  uint32_t count = 0;
  for (uint32_t slot = 1; slot <= dataFile.PhysicalRecordCount(); ++slot) {
    TRecord* record = nullptr;
    dataFile.GetRecord(nullptr, slot, {.ReadAhead = true}, record);
    if (!record->IsDeleted()) ++count;
    dataFile.ReleaseRecord(record);
  }
  return count;
}

// Adds the leaf entries under the page at offset to count; false when an
// entry names no record slot of the data, the tree runs too deep, or it
// visits more pages than the file holds (entries naming one page twice
// would otherwise multiply the visits level by level).
bool TDataTable::CountTreeKeys(uint8_t n, uint32_t offset, uint32_t slots, int depth, uint32_t& pagesLeft,
                               uint32_t& count) {
  if (depth > MaxTreeDepth || pagesLeft == 0) return false;
  --pagesLeft;
  TPageRef page(&indexFile, indexFile.GetTreePage(n, offset));
  for (int entry = 1; entry <= page->Count; ++entry) {
    const uint32_t pointer = page->PointerAt(entry);
    if (page->IsLeaf()) {
      if (pointer == 0 || pointer > slots) return false;
      ++count;
    } else if (!CountTreeKeys(n, pointer, slots, depth + 1, pagesLeft, count)) {
      return false;
    }
  }
  return true;
}
