// Walking a cursor's records: positions and their cracks, moving by a
// number of records, the ends, sequence numbers and record counts, and
// loading the record under the cursor.
//
// In index order a crack lies next to the key the cursor keeps: before it
// (before-first) or after it (after-last). A key that is gone from the
// index leaves the cursor in the gap where it was.

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "rtlAssert.h"
#include "engCursor.h"
#include "engCursorWalk.h"
#include "engDataFile.h"
#include "engIndexFile.h"
#include "engRecordsBitmap.h"
#include "engTable.h"

// ---- positions -------------------------------------------------------------

void TDataCursor::SetEmptyPosition() {
  filtering.DropEdge();
  position.SetEmpty();
  readAhead.DropPosition();
}

void TDataCursor::SetNaturalPosition(uint32_t record, int32_t logical, TCursorPlace place) {
  filtering.DropEdge();
  readAhead.LeaveLeaf();
  position.SetNatural(record, logical, place);
}

void TDataCursor::SetIndexPosition(const TLeafWalker& walker, TCursorPlace place, TRunCount runs) {
  filtering.DropEdge();
  position.SetIndex(walker, indexState.KeyLength, place);
  if (runs == TRunCount::AtFirstStep) readAhead.CountAtFirstStep();
  else readAhead.CountAt(walker, runs == TRunCount::OnStep, filling);
}

// In index order a walk follows, which needs the bitmaps; natural order
// asks for them itself (filtering.Visible()).
bool TDataCursor::SeesRecords() const {
  if (filtering.FilteringOn() && !IsNaturalOrder()) filtering.EnsureBuilt();
  return filtering.SeesAny();
}

bool TDataCursor::RecordVisible(uint32_t record) const {
  return !filtering.FilteringOn() || filtering.IsVisible(record);
}

TDataCursor::TEntryFit TDataCursor::FitOf(const TLeafWalker& walker) const {
  if (!walker.OnEntry()) return TEntryFit::Stop;
  if (range.Outside(walker.Key(), indexState.Comparer, indexState.KeyLength)) return TEntryFit::Stop;
  return RecordVisible(walker.Record()) ? TEntryFit::Take : TEntryFit::Pass;
}

bool TDataCursor::StepToAcceptable(TLeafWalker& walker, const TStepOptions& options, bool& found) {
  found = false;
  const bool forward = options.Forward;
  if (!options.TakeCurrent && !(forward ? walker.Next() : walker.Prior())) return false;
  for (;;) {
    switch (FitOf(walker)) {
      case TEntryFit::Take:
        found = true;
        return true;
      case TEntryFit::Stop:
        return true;
      case TEntryFit::Pass:
        if (!(forward ? walker.Next() : walker.Prior())) return false;
        break;
    }
  }
}

// The first (or last) key the cursor may stand on: from the range's low
// (high) key, or from the end of the index.
bool TDataCursor::TryPlaceAtEdge(TEdge edge, bool& found) {
  found = false;
  const bool first = edge == TEdge::First;
  TLeafWalker walker(*this, indexNo, indexState.Comparer);
  bool hit = false;
  if (first) {
    if (!(range.HasLow() ? walker.ToKey(range.Low(), indexState.KeyLength, TLeafSearchEnd::FirstNotBelow, hit)
                         : walker.ToFirst()))
      return false;
  } else if (range.HasHigh()) {
    if (!walker.ToKey(range.High(), indexState.KeyLength, TLeafSearchEnd::PastLower, hit)) return false;
    if (!hit && !walker.Prior()) return false;
  } else if (!walker.ToLast()) {
    return false;
  }
  if (walker.IndexEmpty()) return true;
  if (!StepToAcceptable(walker, {.Forward = first, .TakeCurrent = true}, found)) return false;
  if (found) SetIndexPosition(walker);
  return true;
}

