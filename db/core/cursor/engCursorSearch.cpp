// Key searches of a cursor: exact, nearest and partial keys, key ranges
// and the window of logical positions a range covers.

#include <cstring>

#include "engCursor.h"
#include "engCursorWalk.h"
#include "engIndexFile.h"
#include "engScopeGuard.h"
#include "engTable.h"

bool TDataCursor::SearchKey(const uint8_t* key, TCrack crack) {
  RequireOpen();
  TOperationBracket bracket(*this);
  const TCursorPlace was = position.Place();
  bool found = false;
  if (!IsNaturalOrder()) {
    while (!TrySearchKey(key, found)) AfterChangeSeen();
    if (crack == TCrack::Keep && OnRecord()) KeepCrack(was);
  }
  LoadCurrentRecord();
  return found;
}

// Without a hit the cursor stands on the nearest key after the one
// searched.
bool TDataCursor::TrySearchKey(const uint8_t* key, bool& found) {
  found = false;
  if (!SeesRecords()) {
    SetEmptyPosition();
    return true;
  }
  bool edgeFound = false;
  if (range.Below(key, indexState.Comparer, indexState.KeyLength)) {
    if (!TryPlaceAtEdge(TEdge::First, edgeFound)) return false;
    if (!edgeFound) SetEmptyPosition();
    return true;
  }
  if (range.Above(key, indexState.Comparer, indexState.KeyLength)) {
    if (!TryPlaceAtEdge(TEdge::Last, edgeFound)) return false;
    if (!edgeFound) SetEmptyPosition();
    return true;
  }
  TLeafWalker walker(*this, indexNo, indexState.Comparer);
  bool hit = false;
  if (!walker.ToKey(key, indexState.KeyLength, TLeafSearchEnd::PastLower, hit)) return false;
  if (walker.IndexEmpty()) {
    SetEmptyPosition();
    return true;
  }
  const uint32_t hitPosition = walker.Logical();
  bool taken = false;
  if (!StepToAcceptable(walker, {.Forward = true, .TakeCurrent = true}, taken)) return false;
  if (taken) {
    found = hit && walker.Logical() == hitPosition;
    SetIndexPosition(walker, TCursorPlace::OnRecord, TRunCount::AtFirstStep);
    return true;
  }
  // Past the last key: a filter leaves the cursor on the last record it
  // shows; without one it stands after the last key.
  if (!StepToAcceptable(walker, {.Forward = false, .TakeCurrent = false}, taken)) return false;
  if (taken) SetIndexPosition(walker, filtering.FilteringOn() ? TCursorPlace::OnRecord : TCursorPlace::AfterLast);
  else SetEmptyPosition();
  return true;
}

bool TDataCursor::FindKey(const uint8_t* record, const TKeySearch& search, uint8_t* found) {
  RequireOpen();
  if (IsNaturalOrder()) return false;
  TOperationBracket bracket(*this);
  if (!record) return false;
  uint8_t searchKey[MaxIndexKeyLength] = {};
  BuildKey(record, searchKey);

  bool result;
  const int fieldCount = search.FieldCount;
  const bool wholeKey = fieldCount == 0 || fieldCount >= indexState.KeyFieldCount;
  if (wholeKey && indexState.Unique && (fieldCount != 0 || search.PartialLength == 0)) {
    result = SearchKey(searchKey);
  } else {
    const int compared = PartialKeyLength(fieldCount, search.PartialLength);
    if (indexState.Descending) FillKeyHigh(searchKey, compared);
    else FillKeyLow(searchKey, compared);
    SearchKey(searchKey);
    result = SeesRecords() && OnRecord() && std::memcmp(position.Key(), searchKey, size_t(compared)) == 0;
  }
  if (found && currentRecord.Held()) std::memcpy(found, currentRecord.Buffer(), CursorRecordSize());
  return result;
}

// ---- ranges ------------------------------------------------------------------

bool TDataCursor::TryCountKeys(const uint8_t* key, bool inclusive, uint32_t& count) {
  TLeafWalker walker(*this, indexNo, indexState.Comparer);
  bool hit = false;
  const TLeafSearchEnd end = inclusive ? TLeafSearchEnd::PastLower : TLeafSearchEnd::FirstNotBelow;
  if (!walker.ToKey(key, indexState.KeyLength, end, hit)) return false;
  count = walker.IndexEmpty() ? 0 : walker.Logical() - 1 + (inclusive && hit ? 1 : 0);
  return true;
}

void TDataCursor::ComputeRangeWindow() {
  if (!open) return;
  TOperationBracket bracket(*this);
  if (IsNaturalOrder() || !range.Active()) {
    range.SetWhole(int32_t(IndexFile().GetRecordCount()));
    return;
  }
  if (range.HasLow() && range.HasHigh() && CompareKeys(range.Low(), range.High(), indexState.KeyLength) > 0) {
    range.SetInverted();
    return;
  }
  if (computingWindow) return;
  computingWindow = true;
  uint32_t below = 0;
  uint32_t upTo = IndexFile().GetRecordCount();
  TScopeGuard computed([this] { computingWindow = false; });
  // A change met on the way has dropped the stale pages: count again.
  while ((range.HasLow() && !TryCountKeys(range.Low(), false, below)) ||
         (range.HasHigh() && !TryCountKeys(range.High(), true, upTo)))
    NoteRestart();
  range.SetWindow(below, upTo);
}

// One bound of a range: the given key, its tail after the fields given
// filled towards the open side.
void TDataCursor::BuildRangeBound(const uint8_t* record, int fieldCount, bool low, uint8_t* bound) {
  std::memset(bound, 0, MaxIndexKeyLength);
  BuildKey(record, bound);
  if ((fieldCount > 0 && fieldCount < indexState.KeyFieldCount) || !indexState.Unique) {
    const int compared = PartialKeyLength(fieldCount, 0);
    if (low != indexState.Descending) FillKeyLow(bound, compared);
    else FillKeyHigh(bound, compared);
  }
}

void TDataCursor::SetRange(const uint8_t* low, int lowFieldCount, const uint8_t* high, int highFieldCount) {
  RequireOpen();
  if (IsNaturalOrder()) return;
  TOperationBracket bracket(*this);
  if (low) BuildRangeBound(low, lowFieldCount, true, range.LowToBuild());
  if (high) BuildRangeBound(high, highFieldCount, false, range.HighToBuild());
  range.Set(low != nullptr, high != nullptr);
  RebuildWindowAndBitmaps();
  SearchKey(position.Key(), TCrack::Keep);
}

void TDataCursor::ResetRange() {
  RequireOpen();
  if (IsNaturalOrder()) return;
  TOperationBracket bracket(*this);
  range.Reset();
  RebuildWindowAndBitmaps();
  SearchKey(position.Key(), TCrack::Keep);
}
