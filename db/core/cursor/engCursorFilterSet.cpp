// The cursor's filters as a list, and whether filtering is on.

#include "engCursorFilterSet.h"

#include "engCursor.h"
#include "engErrorCodes.h"
#include "engExpCodes.h"

int32_t TCursorFilterSet::IndexOf(const TFilter* filter) const {
  const int32_t index = filters.IndexOf(filter);
  if (index < 0) cursor.Raise(EngErrFilterHandle);
  return index;
}

TFilter* TCursorFilterSet::Insert(std::unique_ptr<TFilter> filter) {
  int32_t position = filters.Count();
  if (!filter->Dependent) {
    for (int32_t i = 0; i < filters.Count(); ++i)
      if (At(i)->Dependent) {
        position = i;
        break;
      }
  }
  return filters.Insert(position, std::move(filter));
}

void TCursorFilterSet::Reset() {
  filters.Clear();
  on = false;
  visibleCount = 0;
  visible->ClearAll();
  inRange->ClearAll();
  inUse->ClearAll();
}

void TCursorFilterSet::ReassessLevels() {
  for (int32_t i = 0; i < filters.Count(); ++i) {
    TFilter& filter = *At(i);
    if (!filter.IsCallback) filter.OptimizeLevel = cursor.CanOptimizeCondition(opAnd, filter.Condition, false);
  }
}

void TCursorFilterSet::UpdateState() {
  on = cursor.IsNaturalOrder();
  for (int32_t i = 0; i < filters.Count() && !on; ++i) on = At(i)->Active;
}

bool TCursorFilterSet::IsVisible(uint32_t record) const {
  return record >= 1 && record <= uint32_t(visible->RecordCount()) && visible->IsSet(int32_t(record));
}
