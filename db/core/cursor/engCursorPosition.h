#pragma once
// Where a cursor stands in its current order, and what its key range
// leaves it of that order. Both are kept between operations: a cursor holds
// no page or record of its table, only the key (index order) or the record
// number (natural order) it stands on, with what it last learnt of where
// that key lies in the tree, and finds its way back from there.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "rtlAssert.h"
#include "engBuffer.h"
#include "engCursorWalk.h"
#include "engIndexPage.h"
#include "engIndexTree.h"
#include "engKeyCompare.h"
#include "engShortCopy.h"

// Where a position stands against the records the cursor shows: on one,
// at the crack before the first or after the last, or, showing none, at
// both cracks at once (empty).
enum class TCursorPlace : uint8_t { OnRecord, BeforeFirst, AfterLast, Empty };

// The key or record stood on, its place in the order, and the crack.
//
// Invariants (CheckInvariant, after every change):
// - an empty position holds no key (all zero), record 0 and place 0;
// - a crack excludes a current record: the place is one value, so a
//   position is on a record, at one crack, or empty, never two of these;
// - a kept leaf (where a walk last found the key) exists only beside the
//   key of an index position (never empty), and names an entry from 1 on;
//   a natural position, or any change that may have moved the key in its
//   tree, drops it;
// - standing on a record, its place in the order counts from 1.
class TCursorPosition {
public:
  TCursorPosition() = default;
  TCursorPosition(const TCursorPosition&) = delete;
  TCursorPosition& operator=(const TCursorPosition&) = delete;

  TCursorPlace Place() const { return place; }
  bool OnRecord() const { return place == TCursorPlace::OnRecord; }
  bool IsEmpty() const { return place == TCursorPlace::Empty; }
  // At the crack before the first record (an empty position is too).
  bool AtBeginning() const { return place == TCursorPlace::BeforeFirst || place == TCursorPlace::Empty; }
  bool AtEnd() const { return place == TCursorPlace::AfterLast || place == TCursorPlace::Empty; }
  // The record stood on (or next to, at a crack); 0 when empty.
  uint32_t Record() const { return record; }
  // The 1-based place in the order of the key or record stood on.
  int32_t Logical() const { return logical; }
  // The key stood on (or next to) in index order, MaxIndexKeyLength bytes.
  const uint8_t* Key() const { return key; }
  // Where a walk last found the key (leaf offset; 0: not known) and its
  // entry there, for the next step to look before descending again.
  uint32_t KeptLeaf() const { return keptLeaf; }
  int KeptEntry() const { return keptEntry; }
  // The way the last descent that placed the cursor took, standing on the
  // kept entry; nullptr when it leads to another leaf than the kept one.
  const TTreeWay* WayToKeptKey() {
    const int leaf = keptWay.Levels - 1;
    if (leaf < 0 || keptLeaf == 0 || keptWay.Offsets[leaf] != keptLeaf) return nullptr;
    keptWay.Positions[leaf] = keptEntry;
    return &keptWay;
  }

