// The record bitmaps that navigation walks while filtering is on, as it
// always is in natural order: the records in use, found on the
// deleted-records index, and the visible records made of them.

#include <algorithm>
#include <cstring>

#include "engCursor.h"
#include "engCursorWalk.h"
#include "engDataFile.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engRecordsBitmap.h"
#include "engTable.h"

void TDataCursor::UpdateFilterState() {
  // Active filters join natural order here once a cursor has them.
  filterActive = IsNaturalOrder();
}

void TDataCursor::RebuildWindowAndBitmaps() {
  TOperationBracket bracket(*this);
  ComputeRangeWindow();
  RebuildBitmaps();
}

void TDataCursor::RebuildBitmaps() {
  if (!filterActive) {
    visible->ClearAll();
    inRange->ClearAll();
    inUse->ClearAll();
    visibleCount = 0;
    return;
  }
  if (buildingBitmaps) return;
  buildingBitmaps = true;
  try {
    for (;;) {
      const int32_t slots = int32_t(DataFile().PhysicalRecordCount());
      visible->SetRecordCount(slots);
      inRange->SetRecordCount(slots);
      inUse->SetRecordCount(slots);
      inRange->ClearAll();
      inUse->ClearAll();
      // The range bitmap belongs to filtering in index order, where ranges
      // live; natural order has no range.
      if (slots == 0 || TryBuildInUse()) break;
      NoteRestart();
    }
  } catch (...) {
    buildingBitmaps = false;
    throw;
  }
  buildingBitmaps = false;
  CombineVisible();
}

// The deleted records are the keys of status 1 on "Sys Deleted"; every
// other record slot is in use.
bool TDataCursor::TryBuildInUse() {
  TKeyComparer deletedOrder;
  deletedOrder.IndexNo = DeletedIndexNo;
  uint8_t firstDeleted[MaxIndexKeyLength] = {1};
  TLeafWalker walker(*this, DeletedIndexNo, deletedOrder);
  bool hit = false;
  if (!walker.ToKey(firstDeleted, 5, TLeafSearchEnd::FirstNotBelow, hit)) return false;
  for (; walker.OnEntry() && walker.Key()[0] == 1; ) {
    const uint32_t record = walker.Record();
    if (record < 1 || record > uint32_t(inUse->RecordCount())) Raise(CurErrPageCorrupt);
    inUse->SetBit(int32_t(record));
    if (!walker.Next()) return false;
  }
  inUse->Invert();
  return true;
}

void TDataCursor::CombineVisible() {
  if (rangeActive) {
    visible->Assign(*inRange);
    visible->AndWith(*inUse);
  } else {
    visible->Assign(*inUse);
  }
  visibleCount = visible->CountSet();
}

// A read ahead through an index takes the records that follow in the
// leaf without a gap; in natural order, the visible records that follow.
int32_t TDataCursor::ReadAheadLimit(uint32_t record, bool forward, int32_t limit) {
  if (!open || limit <= 1) return limit;
  if (!IsNaturalOrder()) {
    if (record != recordNumber) return 1;
    return std::max(1, std::min(limit, forward ? runForward : runBackward));
  }
  int32_t run = 0;
  int64_t next = record;
  while (run < limit && next >= 1 && next <= visible->RecordCount() && visible->IsSet(int32_t(next))) {
    ++run;
    next += forward ? 1 : -1;
  }
  return std::max(run, 1);
}
