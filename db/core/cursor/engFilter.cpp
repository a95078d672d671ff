#include "engFilter.h"

#include "engCursor.h"
#include "engCursorFilterSet.h"
#include "engExpToken.h"
#include "engRecordsBitmap.h"

TFilter::TFilter(TDataCursor& owner, TExpToken* tree, bool ownsTree, TFilterCallback callback)
    : Owner(owner),
      Condition(tree),
      OwnsTree(ownsTree),
      IsCallback(tree == nullptr),
      Callback(std::move(callback)),
      Bitmap(GetRecordsBitmap()) {}

TFilter::~TFilter() {
  if (OwnsTree) FreeTokenTree(Condition);
  ReleaseRecordsBitmap(Bitmap);
}

void TFilter::Evaluate(TRecordsBitmap& bitmap) { Owner.filtering.EvaluateNode(*this, Condition, bitmap); }

bool TFilter::Accepts(const uint8_t* record, uint32_t recordNumber) {
  if (IsCallback) return Callback && Callback(record, recordNumber);
  return Owner.filtering.RecordPasses(*this, Condition, record, recordNumber);
}
