// Index-served conditions: the stretches of keys a condition leaf selects
// on the index chosen for it, found by their edges in index order and
// walked to fill a record bitmap; counting them for estimates.
//
// Edges are searched, never computed: the first key past a bound is found
// by comparing keys, so no successor or predecessor key can carry or
// borrow out of its bytes. Keys whose first field is null are decided
// apart, by what evaluating the leaf on a null value gives, because
// evaluation sees a null as its type's zero value.

#include <cstring>
#include <vector>

#include "engCursor.h"
#include "engCursorKeyStretch.h"
#include "engCursorWalk.h"
#include "engDataLayout.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engExpCodes.h"
#include "engExpToken.h"
#include "engExpTypes.h"
#include "engFieldAccess.h"
#include "engIndexFile.h"
#include "engKeyEncoding.h"
#include "engRecordsBitmap.h"
#include "engTable.h"

namespace {

const TExpToken* ColumnOf(const TExpToken* tested) { return tested->Kind == nkColumn ? tested : tested->First; }

}  // namespace

TIndexSwitch::TIndexSwitch(TDataCursor& cursor, uint8_t n) : cursor(cursor), saved(cursor.GetIndexNo()) {
  cursor.SwitchToIndex(n);
}

TIndexSwitch::~TIndexSwitch() {
  ReleaseQuietly([this] { cursor.SwitchToIndex(saved); });
}

bool IsIndexLeaf(const TExpToken& node) {
  switch (node.Kind) {
    case nkUnary:
      return node.Code == opIsNull || node.Code == opIsNotNull;
    case nkBinary:
    case nkStringCompare:
      return node.Code >= opEqual && node.Code <= opLessEqual;
    case nkPredicate:
      return node.Code == opIn || node.Code == opNotIn || node.Code == opBetween || node.Code == opNotBetween;
    default:
      return false;
  }
}

// Nulls lie outside both stretches (each skips them), so they stay out.
bool IntersectValueStretches(const TDataCursor& cursor, const TKeyStretch& a, const TKeyStretch& b,
                             TKeyStretch& both) {
  if (!a.SkipNulls || !b.SkipNulls || a.Length != b.Length || a.NullByte != b.NullByte) return false;
  both = a;
  if (b.HasFrom) {
    const int order = both.HasFrom ? cursor.CompareKeys(b.From, both.From, both.Length) : 1;
    if (order > 0) {
      std::memcpy(both.From, b.From, sizeof both.From);
      both.FromInclusive = b.FromInclusive;
    } else if (order == 0) {
      both.FromInclusive = both.FromInclusive && b.FromInclusive;
    }
    both.HasFrom = true;
  }
  if (b.HasTo) {
    const int order = both.HasTo ? cursor.CompareKeys(b.To, both.To, both.Length) : -1;
    if (order < 0) {
      std::memcpy(both.To, b.To, sizeof both.To);
      both.ToInclusive = b.ToInclusive;
    } else if (order == 0) {
      both.ToInclusive = both.ToInclusive && b.ToInclusive;
    }
    both.HasTo = true;
  }
  return true;
}

// The first key, in index order, that lies past the bound (strict) or not
// below it; one past the last key when none does.
bool TDataCursor::TryFindEdge(const uint8_t* bound, int length, bool strict, uint32_t& logical) {
  TLeafWalker walker(*this, indexNo, indexState.Comparer);
  if (!TrySeekEdge(walker, bound, length, strict)) return false;
  logical = walker.IndexEmpty() ? 1 : walker.Logical();
  return true;
}

// The walker stands on that first key (past the last one when none is).
bool TDataCursor::TrySeekEdge(TLeafWalker& walker, const uint8_t* bound, int length, bool strict) {
  auto past = [&](const uint8_t* key) {
    const int order = CompareKeys(key, bound, length);
    return strict ? order > 0 : order >= 0;
  };
  // The probe lands at the edge: its tail sorts first in index order when
  // the keys equal to the bound are inside, last when they are passed (the
  // end of an inclusive stretch), so the walk below takes a step or two
  // where from the first of them it compared every key of the stretch.
  uint8_t probe[MaxIndexKeyLength];
  std::memcpy(probe, bound, indexState.KeyLength);
  if (indexState.Descending != strict) FillKeyHigh(probe, length);
  else FillKeyLow(probe, length);
  bool hit = false;
  if (!walker.ToKey(probe, indexState.KeyLength, TLeafSearchEnd::FirstNotBelow, hit)) return false;
  if (walker.IndexEmpty()) return true;
  // The probe lands next to the edge; the edge itself is found by the keys.
  while (walker.OnEntry() && !past(walker.Key()))
    if (!walker.Next()) return false;
  for (;;) {
    if (!walker.Prior()) return false;
    if (!walker.OnEntry() || !past(walker.Key())) {
      if (!walker.Next()) return false;
      break;
    }
  }
  return true;
}

