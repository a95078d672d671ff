// The record bitmaps that navigation walks while filtering is on, as it
// always is in natural order: the records in use, found on the
// deleted-records index, the records inside the range, every active
// filter's records, and the visible records made of them.

#include <algorithm>
#include <cstring>

#include "engCursorFilterSet.h"

#include "engCursor.h"
#include "engCursorKeyStretch.h"
#include "engCursorWalk.h"
#include "engDataFile.h"
#include "engDataRecord.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engRecordsBitmap.h"
#include "engScopeGuard.h"
#include "engTable.h"
#include "rtlExceptions.h"

// A crack left for later is found under the bitmaps it was left with.
void TDataCursor::RebuildWindowAndBitmaps() {
  TOperationBracket bracket(*this);
  filtering.SettleEdge();
  ComputeRangeWindow();
  filtering.Rebuild();
}

bool TCursorFilterSet::RangeApplies() const { return cursor.range.Active() && !cursor.IsNaturalOrder(); }

bool TCursorFilterSet::HoldAcrossOrders() const {
  return on && !buildPending && !building && !RangeApplies() &&
         visible->RecordCount() == int32_t(cursor.DataFile().PhysicalRecordCount());
}

void TCursorFilterSet::Rebuild(TFilter* only) {
  // No filter's bitmap survives a count that skipped building them.
  if (buildPending) only = nullptr;
  buildPending = false;
  if (!on) {
    visible->ClearAll();
    inRange->ClearAll();
    inUse->ClearAll();
    visibleCount = 0;
    return;
  }
  if (building) return;
  building = true;
  {
    TScopeGuard built([this] { building = false; });
    while (!TryBuild(only)) cursor.NoteRestart();
  }
  CombineVisible();
}

TFilter* TCursorFilterSet::SoleRestriction() const {
  if (RangeApplies()) return nullptr;
  TFilter* sole = nullptr;
  for (int32_t i = 0; i < filters.Count(); ++i) {
    if (!FilterAt(i)->Active) continue;
    if (sole) return nullptr;
    sole = FilterAt(i);
  }
  return sole && !sole->IsCallback ? sole : nullptr;
}

void TCursorFilterSet::RebuildOrCount(TFilter* only) {
  TFilter* sole = on && !building ? SoleRestriction() : nullptr;
  uint32_t count = 0;
  if (!sole || (only && only != sole) || !TryCountCondition(*sole->Condition, count)) {
    Rebuild(only);
    return;
  }
  visibleCount = int32_t(count);
  buildPending = true;
}

bool TCursorFilterSet::TryBuild(TFilter* only) {
  const int32_t slots = int32_t(cursor.DataFile().PhysicalRecordCount());
  visible->SetRecordCount(slots);
  inRange->SetRecordCount(slots);
  inUse->SetRecordCount(slots);
  inRange->ClearAll();
  inUse->ClearAll();
  if (slots > 0) {
    if (!TryBuildInUse()) return false;
    if (RangeApplies() && !TryBuildInRange()) return false;
  }
  for (int32_t i = 0; i < filters.Count(); ++i) {
    TFilter& filter = *FilterAt(i);
    if (!filter.Active) continue;
    // A filter left alone keeps its bitmap while the table keeps its size.
    if (only && &filter != only && filter.Bitmap->RecordCount() == slots) continue;
    if (!TryEvaluate(filter)) return false;
  }
  return true;
}

// The deleted records are the keys of status 1 on "Sys Deleted"; every
// other record slot is in use. Their keys sort after those of status 0,
// so they are the index's last ones: walked back from its end, which the
// descent reaches without comparing keys.
bool TCursorFilterSet::TryBuildInUse() {
  TKeyComparer deletedOrder;
  deletedOrder.IndexNo = DeletedIndexNo;
  TLeafWalker walker(cursor, DeletedIndexNo, deletedOrder);
  if (!walker.ToLast()) return false;
  for (; walker.OnEntry() && walker.Key()[0] == 1; ) {
    const uint32_t record = walker.Record();
    if (record < 1 || record > uint32_t(inUse->RecordCount())) cursor.Raise(EngErrPageCorrupt);
    inUse->SetBit(int32_t(record));
    if (!walker.Prior()) return false;
  }
  inUse->Invert();
  return true;
}