bool TDataCursor::LoadCurrentRecord() {
  if (!currentRecord.Held()) return false;
  currentRecord.Resize(CursorRecordSize());
  if (!OnRecord()) {
    ClearRecord(currentRecord.Buffer());
    return false;
  }
  // A record held in this process's memory is copied from where it is
  // held, with nothing run between the look-up and the copy that could
  // move it: no cache entry is taken (and none given up) for it. No other
  // process can have changed it.
  if (const uint8_t* held = DataFile().HeldRecordImage(position.Record())) {
    if (movingForward) AskAheadForHeld(held);
    currentRecord.CopyStored(held, DataFile().RecordSize(), position.Record());
    if (HasComputedFields()) ComputeFields(currentRecord.Buffer());
    return true;
  }
  TRecord* record = nullptr;
  const TRecordReadOptions walk{.Forward = movingForward, .ReadAhead = true, .CursorSized = true};
  if (!DataFile().GetRecord(this, position.Record(), walk, record)) {
    // Another user's change: the cursor finds its place again, which
    // loads the record of that place.
    if (!resynchronising) {
      Resynchronise();
      return false;
    }
    if (!DataFile().GetRecord(this, position.Record(), {.CursorSized = true}, record)) {
      ClearRecord(currentRecord.Buffer());
      return false;
    }
  }
  currentRecord.CopyFrom(*record);
  DataFile().ReleaseRecord(record);
  if (HasComputedFields()) ComputeFields(currentRecord.Buffer());
  return true;
}

// An answer's held records lie one after the other, and a reader walking
// forward takes them in that order with its own work on each in between,
// which leaves the processor's own look-ahead behind: each record's copy
// waited for memory (half the copying of a month's answer read back). The
// record a few places on is asked for now; an address past the held
// images is only a hint, never read.
void TDataCursor::AskAheadForHeld(const uint8_t* held) const {
  constexpr size_t RecordsAhead = 4;
  constexpr size_t CacheLine = 64;
  const size_t size = size_t(DataFile().RecordSize());
  const uintptr_t ahead = reinterpret_cast<uintptr_t>(held) + RecordsAhead * size;
  for (size_t at = 0; at < size; at += CacheLine) __builtin_prefetch(reinterpret_cast<const void*>(ahead + at));
}

const uint8_t* TDataCursor::GetCurrentRecordBuffer() const {
  return currentRecord.Held() ? currentRecord.Buffer() : nullptr;
}

// ---- moving ----------------------------------------------------------------

void TDataCursor::MoveBy(int32_t n) {
  RequireOpen();
  TOperationBracket bracket(*this);
  MoveAndLoad(n);
}

bool TDataCursor::MoveAndLoad(int32_t n) {
  if (n != 0) {
    movingForward = n > 0;
    if (IsNaturalOrder()) {
      MoveNatural(n);
    } else {
      TLeafWalker walker(*this, indexNo, indexState.Comparer);
      while (!TryMoveIndex(walker, n)) AfterChangeSeen();
    }
  }
  return LoadCurrentRecord();
}