bool TDataCursor::TryStretchPositions(const TKeyStretch& stretch, uint32_t& first, uint32_t& end) {
  first = 1;
  if (stretch.HasFrom && !TryFindEdge(stretch.From, stretch.Length, !stretch.FromInclusive, first)) return false;
  if (stretch.HasTo) {
    if (!TryFindEdge(stretch.To, stretch.Length, stretch.ToInclusive, end)) return false;
  } else {
    TLeafWalker walker(*this, indexNo, indexState.Comparer);
    if (!walker.ToLast()) return false;
    end = walker.IndexEmpty() ? 1 : walker.Logical() + 1;
  }
  if (end < first) end = first;
  return true;
}

bool TDataCursor::TryFillPositions(uint32_t first, uint32_t end, const uint8_t* nullByte, TRecordsBitmap& bits) {
  if (first >= end) return true;
  TLeafWalker walker(*this, indexNo, indexState.Comparer);
  if (!walker.ToLogical(first)) return false;
  return TryFillWalked(walker, end - first, nullByte, bits);
}

bool TDataCursor::TryFillWalked(TLeafWalker& walker, uint32_t keys, const uint8_t* nullByte, TRecordsBitmap& bits) {
  for (uint32_t walked = 0; walked < keys && walker.OnEntry(); ++walked) {
    if (!nullByte || walker.Key()[0] != *nullByte) {
      const uint32_t record = walker.Record();
      if (record < 1 || record > uint32_t(bits.RecordCount())) Raise(EngErrPageCorrupt);
      bits.SetBit(int32_t(record));
    }
    if (!walker.Next()) return false;
  }
  return true;
}

// The walk starts where the search for the stretch's first key left it. A
// stretch that ends within that key's leaf (the leaf's last key lies past
// its end) is measured there by its keys: neither its end nor its start is
// searched again from the root. A longer one searches its end and walks on
// to it.
bool TDataCursor::TryFillFromStretch(const TKeyStretch& stretch, TRecordsBitmap& bits) {
  const uint8_t* const nullByte = stretch.SkipNulls ? &stretch.NullByte : nullptr;
  if (!stretch.HasFrom) {
    uint32_t first = 0, end = 0;
    if (!TryStretchPositions(stretch, first, end)) return false;
    return TryFillPositions(first, end, nullByte, bits);
  }
  TLeafWalker walker(*this, indexNo, indexState.Comparer);
  if (!TrySeekEdge(walker, stretch.From, stretch.Length, !stretch.FromInclusive)) return false;
  if (!walker.OnEntry()) return true;
  uint32_t keys = 0;
  if (stretch.HasTo) {
    auto pastEnd = [&](const uint8_t* key) {
      const int order = CompareKeys(key, stretch.To, stretch.Length);
      return stretch.ToInclusive ? order > 0 : order >= 0;
    };
    const int after = walker.EntriesAfterInLeaf();
    auto keyAt = [&](int distance) { return distance == 0 ? walker.Key() : walker.KeyAfter(distance); };
    if (pastEnd(keyAt(after))) {
      int inLeaf = 0;
      while (!pastEnd(keyAt(inLeaf))) ++inLeaf;
      for (int distance = 0; distance < inLeaf; ++distance) {
        if (nullByte && keyAt(distance)[0] == *nullByte) continue;
        uint32_t record = 0;
        walker.RecordBeside(distance, record);
        if (record < 1 || record > uint32_t(bits.RecordCount())) Raise(EngErrPageCorrupt);
        bits.SetBit(int32_t(record));
      }
      // The count relied on the leaf's key order: checked as steps over
      // those keys would check it.
      if (inLeaf > 1) walker.AdvanceInLeaf(inLeaf - 1);
      return true;
    }
    uint32_t end = 0;
    if (!TryFindEdge(stretch.To, stretch.Length, stretch.ToInclusive, end)) return false;
    keys = end > walker.Logical() ? end - walker.Logical() : 0;
  } else {
    TLeafWalker last(*this, indexNo, indexState.Comparer);
    if (!last.ToLast()) return false;
    keys = last.IndexEmpty() ? 0 : last.Logical() + 1 - walker.Logical();
  }
  return TryFillWalked(walker, keys, nullByte, bits);
}

