// The record bitmaps that navigation walks while filtering is on, as it
// always is in natural order: the records in use, found on the
// deleted-records index, the records inside the range, every active
// filter's records, and the visible records made of them.

#include <algorithm>
#include <cstring>

#include "engCursor.h"
#include "engCursorKeyStretch.h"
#include "engCursorWalk.h"
#include "engDataFile.h"
#include "engDataRecord.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engIndexFile.h"
#include "engRecordsBitmap.h"
#include "engSystemList.h"
#include "engTable.h"
#include "rtlExceptions.h"

void TDataCursor::RebuildWindowAndBitmaps() {
  TOperationBracket bracket(*this);
  ComputeRangeWindow();
  RebuildBitmaps();
}

void TDataCursor::RebuildBitmaps() { RebuildBitmapsFor(nullptr); }

void TDataCursor::RebuildBitmapsFor(TFilter* only) {
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
    while (!TryBuildBitmaps(only)) NoteRestart();
  } catch (...) {
    buildingBitmaps = false;
    throw;
  }
  buildingBitmaps = false;
  CombineVisible();
}

bool TDataCursor::TryBuildBitmaps(TFilter* only) {
  const int32_t slots = int32_t(DataFile().PhysicalRecordCount());
  visible->SetRecordCount(slots);
  inRange->SetRecordCount(slots);
  inUse->SetRecordCount(slots);
  inRange->ClearAll();
  inUse->ClearAll();
  if (slots > 0) {
    if (!TryBuildInUse()) return false;
    if (rangeActive && !IsNaturalOrder() && !TryBuildInRange()) return false;
  }
  for (int32_t i = 0; i < filters.Count(); ++i) {
    TFilter& filter = *FilterAt(i);
    if (!filter.Active) continue;
    // A filter left alone keeps its bitmap while the table keeps its size.
    if (only && &filter != only && filter.Bitmap->RecordCount() == slots) continue;
    if (!TryEvaluateFilter(filter)) return false;
  }
  return true;
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
    if (record < 1 || record > uint32_t(inUse->RecordCount())) Raise(EngErrPageCorrupt);
    inUse->SetBit(int32_t(record));
    if (!walker.Next()) return false;
  }
  inUse->Invert();
  return true;
}

// The keys between the range's bounds; without a locale, a range over
// most of the table is taken through the keys outside it.
bool TDataCursor::TryBuildInRange() {
  TKeyStretch stretch;
  stretch.Length = keyLength;
  stretch.HasFrom = !rangeLowOpen;
  stretch.HasTo = !rangeHighOpen;
  std::memcpy(stretch.From, rangeLow, keyLength);
  std::memcpy(stretch.To, rangeHigh, keyLength);
  if (LanguageId() == 0 && windowLast >= windowFirst &&
      int64_t(windowLast - windowFirst + 1) * 2 > int64_t(IndexFile().GetRecordCount())) {
    if (!TryFillOutsideStretch(stretch, *inRange)) return false;
    inRange->Invert();
    return true;
  }
  return TryFillFromStretch(stretch, *inRange);
}

bool TDataCursor::TryEvaluateFilter(TFilter& filter) {
  TRecordsBitmap& bits = *filter.Bitmap;
  bits.SetRecordCount(visible->RecordCount());
  bits.Assign(*inUse);
  if (rangeActive && !IsNaturalOrder()) bits.AndWith(*inRange);
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

void TDataCursor::CombineVisible() {
  visible->Assign(*inUse);
  if (rangeActive && !IsNaturalOrder()) visible->AndWith(*inRange);
  for (int32_t i = 0; i < filters.Count(); ++i)
    if (FilterAt(i)->Active) visible->AndWith(*FilterAt(i)->Bitmap);
  visibleCount = visible->CountSet();
}

// The bits of one record this cursor wrote are set again from the record
// as stored (the caller's buffer may still name BLOBs the write has
// closed); the visible records are counted again, never adjusted by guess.
void TDataCursor::KeepRecordBits(uint32_t number, bool present) {
  if (!filterActive || number == 0) return;
  TDataFile& data = DataFile();
  const int32_t slots = int32_t(data.PhysicalRecordCount());
  if (number > uint32_t(slots)) return;
  TRecord* stored = nullptr;
  if (present && !data.GetRecord(this, number, 1, true, false, stored)) {
    RebuildBitmaps();
    return;
  }
  struct TRelease {
    TDataFile& data;
    TRecord* record;
    ~TRelease() { data.ReleaseRecord(record); }
  } release{data, stored};
  const uint8_t* record = stored ? stored->Buffer() : nullptr;
  for (TRecordsBitmap* bits : {visible.Get(), inRange.Get(), inUse.Get()}) bits->SetRecordCount(slots);
  const int32_t bit = int32_t(number);
  auto put = [bit](TRecordsBitmap& bits, bool on) { on ? bits.SetBit(bit) : bits.ClearBit(bit); };
  if (record && rangeActive && !IsNaturalOrder()) {
    uint8_t key[MaxIndexKeyLength];
    BuildKey(record, key);
    put(*inRange, !BelowRange(key) && !AboveRange(key));
  } else {
    put(*inRange, false);
  }
  put(*inUse, record != nullptr);
  for (int32_t i = 0; i < filters.Count(); ++i) {
    TFilter& filter = *FilterAt(i);
    if (!filter.Active) continue;
    filter.Bitmap->SetRecordCount(slots);
    put(*filter.Bitmap, record && AcceptsWrittenRecord(filter, record, number));
  }
  CombineVisible();
}

// The write is done whatever the test says: a record the filter cannot
// evaluate is one it does not show.
bool TDataCursor::AcceptsWrittenRecord(TFilter& filter, const uint8_t* record, uint32_t number) {
  try {
    return filter.Accepts(record, number);
  } catch (const EConvertError&) {
    return false;
  }
}

// A read ahead through an index takes the records that follow in the
// leaf without a gap; in natural order, and in a filter's scan, the
// records that follow among those it will read.
int32_t TDataCursor::ReadAheadCount(uint32_t record, bool forward, int32_t limit) {
  if (!open || limit <= 1) return limit;
  const TRecordsBitmap* run = scanBits;
  if (!run) {
    if (!IsNaturalOrder()) {
      if (record != recordNumber) return 1;
      return std::max(1, std::min(limit, forward ? runForward : runBackward));
    }
    run = visible.Get();
  }
  int32_t count = 0;
  int64_t next = record;
  while (count < limit && next >= 1 && next <= run->RecordCount() && run->IsSet(int32_t(next))) {
    ++count;
    next += forward ? 1 : -1;
  }
  return std::max(count, 1);
}
