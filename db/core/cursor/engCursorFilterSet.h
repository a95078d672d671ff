#pragma once
// The filtering of one cursor: its filters, and the record bitmaps that
// navigation walks while filtering is on (as it always is in natural
// order): the records in use, found on the deleted-records index, the
// records inside the range, every active filter's records, and the
// visible records made of them.
//
// It is the cursor's filter access (TTableCursor::Filters): it owns the
// filters, their parser and the bitmaps, and answers which records the
// cursor sees. It reads keys and records through the cursor (its walker,
// its index-served conditions), whose friend it is, and leaves the
// cursor's position to the cursor after each change of the filters.

#include <cstdint>
#include <memory>

#include "engFilter.h"
#include "engOwnedList.h"
#include "engRecordsBitmap.h"
#include "engTableCursor.h"

class TDataCursor;
class TExpToken;
class TExpressionParser;

class TCursorFilterSet final : public TCursorFilterAccess {
public:
  explicit TCursorFilterSet(TDataCursor& cursor);
  ~TCursorFilterSet();
  TCursorFilterSet(const TCursorFilterSet&) = delete;
  TCursorFilterSet& operator=(const TCursorFilterSet&) = delete;

  // ---- the filter access (engCursorFilters) --------------------------------
  TFilter* AddFilter(const std::string& text, const TCursorFilterOptions& options = {}) override;
  TFilter* AddFilter(TExpTreePtr condition, const TCursorFilterOptions& options = {}) override;
  // A condition already checked and copied for this table (PrepareFilterText)
  // that the caller keeps alive until the filter is dropped.
  TFilter* AddSharedFilter(TExpToken* condition, const TCursorFilterOptions& options = {});
  TFilter* AddFilter(TFilterCallback callback, const TCursorFilterOptions& options = {}) override;
  void DropFilter(TFilter* filter) override;
  void ActivateFilter(TFilter* filter) override;
  void DeactivateFilter(TFilter* filter) override;
  void UpdateFilter(TExpToken* tree, TFilter* filter) override;
  // A filter text parsed, checked and copied for this table as AddFilter
  // does (10051); the caller owns the tree, which UpdateFilter takes.
  TExpToken* PrepareFilterText(const std::string& text, const TCursorFilterOptions& options = {});
  int32_t FilterCount() const override { return filters.Count(); }
  TFilter* FilterAt(int32_t index) const override { return filters.Get(index); }
  // Filtering is on in natural order and while a filter is active.
  bool FilteringOn() const override { return on; }

  // ---- the filters (engCursorFilterSet) ----------------------------------
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
  void UpdateState();
  // Exact whether or not the bitmaps are built yet.
  int32_t VisibleCount() const { return visibleCount; }
  // Builds the bitmaps first when a count left them for later.
  const TRecordsBitmap& Visible() const;
  // Only once the bitmaps are built (EnsureBuilt).
  bool IsVisible(uint32_t record) const;

  // ---- deferred work (engCursorFilterSet) ----------------------------------
  // A count from the index's key counts leaves the bitmaps unbuilt until
  // a walk needs them; a filter change that leaves the cursor at a crack
  // leaves the crack's key to be looked up when first read. Both are done
  // through the cursor, whose part this set is, so the const readers of
  // the cursor may settle them.
  bool BuildPending() const { return buildPending; }
  // The bitmaps hold as built for any order without a range: filtering
  // is on, built for the table's present size, and no range narrows it.
  bool HoldAcrossOrders() const;
  void EnsureBuilt() const;
  // The cursor stands at the before-first (or after-last) crack of what
  // it sees, next to a key not looked up yet.
  void DeferEdge(bool atEnd);
  bool EdgePending() const { return edgePending; }
  // Looks the crack's key up; nothing when none is pending.
  void SettleEdge() const;
  // A new position was set: any deferred one is void.
  void DropEdge() { edgePending = false; }
  // Some record is visible, or without filtering the window holds keys;
  // never builds.
  bool SeesAny() const;

  // ---- the bitmaps (engCursorBitmaps) -------------------------------------
  // Only the one filter's bitmap is evaluated again (nil: every filter); a
  // build that meets another user's change starts over.
  void Rebuild(TFilter* only = nullptr);
  // After only filter was switched on or changed: the visible records
  // counted from the index's key counts when that filter alone decides
  // them, the bitmaps built when first needed; else Rebuild(only).
  void RebuildOrCount(TFilter* only);
  void CombineVisible();
  // After the cursor wrote a record (present false: deleted it).
  void KeepRecordBits(uint32_t number, bool present);
  // The bitmap a read-ahead may follow: in natural order the visible
  // records; nil in index order.
  const TRecordsBitmap* ReadAheadBits() const;

  // ---- counting from key counts (engCursorFilterCount) --------------------
  // The records the condition accepts, from the index's key counts alone;
  // false when its shape asks for a walk. Exact on a sound table: every
  // record in use has one key in every index.
  bool TryCountCondition(const TExpToken& node, uint32_t& count);

  // ---- evaluation (engCursorFilterEval) ------------------------------------
  // Narrows bits to the records the node accepts.
  void EvaluateNode(TFilter& filter, const TExpToken* node, TRecordsBitmap& bits);
  // The AND node's conditions with an "=" and a BETWEEN taken together on a
  // two-field index; false (bits untouched) when no such pair is served.
  bool EvaluatePair(TFilter& filter, const TExpToken& node, TRecordsBitmap& bits);
  bool RecordPasses(TFilter& filter, const TExpToken* node, const uint8_t* record, uint32_t number);

private:
  TDataCursor& cursor;
  TOwnedList<TFilter> filters;
  // Reads the filter texts.
  std::unique_ptr<TExpressionParser> parser;
  bool on = false;
  int32_t visibleCount = 0;
  TPooledBitmap visible;
  TPooledBitmap inRange;
  TPooledBitmap inUse;
  bool building = false;
  // Set only while on: visibleCount holds, no bitmap does.
  mutable bool buildPending = false;
  mutable bool edgePending = false;
  // The order the edge was left in; another order voids it.
  uint8_t edgeIndexNo = 0;

  void RequireFilterRoom() const;
  // Whether an active dependent filter comes after the one at index.
  bool DependentAfter(int32_t index) const;
  TFilter* InsertFilter(std::unique_ptr<TFilter> filter, const TCursorFilterOptions& options);

  // The range narrows what the cursor sees (index order only).
  bool RangeApplies() const;
  // A Try... returns false when a read met another user's change.
  bool TryBuild(TFilter* only);
  bool TryBuildInUse();
  bool TryBuildInRange();
  bool TryEvaluate(TFilter& filter);
  void ScanRecords(TFilter& filter, const TExpToken* node, TRecordsBitmap& bits);
  bool AcceptsWrittenRecord(TFilter& filter, const uint8_t* record, uint32_t number);
  // The one active filter, when no other restriction but the records in
  // use applies; nil otherwise.
  TFilter* SoleRestriction() const;
  bool TryCountLeaf(const TExpToken& node, uint32_t& count);
  bool TryCountBoth(const TExpToken& first, const TExpToken& second, uint32_t& count);
};
