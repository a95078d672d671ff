// The cursor's filters as a list, and whether filtering is on.

#include "engCursorFilterSet.h"

#include "rtlAssert.h"
#include "engCursor.h"
#include "engErrorCodes.h"
#include "engExpCodes.h"
#include "engExpParser.h"

TCursorFilterSet::TCursorFilterSet(TDataCursor& cursor)
    : cursor(cursor), parser(std::make_unique<TExpressionParser>(nullptr)) {}

TCursorFilterSet::~TCursorFilterSet() = default;

int32_t TCursorFilterSet::IndexOf(const TFilter* filter) const {
  const int32_t index = filters.IndexOf(filter);
  if (index < 0) cursor.Raise(EngErrFilterHandle);
  return index;
}

TFilter* TCursorFilterSet::Insert(std::unique_ptr<TFilter> filter) {
  int32_t position = filters.Count();
  if (!filter->Dependent) {
    for (int32_t i = 0; i < filters.Count(); ++i)
      if (FilterAt(i)->Dependent) {
        position = i;
        break;
      }
  }
  return filters.Insert(position, std::move(filter));
}

void TCursorFilterSet::Reset() {
  filters.Clear();
  on = false;
  buildPending = edgePending = false;
  visibleCount = 0;
  visible->ClearAll();
  inRange->ClearAll();
  inUse->ClearAll();
}

void TCursorFilterSet::ReassessLevels() {
  for (int32_t i = 0; i < filters.Count(); ++i) {
    TFilter& filter = *FilterAt(i);
    if (!filter.IsCallback) filter.OptimizeLevel = cursor.CanOptimizeCondition(opAnd, filter.Condition, false);
  }
}

void TCursorFilterSet::UpdateState() {
  on = cursor.IsNaturalOrder();
  for (int32_t i = 0; i < filters.Count() && !on; ++i) on = FilterAt(i)->Active;
}

bool TCursorFilterSet::IsVisible(uint32_t record) const {
  ORV_ASSERT(!buildPending);
  return record >= 1 && record <= uint32_t(visible->RecordCount()) && visible->IsSet(int32_t(record));
}

const TRecordsBitmap& TCursorFilterSet::Visible() const {
  EnsureBuilt();
  return *visible;
}

bool TCursorFilterSet::SeesAny() const {
  if (on) return visibleCount > 0;
  return !cursor.range.WindowEmpty();
}

// This set is the cursor's own (cursor.filtering), so building through
// the cursor builds this one; a const reader of the cursor may need the
// bitmaps of a count that left them for later.
void TCursorFilterSet::EnsureBuilt() const {
  if (!buildPending) return;
  TCursorFilterSet& self = cursor.filtering;
  ORV_ASSERT(&self == this);
  TOperationBracket bracket(cursor);
  // The bracket may have met another user's change and rebuilt already.
  if (buildPending) self.Rebuild();
}

void TCursorFilterSet::DeferEdge(bool atEnd) {
  ORV_ASSERT(!cursor.IsNaturalOrder());
  edgePending = true;
  edgeIndexNo = cursor.indexNo;
  cursor.position.ToCrackUnplaced(atEnd ? TCursorPlace::AfterLast : TCursorPlace::BeforeFirst);
  cursor.movingForward = !atEnd;
  cursor.readAhead.DropPosition();
}

// What the cursor's SetToBegin (SetToEnd) would have found when the edge
// was deferred, found now: the walk to the first visible key is the cost
// a count that never moves the cursor does not pay.
void TCursorFilterSet::SettleEdge() const {
  if (!edgePending) return;
  edgePending = false;
  // The cursor changed its order, and finds its place in the new one.
  if (cursor.indexNo != edgeIndexNo) return;
  const bool atEnd = cursor.position.AtEnd();
  TOperationBracket bracket(cursor);
  if (!cursor.SeesRecords()) {
    cursor.SetEmptyPosition();
    return;
  }
  bool found = false;
  const TDataCursor::TEdge edge = atEnd ? TDataCursor::TEdge::Last : TDataCursor::TEdge::First;
  while (!cursor.TryPlaceAtEdge(edge, found)) cursor.AfterChangeSeen();
  if (!found) cursor.SetEmptyPosition();
  else cursor.position.ToCrack(atEnd ? TCursorPlace::AfterLast : TCursorPlace::BeforeFirst);
}