bool TDataCursor::TryMoveIndex(TLeafWalker& walker, int32_t n) {
  filtering.SettleEdge();
  if (!SeesRecords() || position.IsEmpty()) {
    SetEmptyPosition();
    return true;
  }
  bool exact = false;
  // Back where the kept key was last found, without a descent. Any change
  // to the table since made the cursor find its place again, which
  // remembered it anew; only a fill writes without that.
  bool resumed = false;
  const uint8_t* kept = position.Key();
  if (position.KeptLeaf() != 0 && !filling && !snapshot.Differs(*table) &&
      !walker.Resume(position.KeptLeaf(), position.KeptEntry(), kept, position.Record(), uint32_t(position.Logical()),
                     resumed))
    return false;
  if (resumed) exact = true;
  else if (!walker.ToKey(kept, indexState.KeyLength, TLeafSearchEnd::PastLower, exact)) return false;
  if (walker.IndexEmpty()) {
    SetEmptyPosition();
    return true;
  }
  const bool forward = n > 0;
  // The walk stands on the kept key, or on the entry after the gap it left.
  const TCursorPlace from = position.Place();
  bool takeCurrent = forward ? (!exact || from == TCursorPlace::BeforeFirst) : (exact && from == TCursorPlace::AfterLast);
  // A landing reached by steps from an entry holding the kept key is past
  // it: the walker checks every step against the key it left.
  bool stepsFromKept = exact && !takeCurrent;
  // One record on from a record: a walk, also into the next leaf.
  const TRunCount runs = stepsFromKept && (n == 1 || n == -1) ? TRunCount::OnStep : TRunCount::Now;
  int32_t remaining = std::abs(n);
  while (remaining > 0) {
    bool found = false;
    if (!StepToAcceptable(walker, {.Forward = forward, .TakeCurrent = takeCurrent}, found)) return false;
    if (!found) break;
    // Only the kept key itself may be taken again, from the crack next to
    // it: anything else that is no step past it would repeat forever.
    auto outOfOrder = [&] {
      const int order = CompareKeys(walker.Key(), kept, indexState.KeyLength);
      return forward ? order < 0 || (order == 0 && from != TCursorPlace::BeforeFirst)
                     : order > 0 || (order == 0 && from != TCursorPlace::AfterLast);
    };
    if (stepsFromKept) ORV_ASSERT(!outOfOrder());
    else if (outOfOrder()) walker.Corrupt();
    takeCurrent = false;
    stepsFromKept = true;
    --remaining;
    if (remaining == 0) {
      SetIndexPosition(walker, TCursorPlace::OnRecord, runs);
      return true;
    }
    position.PassEntry(walker, indexState.KeyLength);
  }
  // Ran off the end: the crack lies beyond the last key reached.
  position.ToCrack(forward ? TCursorPlace::AfterLast : TCursorPlace::BeforeFirst);
  readAhead.EndRuns();
  return true;
}

// After the last visible record.
void TDataCursor::SetNaturalEnd() {
  SetNaturalPosition(uint32_t(filtering.Visible().RecordCount()) + 1, filtering.VisibleCount() + 1,
                     TCursorPlace::AfterLast);
}

void TDataCursor::MoveNatural(int32_t n) {
  const TRecordsBitmap& visible = filtering.Visible();
  if (filtering.VisibleCount() == 0) {
    SetEmptyPosition();
    return;
  }
  int32_t record;
  int32_t counter;
  if (position.AtBeginning()) {
    record = counter = 0;
  } else if (position.AtEnd()) {
    record = visible.RecordCount() + 1;
    counter = filtering.VisibleCount() + 1;
  } else {
    record = int32_t(position.Record());
    counter = position.Logical();
    // A record that left the visible set leaves a gap ranked by what precedes it.
    if (!RecordVisible(position.Record())) counter = visible.CountSetBefore(record) + (n > 0 ? 0 : 1);
  }
  const bool found = n > 0 ? visible.FindNext(record, n, counter) : visible.FindPrior(record, -n, counter);
  if (found) SetNaturalPosition(uint32_t(record), counter);
  else if (n > 0) SetNaturalEnd();
  else SetNaturalPosition(0, 0, TCursorPlace::BeforeFirst);
}

void TDataCursor::SetToBegin() {
  RequireOpen();
  TOperationBracket bracket(*this);
  movingForward = true;
  if (!SeesRecords()) {
    SetEmptyPosition();
  } else if (IsNaturalOrder()) {
    SetNaturalPosition(0, 0, TCursorPlace::BeforeFirst);
  } else {
    bool found = false;
    while (!TryPlaceAtEdge(TEdge::First, found)) AfterChangeSeen();
    if (found) position.ToCrack(TCursorPlace::BeforeFirst);
    else SetEmptyPosition();
  }
  LoadCurrentRecord();
}