  // Shows no records.
  void SetEmpty() {
    keptLeaf = 0;
    std::memset(key, 0, sizeof key);
    record = 0;
    logical = 0;
    place = TCursorPlace::Empty;
    CheckInvariant();
  }
  // In natural order: the key is not looked at (it stays as it was).
  void SetNatural(uint32_t number, int32_t at, TCursorPlace where) {
    ORV_ASSERT(where != TCursorPlace::Empty);
    keptLeaf = 0;
    record = number;
    logical = at;
    place = where;
    CheckInvariant();
  }
  // On (or at the crack next to) the walker's entry, its key keyLength
  // bytes; the walk's leaf kept, and its way when it descended.
  void SetIndex(const TLeafWalker& walker, uint16_t keyLength, TCursorPlace where) {
    ORV_ASSERT(where != TCursorPlace::Empty && walker.OnEntry());
    CopyFew(key, walker.Key(), size_t(keyLength));
    keptLeaf = walker.PageOffset();
    ORV_ASSERT(walker.Entry() <= UINT16_MAX);
    keptEntry = uint16_t(walker.Entry());
    // A walk resumed on its leaf made no descent: the way kept last still
    // leads there if the leaf is the same.
    if (walker.Way().Levels > 0) keptWay = walker.Way();
    record = walker.Record();
    logical = int32_t(walker.Logical());
    place = where;
    CheckInvariant();
  }
  // A step of a walk of several that passes the walker's entry: the key,
  // leaf and record go along, the place and the kept way stay.
  void PassEntry(const TLeafWalker& walker, uint16_t keyLength) {
    ORV_ASSERT(place != TCursorPlace::Empty && walker.OnEntry());
    std::memcpy(key, walker.Key(), keyLength);
    keptLeaf = walker.PageOffset();
    ORV_ASSERT(walker.Entry() <= UINT16_MAX);
    keptEntry = uint16_t(walker.Entry());
    record = walker.Record();
    logical = int32_t(walker.Logical());
    CheckInvariant();
  }
  // To the crack on one side of the key or record stood on (or next to).
  void ToCrack(TCursorPlace crack) {
    ORV_ASSERT(crack == TCursorPlace::BeforeFirst || crack == TCursorPlace::AfterLast);
    ORV_ASSERT(place != TCursorPlace::Empty);
    place = crack;
    CheckInvariant();
  }
  // To a crack whose key is looked up later: where the key lies is no
  // longer known.
  void ToCrackUnplaced(TCursorPlace crack) {
    keptLeaf = 0;
    ORV_ASSERT(crack == TCursorPlace::BeforeFirst || crack == TCursorPlace::AfterLast);
    place = crack;
    CheckInvariant();
  }
  // A key was put into the tree of the key stood on, which may have moved
  // in its tree: where it lies is found again. One that sorts before it
  // puts it one place on.
  void AfterKeyInserted(bool sortsBefore) {
    if (sortsBefore) ++logical;
    keptLeaf = 0;
    CheckInvariant();
  }
  // The key stood on was deleted: on the entry that followed it, which has
  // its place in the order.
  void TakeFollowingKey(const uint8_t* following, uint16_t keyLength, uint32_t number) {
    ORV_ASSERT(place == TCursorPlace::OnRecord);
    std::memcpy(key, following, keyLength);
    record = number;
    keptLeaf = 0;
    CheckInvariant();
  }

private:
  uint8_t key[MaxIndexKeyLength] = {};
  uint32_t keptLeaf = 0;
  // An entry of a leaf, as a tree way keeps it; with the place it fills
  // one word, so the range after the position in a cursor starts without
  // padding.
  uint16_t keptEntry = 0;
  TCursorPlace place = TCursorPlace::Empty;
  // Its leaf level is where the descent landed; it leads to the key while
  // that leaf is keptLeaf.
  TTreeWay keptWay;
  uint32_t record = 0;
  int32_t logical = 0;

  void CheckInvariant() const {
    ORV_ASSERT(place != TCursorPlace::Empty ||
               (record == 0 && logical == 0 && keptLeaf == 0 &&
                std::all_of(std::begin(key), std::end(key), [](uint8_t byte) { return byte == 0; })));
    ORV_ASSERT(keptLeaf == 0 || (place != TCursorPlace::Empty && keptEntry >= 1));
    ORV_ASSERT(place != TCursorPlace::OnRecord || logical >= 1);
  }
};

// A key range over the cursor's current index and the window of logical
// positions (1-based places in index order) it leaves the cursor. A side
// given no bound reaches to that end of the index.
//
// Invariants (CheckInvariant, after every change):
// - the bounds have their storage exactly while the cursor is open, and a
//   bound is read only on a side that has one;
// - a range that is not active has no bound on either side;
// - the window is empty (its last 0) or runs from 1 on, first to last in
//   order; a range bounded on both sides whose bounds are out of order
//   (low above high) has it empty (SetInverted).
class TCursorRange {
public:
  TCursorRange() = default;
  TCursorRange(const TCursorRange&) = delete;
  TCursorRange& operator=(const TCursorRange&) = delete;

