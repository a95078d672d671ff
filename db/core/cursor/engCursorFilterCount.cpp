// Counting what a filter lets through from the index's key counts: the
// positions of a stretch's edges come from one descent each, so a count
// reads a few pages instead of walking the stretch. Only shapes whose
// bitmap is exactly the keys of one stretch (give or take the column's
// nulls, a stretch of their own) are counted; anything else is built.
//
// The count equals what the bitmap build gives, because both decide the
// same keys the same way: a value stretch leaves out the null keys inside
// it, a negation takes the other keys in use, and the nulls then follow
// what evaluating the leaf on a null gives.

#include <algorithm>
#include <vector>

#include "engCursorFilterSet.h"

#include "engCursor.h"
#include "engCursorKeyStretch.h"
#include "engExpCodes.h"
#include "engExpToken.h"

namespace {

// Keys of [first, end) that also lie in [otherFirst, otherEnd).
uint32_t Overlap(uint32_t first, uint32_t end, uint32_t otherFirst, uint32_t otherEnd) {
  const uint32_t from = std::max(first, otherFirst);
  const uint32_t to = std::min(end, otherEnd);
  return to > from ? to - from : 0;
}

const TExpToken& ColumnOf(const TExpToken& tested) { return tested.Kind == nkColumn ? tested : *tested.First; }

}  // namespace

bool TCursorFilterSet::TryCountCondition(const TExpToken& node, uint32_t& count) {
  if (node.OptimizeLevel == olNone) return false;
  if (IsIndexLeaf(node)) return TryCountLeaf(node, count);
  if (node.Code != opAnd) return false;
  const TExpToken& first = *node.First;
  const TExpToken& second = *node.Second;
  if (!IsIndexLeaf(first) || !IsIndexLeaf(second) || first.OptimizeLevel == olNone ||
      second.OptimizeLevel == olNone)
    return false;
  return TryCountBoth(first, second, count);
}

// One stretch only: the stretches of an IN list may repeat a value, which
// a bitmap takes once.
bool TCursorFilterSet::TryCountLeaf(const TExpToken& node, uint32_t& count) {
  const int index = cursor.FindConditionIndex(node);
  if (index < 0) return false;
  TIndexSwitch onIndex(cursor, uint8_t(index));
  std::vector<TKeyStretch> stretches;
  bool negated = false;
  cursor.BuildConditionStretches(node, stretches, negated);
  if (stretches.size() != 1) return false;
  const TKeyStretch& stretch = stretches[0];
  TKeyStretch nullKeys;
  cursor.BuildNullStretch(ColumnOf(*node.First), nullKeys);
  const bool nullTest = node.Kind == nkUnary || (node.Kind != nkPredicate && node.Second->IsNull);
  const bool nullsPass = !nullTest && cursor.NullSatisfies(node);
  for (;;) {
    uint32_t first = 0, end = 0, nullFirst = 0, nullEnd = 0, wholeFirst = 0, wholeEnd = 0;
    if (cursor.TryStretchPositions(stretch, first, end) &&
        cursor.TryStretchPositions(nullKeys, nullFirst, nullEnd) &&
        cursor.TryStretchPositions(TKeyStretch{}, wholeFirst, wholeEnd)) {
      const uint32_t inUse = wholeEnd - wholeFirst;
      const uint32_t nulls = nullEnd - nullFirst;
      const uint32_t selected = (end - first) - (stretch.SkipNulls ? Overlap(first, end, nullFirst, nullEnd) : 0);
      if (nullTest) {
        count = negated ? inUse - selected : selected;
      } else {
        // The stretch's value keys, or the other value keys; then the nulls.
        const uint32_t values = selected - (stretch.SkipNulls ? 0 : Overlap(first, end, nullFirst, nullEnd));
        count = (negated ? inUse - nulls - values : values) + (nullsPass ? nulls : 0);
      }
      return true;
    }
    cursor.NoteRestart();
  }
}

bool TCursorFilterSet::TryCountBoth(const TExpToken& first, const TExpToken& second, uint32_t& count) {
  const int index = cursor.FindConditionIndex(first);
  if (index < 0 || cursor.FindConditionIndex(second) != index) return false;
  TIndexSwitch onIndex(cursor, uint8_t(index));
  std::vector<TKeyStretch> firstStretches, secondStretches;
  bool firstNegated = false, secondNegated = false;
  cursor.BuildConditionStretches(first, firstStretches, firstNegated);
  cursor.BuildConditionStretches(second, secondStretches, secondNegated);
  if (firstNegated || secondNegated || firstStretches.size() != 1 || secondStretches.size() != 1) return false;
  TKeyStretch both;
  if (!IntersectValueStretches(cursor, firstStretches[0], secondStretches[0], both)) return false;
  if (cursor.NullSatisfies(first) && cursor.NullSatisfies(second)) return false;
  TKeyStretch nullKeys;
  cursor.BuildNullStretch(ColumnOf(*first.First), nullKeys);
  for (;;) {
    uint32_t from = 0, end = 0, nullFirst = 0, nullEnd = 0;
    if (cursor.TryStretchPositions(both, from, end) && cursor.TryStretchPositions(nullKeys, nullFirst, nullEnd)) {
      count = (end - from) - Overlap(from, end, nullFirst, nullEnd);
      return true;
    }
    cursor.NoteRestart();
  }
}
