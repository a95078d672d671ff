#pragma once
// The filtering of one cursor: its filters, and the record bitmaps that
// navigation walks while filtering is on (as it always is in natural
// order): the records in use, found on the deleted-records index, the
// records inside the range, every active filter's records, and the
// visible records made of them.
//
// The cursor stays the facade: it hands out the filter handles, brackets
// the operations and keeps its position; this class owns the filters and
// bitmaps and answers which records the cursor sees. It reads keys and
// records through the cursor (its walker, its index-served conditions),
// whose friend it is.

#include <cstdint>
#include <memory>

#include "engFilter.h"
#include "engOwnedList.h"
#include "engRecordsBitmap.h"

class TDataCursor;
class TExpToken;

class TCursorFilterSet {
public:
  explicit TCursorFilterSet(TDataCursor& cursor) : cursor(cursor) {}
  TCursorFilterSet(const TCursorFilterSet&) = delete;
  TCursorFilterSet& operator=(const TCursorFilterSet&) = delete;

  // ---- the filters (engCursorFilterSet) ----------------------------------
  int32_t Count() const { return filters.Count(); }
  TFilter* At(int32_t index) const { return filters.Get(index); }
  // 10050 for a handle this cursor does not hold.
  int32_t IndexOf(const TFilter* filter) const;
  // A dependent filter goes last, any other before the first dependent one.
  TFilter* Insert(std::unique_ptr<TFilter> filter);
  void Delete(int32_t index) { filters.Delete(index); }
  void DropAll() { filters.Clear(); }
  // Every filter dropped, filtering off and the bitmaps emptied.
  void Reset();
  // The indexes changed: what each condition can use of them is worked
  // out again.
  void ReassessLevels();

  // ---- what the cursor sees ----------------------------------------------
  // Filtering is on in natural order and while a filter is active.
  bool On() const { return on; }
  void UpdateState();
  int32_t VisibleCount() const { return visibleCount; }
  const TRecordsBitmap& Visible() const { return *visible; }
  bool IsVisible(uint32_t record) const;

  // ---- the bitmaps (engCursorBitmaps) -------------------------------------
  // Only the one filter's bitmap is evaluated again (nil: every filter); a
  // build that meets another user's change starts over.
  void Rebuild(TFilter* only = nullptr);
  void CombineVisible();
  // After the cursor wrote a record (present false: deleted it).
  void KeepRecordBits(uint32_t number, bool present);
  // The bitmap a read-ahead may follow: a filter scan's records, else in
  // natural order the visible ones; nil in index order outside a scan.
  const TRecordsBitmap* ReadAheadBits() const;

  // ---- evaluation (engCursorFilterEval) ------------------------------------
  // Narrows bits to the records the node accepts.
  void EvaluateNode(TFilter& filter, const TExpToken* node, TRecordsBitmap& bits);
  bool RecordPasses(TFilter& filter, const TExpToken* node, const uint8_t* record, uint32_t number);

private:
  TDataCursor& cursor;
  TOwnedList<TFilter> filters;
  bool on = false;
  int32_t visibleCount = 0;
  TPooledBitmap visible;
  TPooledBitmap inRange;
  TPooledBitmap inUse;
  bool building = false;
  // The records a filter scan reads, which reads ahead through them.
  const TRecordsBitmap* scanBits = nullptr;

  // The range narrows what the cursor sees (index order only).
  bool RangeApplies() const;
  // A Try... returns false when a read met another user's change.
  bool TryBuild(TFilter* only);
  bool TryBuildInUse();
  bool TryBuildInRange();
  bool TryEvaluate(TFilter& filter);
  void ScanRecords(TFilter& filter, const TExpToken* node, TRecordsBitmap& bits);
  bool AcceptsWrittenRecord(TFilter& filter, const uint8_t* record, uint32_t number);
};