// The keys between the range's bounds; without a locale, a range over
// most of the table is taken through the keys outside it.
bool TCursorFilterSet::TryBuildInRange() {
  TKeyStretch stretch;
  stretch.Length = cursor.indexState.KeyLength;
  const TCursorRange& range = cursor.range;
  stretch.HasFrom = range.HasLow();
  stretch.HasTo = range.HasHigh();
  if (stretch.HasFrom) std::memcpy(stretch.From, range.Low(), cursor.indexState.KeyLength);
  if (stretch.HasTo) std::memcpy(stretch.To, range.High(), cursor.indexState.KeyLength);
  const int32_t first = range.WindowFirst();
  const int32_t last = range.WindowLast();
  if (cursor.LanguageId() == 0 && last >= first &&
      int64_t(last - first + 1) * 2 > int64_t(cursor.IndexFile().GetRecordCount())) {
    if (!cursor.TryFillOutsideStretch(stretch, *inRange)) return false;
    inRange->Invert();
    return true;
  }
  return cursor.TryFillFromStretch(stretch, *inRange);
}

bool TCursorFilterSet::TryEvaluate(TFilter& filter) {
  TRecordsBitmap& bits = *filter.Bitmap;
  bits.SetRecordCount(visible->RecordCount());
  bits.Assign(*inUse);
  if (RangeApplies()) bits.AndWith(*inRange);
  // A dependent filter reads only what the filters before it let through.
  if (filter.Dependent && filter.OptimizeLevel != olFull) {
    for (int32_t i = 0; i < filters.Count() && FilterAt(i) != &filter; ++i)
      if (FilterAt(i)->Active) bits.AndWith(*FilterAt(i)->Bitmap);
  }
  try {
    filter.Evaluate(bits);
  } catch (const TBitmapRestart&) {
    return false;
  }
  return true;
}

void TCursorFilterSet::CombineVisible() {
  if (buildPending) {
    Rebuild();
    return;
  }
  visible->Assign(*inUse);
  if (RangeApplies()) visible->AndWith(*inRange);
  for (int32_t i = 0; i < filters.Count(); ++i)
    if (FilterAt(i)->Active) visible->AndWith(*FilterAt(i)->Bitmap);
  visibleCount = visible->CountSet();
}

// The bits of one record this cursor wrote are set again from the record
// as stored (the caller's buffer may still name BLOBs the write has
// closed). The visible bitmap is the others combined in every other
// record, so its count moves by what this record's bit did: counting the
// whole bitmap again grew with the table.
void TCursorFilterSet::KeepRecordBits(uint32_t number, bool present) {
  if (!on || number == 0) return;
  // A crack left for later is found as it was before the write, when the
  // record written was not among the visible ones (only an insert can
  // stand at a crack). The cleared bit leaves the count behind: the
  // bitmaps are combined again whole.
  bool recombine = false;
  if (edgePending) {
    EnsureBuilt();
    if (number <= uint32_t(visible->RecordCount())) visible->ClearBit(int32_t(number));
    SettleEdge();
    recombine = true;
  }
  // Built now, the bitmaps hold the write already.
  if (buildPending) {
    Rebuild();
    return;
  }
  TDataFile& data = cursor.DataFile();
  const int32_t slots = int32_t(data.PhysicalRecordCount());
  if (number > uint32_t(slots)) return;
  TRecord* stored = nullptr;
  if (present && !data.GetRecord(&cursor, number, {.CursorSized = true}, stored)) {
    Rebuild();
    return;
  }
  TScopeGuard release([&data, stored] { data.ReleaseRecord(stored); });
  const uint8_t* record = stored ? stored->Buffer() : nullptr;
  // Records cut off the end take their bits with them.
  if (visible->RecordCount() > slots) recombine = true;
  for (TRecordsBitmap* bits : {visible.Get(), inRange.Get(), inUse.Get()}) bits->SetRecordCount(slots);
  const int32_t bit = int32_t(number);
  auto put = [bit](TRecordsBitmap& bits, bool on) { on ? bits.SetBit(bit) : bits.ClearBit(bit); };
  if (record && RangeApplies()) {
    uint8_t key[MaxIndexKeyLength];
    cursor.BuildKey(record, key);
    put(*inRange, !cursor.range.Outside(key, cursor.indexState.Comparer, cursor.indexState.KeyLength));
  } else {
    put(*inRange, false);
  }
  put(*inUse, record != nullptr);
  bool shown = record != nullptr && (!RangeApplies() || inRange->IsSet(bit));
  for (int32_t i = 0; i < filters.Count(); ++i) {
    TFilter& filter = *FilterAt(i);
    if (!filter.Active) continue;
    filter.Bitmap->SetRecordCount(slots);
    const bool accepted = record && AcceptsWrittenRecord(filter, record, number);
    put(*filter.Bitmap, accepted);
    shown = shown && accepted;
  }
  if (recombine) {
    CombineVisible();
    return;
  }
  const bool wasShown = visible->IsSet(bit);
  put(*visible, shown);
  visibleCount += int32_t(shown) - int32_t(wasShown);
  ORV_ASSERT(visibleCount == visible->CountSet());
}