// Every key but the stretch's, nulls included.
bool TDataCursor::TryFillOutsideStretch(const TKeyStretch& stretch, TRecordsBitmap& bits) {
  uint32_t first = 0, end = 0;
  if (!TryStretchPositions(stretch, first, end)) return false;
  TKeyStretch whole;
  uint32_t wholeFirst = 0, wholeEnd = 0;
  if (!TryStretchPositions(whole, wholeFirst, wholeEnd)) return false;
  return TryFillPositions(1, first, nullptr, bits) && TryFillPositions(end, wholeEnd, nullptr, bits);
}

// The keys of the column's null values on the current index.
void TDataCursor::BuildNullStretch(const TExpToken& column, TKeyStretch& stretch) {
  uint8_t fieldDesc[FieldDescSize];
  GetTableFieldDesc(column.FieldNo, fieldDesc);
  const bool fieldDescending = !indexState.Descending && indexState.Comparer.Fields[0].Descending;
  uint8_t nullKey[MaxIndexKeyLength] = {};
  BuildKeySegment(fieldDesc, nullptr, nullKey, indexState.CaseInsensitive, fieldDescending, LanguageId(), SortId());
  stretch = TKeyStretch{};
  stretch.HasFrom = stretch.HasTo = true;
  std::memcpy(stretch.From, nullKey, indexState.KeyLength);
  std::memcpy(stretch.To, nullKey, indexState.KeyLength);
  stretch.Length = 1;
}

// The current index must be the one the leaf is served by. negated tells
// that the leaf selects the keys outside the stretches.
void TDataCursor::BuildConditionStretches(const TExpToken& node, std::vector<TKeyStretch>& stretches, bool& negated) {
  const TExpToken& column = *ColumnOf(node.First);
  uint8_t fieldDesc[FieldDescSize];
  GetTableFieldDesc(column.FieldNo, fieldDesc);
  const bool fieldDescending = !indexState.Descending && indexState.Comparer.Fields[0].Descending;
  const bool reverse = indexState.Descending || indexState.Comparer.Fields[0].Descending;
  const int fieldLength = 1 + fieldDesc[FieldDescStoredSizeOffset];
  TKeyStretch nulls;
  BuildNullStretch(column, nulls);

  auto nullStretch = [&] { stretches.push_back(nulls); };
  auto valueKey = [&](const TExpToken& constant, uint8_t* key) {
    std::memset(key, 0, MaxIndexKeyLength);
    key[0] = 1;
    BuildKeySegment(fieldDesc, constant.Value, key, indexState.CaseInsensitive, fieldDescending, LanguageId(),
                    SortId());
  };
  // [low, high] in value order (nil: open), each bound inclusive or not.
  auto valueStretch = [&](const TExpToken* low, bool lowInclusive, const TExpToken* high, bool highInclusive,
                          int length) {
    TKeyStretch& stretch = stretches.emplace_back();
    stretch.Length = length;
    stretch.SkipNulls = true;
    stretch.NullByte = nulls.From[0];
    if (reverse) {
      std::swap(low, high);
      std::swap(lowInclusive, highInclusive);
    }
    if (low) {
      stretch.HasFrom = true;
      stretch.FromInclusive = lowInclusive;
      valueKey(*low, stretch.From);
    }
    if (high) {
      stretch.HasTo = true;
      stretch.ToInclusive = highInclusive;
      valueKey(*high, stretch.To);
    }
  };

  negated = false;
  const TExpToken* value = node.Second;
  switch (node.Kind == nkUnary ? node.Code : node.Kind == nkPredicate ? node.Code : uint8_t(0)) {
    case opIsNull:
    case opIsNotNull:
      negated = node.Code == opIsNotNull;
      nullStretch();
      return;
    case opIn:
    case opNotIn:
      negated = node.Code == opNotIn;
      for (const TExpToken* element = value; element; element = element->Next) {
        if (element->IsNull) nullStretch();
        else valueStretch(element, true, element, true, fieldLength);
      }
      return;
    case opBetween:
    case opNotBetween:
      negated = node.Code == opNotBetween;
      valueStretch(value, true, value->Next, true, fieldLength);
      return;
    default:
      break;
  }
  // Comparisons.
  if (value->IsNull) {
    // Only "=" and "<>" are served against NULL: they hold for nulls only.
    negated = node.Code == opNotEqual;
    nullStretch();
    return;
  }
  const int length = node.Kind == nkStringCompare && node.CompareLength > 0 ? 1 + node.CompareLength : fieldLength;
  switch (node.Code) {
    case opEqual:
    case opNotEqual:
      negated = node.Code == opNotEqual;
      valueStretch(value, true, value, true, length);
      break;
    case opGreater:
      valueStretch(value, false, nullptr, true, length);
      break;
    case opGreaterEqual:
      valueStretch(value, true, nullptr, true, length);
      break;
    case opLess:
      valueStretch(nullptr, true, value, false, length);
      break;
    default:
      valueStretch(nullptr, true, value, true, length);
      break;
  }
}