  // The cursor opened over an index of keys keys: no range, the window the
  // whole index.
  void Open(int32_t keys) {
    low = TEngineBuffer(MaxIndexKeyLength);
    high = TEngineBuffer(MaxIndexKeyLength);
    Reset();
    SetWhole(keys);
  }
  void Close() {
    low.Reset();
    high.Reset();
    Reset();
    windowFirst = windowLast = 0;
    CheckInvariant();
  }

  bool Active() const { return active; }
  bool HasLow() const { return active && !lowOpen; }
  bool HasHigh() const { return active && !highOpen; }
  const uint8_t* Low() const {
    ORV_ASSERT(HasLow());
    return low.Get();
  }
  const uint8_t* High() const {
    ORV_ASSERT(HasHigh());
    return high.Get();
  }
  // Whether key lies below the low bound (above the high one) in the order
  // of comparer over length bytes; never on a side without a bound.
  bool Below(const uint8_t* key, const TKeyComparer& comparer, int length) const {
    return HasLow() && comparer.CompareKeys(key, low.Get(), length) < 0;
  }
  bool Above(const uint8_t* key, const TKeyComparer& comparer, int length) const {
    return HasHigh() && comparer.CompareKeys(key, high.Get(), length) > 0;
  }
  bool Outside(const uint8_t* key, const TKeyComparer& comparer, int length) const {
    return Below(key, comparer, length) || Above(key, comparer, length);
  }
  // Where a new range's bounds are built (MaxIndexKeyLength bytes), then
  // made the range by Set.
  uint8_t* LowToBuild() { return low.Get(); }
  uint8_t* HighToBuild() { return high.Get(); }
  void Set(bool hasLow, bool hasHigh) {
    ORV_ASSERT(low.Get() && high.Get());
    lowOpen = !hasLow;
    highOpen = !hasHigh;
    active = true;
    CheckInvariant();
  }
  void Reset() {
    active = false;
    lowOpen = highOpen = true;
    CheckInvariant();
  }
  // A twin's range: the same bounds.
  void CopyFrom(const TCursorRange& other) {
    ORV_ASSERT(low.Get() && high.Get() && other.low.Get() && other.high.Get());
    lowOpen = other.lowOpen;
    highOpen = other.highOpen;
    std::memcpy(low.Get(), other.low.Get(), MaxIndexKeyLength);
    std::memcpy(high.Get(), other.high.Get(), MaxIndexKeyLength);
    active = other.active;
    CheckInvariant();
  }

  int32_t WindowFirst() const { return windowFirst; }
  int32_t WindowLast() const { return windowLast; }
  bool WindowEmpty() const { return windowLast < 1 || windowLast < windowFirst; }
  // The keys the window holds.
  int32_t WindowCount() const { return windowFirst < 1 || windowLast < 1 ? 0 : windowLast - windowFirst + 1; }
  // The whole index of keys keys (no range, or natural order).
  void SetWhole(int32_t keys) {
    windowFirst = 1;
    windowLast = keys;
    CheckInvariant();
  }
  // The keys after the below first ones up to the upTo-th: empty when none.
  void SetWindow(uint32_t below, uint32_t upTo) {
    windowFirst = int32_t(below) + 1;
    windowLast = int32_t(upTo);
    if (windowLast < windowFirst) windowFirst = windowLast = 0;
    CheckInvariant();
  }
  // Bounds out of order: no key lies between them.
  void SetInverted() {
    ORV_ASSERT(HasLow() && HasHigh());
    windowFirst = windowLast = 0;
    CheckInvariant();
  }

private:
  bool active = false;
  bool lowOpen = true;
  bool highOpen = true;
  TEngineBuffer low;  // MaxIndexKeyLength bytes while open
  TEngineBuffer high;
  int32_t windowFirst = 0;
  int32_t windowLast = 0;

  void CheckInvariant() const {
    ORV_ASSERT(active || (lowOpen && highOpen));
    ORV_ASSERT(bool(low.Get()) == bool(high.Get()));
    ORV_ASSERT(windowFirst >= 0 && windowLast >= 0);
    ORV_ASSERT(windowLast == 0 || (windowFirst >= 1 && windowFirst <= windowLast));
  }
};