// The write is done whatever the test says: a record the filter cannot
// evaluate is one it does not show.
bool TCursorFilterSet::AcceptsWrittenRecord(TFilter& filter, const uint8_t* record, uint32_t number) {
  try {
    return filter.Accepts(record, number);
  } catch (const EConvertError&) {
    return false;
  }
}

namespace {
// Records a filter hides that a read ahead in natural order goes across.
constexpr int32_t MaxSkippedInReadAhead = 16;
}  // namespace

// A read ahead through an index takes the records that follow in the
// leaf without a gap; in natural order, the records that follow up to the
// last it will read, across gaps of at most MaxSkippedInReadAhead.
int32_t TDataCursor::ReadAheadCount(uint32_t record, bool forward, int32_t limit) {
  if (!open || limit <= 1) return limit;
  const TRecordsBitmap* run = filtering.ReadAheadBits();
  if (!run) {
    if (record != position.Record()) return 1;
    return std::max(1, std::min(limit, readAhead.Run(forward)));
  }
  // A few records it will not show between those it will go along: one
  // read takes them all, where stopping at each cut a filtered walk into
  // reads of a few records.
  int32_t count = 0;
  int32_t span = 0;  // up to the last record it will read
  int64_t next = record;
  while (count < limit && next >= 1 && next <= run->RecordCount()) {
    if (run->IsSet(int32_t(next))) span = count + 1;
    else if (count + 1 - span > MaxSkippedInReadAhead) break;
    ++count;
    next += forward ? 1 : -1;
  }
  return std::max(span, 1);
}

// In index order, the records of the leaf's next entries; a filter's
// bitmap leaves out those it will not show.
int32_t TDataCursor::UpcomingRecords(uint32_t record, bool forward, uint32_t* numbers, int32_t limit) {
  if (!open || !readAhead.Walking() || record != position.Record() || IsNaturalOrder() || filtering.BuildPending())
    return 0;
  const uint32_t* upcoming = readAhead.List(forward);
  int32_t count = 0;
  for (int i = 0; i < readAhead.ListCount(forward) && count < limit; ++i)
    if (RecordVisible(upcoming[i])) numbers[count++] = upcoming[i];
  return count;
}

// Navigation in natural order reads ahead through the visible records. In
// index order a read ahead follows the leaf (the cursor's runs).
const TRecordsBitmap* TCursorFilterSet::ReadAheadBits() const {
  // A read never builds: it may run inside a walk.
  if (buildPending) return nullptr;
  return cursor.IsNaturalOrder() ? visible.Get() : nullptr;
}