void TDataCursor::FillBitmapFromCondition(const TExpToken& node, bool costChoice, TRecordsBitmap& bits) {
  const int index = FindConditionIndex(node);
  if (index < 0) Raise(EngErrFilter);
  TIndexSwitch onIndex(*this, uint8_t(index));
  std::vector<TKeyStretch> stretches;
  bool negated = false;
  BuildConditionStretches(node, stretches, negated);
  bits.ClearAll();
  // Whether null keys may have come in with the walk, so that they must be
  // decided after it: a null stretch walks them, and so does a stretch
  // taken through the keys outside it.
  bool nullsWalked = false;
  for (const TKeyStretch& stretch : stretches) {
    nullsWalked |= !stretch.SkipNulls;
    // Without a locale the keys outside a long stretch are fewer to walk.
    if (costChoice && LanguageId() == 0) {
      uint32_t first = 0, end = 0, wholeFirst = 0, wholeEnd = 0;
      RequireUnchanged(TryStretchPositions(stretch, first, end));
      RequireUnchanged(TryStretchPositions(TKeyStretch{}, wholeFirst, wholeEnd));
      if (end - first > (wholeEnd - 1) - (end - first)) {
        TPooledBitmap outside;
        outside->SetRecordCount(bits.RecordCount());
        outside->ClearAll();
        RequireUnchanged(TryFillOutsideStretch(stretch, *outside));
        outside->Invert();
        bits.OrWith(*outside);
        nullsWalked = true;
        continue;
      }
    }
    RequireUnchanged(TryFillFromStretch(stretch, bits));
  }
  if (negated) bits.Invert();
  const bool nullTest = node.Kind == nkUnary || (node.Kind != nkPredicate && node.Second->IsNull);
  if (nullTest) return;
  const bool nullsPass = NullSatisfies(node);
  if (nullsPass == negated && !nullsWalked) return;  // the nulls are where they belong already
  TKeyStretch nullKeys;
  BuildNullStretch(*ColumnOf(node.First), nullKeys);
  TPooledBitmap nulls;
  nulls->SetRecordCount(bits.RecordCount());
  nulls->ClearAll();
  RequireUnchanged(TryFillFromStretch(nullKeys, *nulls));
  if (nullsPass) {
    bits.OrWith(*nulls);
  } else {
    nulls->Invert();
    bits.AndWith(*nulls);
  }
}

// A range written as two comparisons (a >= x AND a <= y) walks only the
// keys between its bounds, not each side's keys to the end of the index.
// Two value stretches compared over the same length hold exactly the keys
// between the later start and the earlier end; nulls lie outside both,
// and stay out as long as one side rejects them.
bool TDataCursor::FillBitmapFromBoth(const TExpToken& first, const TExpToken& second, TRecordsBitmap& bits) {
  const int index = FindConditionIndex(first);
  if (index < 0 || FindConditionIndex(second) != index) return false;
  TIndexSwitch onIndex(*this, uint8_t(index));
  std::vector<TKeyStretch> firstStretches, secondStretches;
  bool firstNegated = false, secondNegated = false;
  BuildConditionStretches(first, firstStretches, firstNegated);
  BuildConditionStretches(second, secondStretches, secondNegated);
  if (firstNegated || secondNegated || firstStretches.size() != 1 || secondStretches.size() != 1) return false;
  TKeyStretch both;
  if (!IntersectValueStretches(*this, firstStretches[0], secondStretches[0], both)) return false;
  if (NullSatisfies(first) && NullSatisfies(second)) return false;
  bits.ClearAll();
  RequireUnchanged(TryFillFromStretch(both, bits));
  return true;
}