void TDataCursor::SetToEnd() {
  RequireOpen();
  TOperationBracket bracket(*this);
  movingForward = false;
  if (!SeesRecords()) {
    SetEmptyPosition();
  } else if (IsNaturalOrder()) {
    SetNaturalEnd();
  } else {
    bool found = false;
    while (!TryPlaceAtEdge(TEdge::Last, found)) AfterChangeSeen();
    if (found) position.ToCrack(TCursorPlace::AfterLast);
    else SetEmptyPosition();
  }
  LoadCurrentRecord();
}

// After a search that had the cursor at a crack: a key at the edge of
// what the cursor sees keeps the crack next to it; with keys now beyond
// it (another user added them, a new range shows them) the cursor goes to
// the crack at that edge of what it now sees, so the next step in from
// the edge hands out every record, the new ones first.
void TDataCursor::KeepCrack(TCursorPlace was) {
  if (was != TCursorPlace::BeforeFirst && was != TCursorPlace::AfterLast) return;
  const bool first = was == TCursorPlace::BeforeFirst;
  TLeafWalker walker(*this, indexNo, indexState.Comparer);
  while (!TryMoveIndex(walker, first ? -1 : 1)) AfterChangeSeen();
  if (!OnRecord()) return;
  bool found = false;
  while (!TryPlaceAtEdge(first ? TEdge::First : TEdge::Last, found)) AfterChangeSeen();
  if (!found) SetEmptyPosition();
  else position.ToCrack(was);
}

// ---- counts and sequence numbers -------------------------------------------

int32_t TDataCursor::GetRecordCount() const {
  if (filtering.FilteringOn()) return filtering.VisibleCount();
  return range.WindowCount();
}

int32_t TDataCursor::GetSequenceNo() const {
  if (IsNaturalOrder()) return position.Logical();
  filtering.SettleEdge();
  if (position.Logical() < 1) return 0;
  return position.Logical() - range.WindowFirst() + 1;
}

// The n-th record the cursor sees, in natural order as in index order.
void TDataCursor::SetToSequenceNo(int32_t n) {
  RequireOpen();
  TOperationBracket bracket(*this);
  if (IsNaturalOrder()) {
    SetSequenceNatural(n);
  } else {
    while (!TrySetSequenceIndex(n)) AfterChangeSeen();
  }
  LoadCurrentRecord();
}

void TDataCursor::SetSequenceNatural(int32_t n) {
  if (filtering.VisibleCount() == 0) {
    SetEmptyPosition();
  } else if (n < 1) {
    SetNaturalPosition(0, 0, TCursorPlace::BeforeFirst);
  } else if (n > filtering.VisibleCount()) {
    SetNaturalEnd();
  } else {
    int32_t record = 0;
    int32_t counter = 0;
    filtering.Visible().FindNext(record, n, counter);
    SetNaturalPosition(uint32_t(record), n);
  }
}

bool TDataCursor::TrySetSequenceIndex(int32_t n) {
  if (!SeesRecords()) {
    SetEmptyPosition();
    return true;
  }
  bool found = false;
  if (!TryPlaceAtEdge(TEdge::First, found)) return false;
  if (!found) {
    SetEmptyPosition();
    return true;
  }
  if (GetSequenceNo() > n) {
    position.ToCrack(TCursorPlace::BeforeFirst);
    return true;
  }
  if (!TryPlaceAtEdge(TEdge::Last, found)) return false;
  if (GetSequenceNo() < n) {
    position.ToCrack(TCursorPlace::AfterLast);
    return true;
  }
  TLeafWalker walker(*this, indexNo, indexState.Comparer);
  if (!walker.ToLogical(uint32_t(range.WindowFirst() + n - 1))) return false;
  if (!StepToAcceptable(walker, {.Forward = true, .TakeCurrent = true}, found)) return false;
  if (!found) {
    if (!walker.ToLogical(uint32_t(range.WindowFirst() + n - 1))) return false;
    if (!StepToAcceptable(walker, {.Forward = false, .TakeCurrent = true}, found)) return false;
  }
  if (found) SetIndexPosition(walker);
  return true;
}