// The keys of one first-field value are in the order of the second field,
// so (value, low) to (value, high) holds exactly the rows of both leaves.
// Taken only where that order is the bytes' order: no language (whose
// collation weighs case after the whole key), no descending field, a second
// field that is no text (its key would take the index's case flag), and
// leaves that hold for no null.
bool TDataCursor::FillBitmapFromPair(const TExpToken& equal, const TExpToken& range, TRecordsBitmap& bits) {
  const bool equalShape = (equal.Kind == nkBinary || (equal.Kind == nkStringCompare && equal.CompareLength == 0)) &&
                          equal.Code == opEqual && equal.Second && !equal.Second->IsNull;
  if (!equalShape || range.Kind != nkPredicate || range.Code != opBetween || !range.First ||
      range.First->Kind != nkColumn || !range.Second || !range.Second->Next || range.Second->IsNull ||
      range.Second->Next->IsNull || LanguageId() != 0)
    return false;
  const TExpToken& second = *range.First;
  if (second.FieldNo == 0 || IsTextType(second.DataType, second.SubType)) return false;
  const int index = FindConditionIndex(equal, second.FieldNo);
  if (index < 0 || NullSatisfies(equal) || NullSatisfies(range)) return false;
  TIndexSwitch onIndex(*this, uint8_t(index));
  if (indexState.Descending || indexState.KeyFieldCount < 2 || indexState.Comparer.Fields[0].Descending ||
      indexState.Comparer.Fields[1].Descending)
    return false;
  std::vector<TKeyStretch> stretches;
  bool negated = false;
  BuildConditionStretches(equal, stretches, negated);
  const int firstLength = indexState.Comparer.Fields[0].StoredSize + 1;
  const int secondLength = indexState.Comparer.Fields[1].StoredSize + 1;
  if (negated || stretches.size() != 1 || !stretches[0].SkipNulls || stretches[0].Length != firstLength ||
      firstLength + secondLength > indexState.KeyLength)
    return false;
  uint8_t fieldDesc[FieldDescSize];
  GetTableFieldDesc(second.FieldNo, fieldDesc);
  if (fieldDesc[FieldDescStoredSizeOffset] + 1 != secondLength) return false;
  TKeyStretch both = stretches[0];
  both.Length = firstLength + secondLength;
  auto bound = [&](const TExpToken& constant, uint8_t* key) {
    uint8_t segment[MaxIndexKeyLength] = {};
    segment[0] = 1;
    BuildKeySegment(fieldDesc, constant.Value, segment, indexState.CaseInsensitive, false, LanguageId(), SortId());
    std::memcpy(key + firstLength, segment, size_t(secondLength));
  };
  bound(*range.Second, both.From);
  bound(*range.Second->Next, both.To);
  both.FromInclusive = both.ToInclusive = true;
  bits.ClearAll();
  RequireUnchanged(TryFillFromStretch(both, bits));
  return true;
}

uint32_t TDataCursor::CountKeysOfCondition(const TExpToken& node) {
  const int index = FindConditionIndex(node);
  if (index < 0) return 0;
  TIndexSwitch onIndex(*this, uint8_t(index));
  std::vector<TKeyStretch> stretches;
  bool negated = false;
  BuildConditionStretches(node, stretches, negated);
  for (;;) {
    uint32_t count = 0, wholeFirst = 0, wholeEnd = 0;
    bool unchanged = TryStretchPositions(TKeyStretch{}, wholeFirst, wholeEnd);
    for (size_t i = 0; unchanged && i < stretches.size(); ++i) {
      uint32_t first = 0, end = 0;
      unchanged = TryStretchPositions(stretches[i], first, end);
      count += end - first;
    }
    if (unchanged) {
      const uint32_t total = wholeEnd - 1;
      return negated ? (count > total ? 0 : total - count) : count;
    }
    NoteRestart();
  }
}
