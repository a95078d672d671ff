// The runs and next records of a cursor's leaf.

#include "engCursorReadAhead.h"

#include <algorithm>
#include <cstring>

#include "rtlAssert.h"
#include "engCursorWalk.h"

void TLeafReadAhead::CountAt(const TLeafWalker& walker, bool stepLanding, bool filling) {
  const uint32_t leaf = walker.PageOffset();
  const uint32_t record = walker.Record();
  const uint32_t lastLeaf = runLeaf;
  const uint32_t lastRecord = runRecord;
  // An entry inside the runs last counted, of the same leaf, holding the
  // record the runs put there: the runs move with it instead of being
  // counted again over the whole leaf (a walk, a step back from the end to
  // the last key, the end again a few keys after a walk back). They only
  // size the read-ahead, so a leaf changed so that the same record sits at
  // the same distance costs at most a read-ahead of another size.
  const int64_t moved = int64_t(walker.Entry()) - runEntry;
  if (leaf != 0 && leaf == runLeaf && -moved < runBackward && moved < runForward &&
      int64_t(record) == int64_t(runRecord) + moved) {
    runForward = int32_t(std::min<int64_t>(runForward - moved, MaxRun));
    runBackward = int32_t(std::min<int64_t>(runBackward + moved, MaxRun));
  } else {
    runForward = walker.RecordRun(true, MaxRun);
    runBackward = walker.RecordRun(false, MaxRun);
  }
  runLeaf = leaf;
  runEntry = walker.Entry();
  runRecord = record;
  // Only a position one step from the last is a walk; after a search the
  // leaf's next entries are no better a guess than any others. Inside a
  // long run the read-ahead takes the records already.
  upcomingWalk = stepLanding || (upcomingCount[1] > 0 && upcoming[1][0] == record) ||
                 (upcomingCount[0] > 0 && upcoming[0][0] == record);
  // One entry on in the same leaf, the lists move by one entry too. A fill
  // changes leaves without the cursor finding its place again: it counts.
  const bool oneStep = leaf != 0 && leaf == lastLeaf && (moved == 1 || moved == -1) && !filling;
  for (const bool forward : {false, true}) {
    const bool needed = (forward ? runForward : runBackward) < ListLimit;
    if (!needed) upcomingCount[forward] = 0;
    else if (oneStep && upcomingListed[forward]) Shift(walker, forward, moved > 0, lastRecord);
    else upcomingCount[forward] = walker.LeafRecords(forward, upcoming[forward], ListLimit);
    upcomingListed[forward] = needed;
  }
  CheckInvariant();
}

void TLeafReadAhead::CountAtFirstStep() {
  runForward = runBackward = 0;
  runLeaf = 0;
  upcomingCount[0] = upcomingCount[1] = 0;
  upcomingListed[0] = upcomingListed[1] = false;
  upcomingWalk = false;
}

void TLeafReadAhead::DropPosition() {
  runLeaf = 0;
  runForward = runBackward = 0;
  upcomingCount[0] = upcomingCount[1] = 0;
  upcomingWalk = false;
}

void TLeafReadAhead::LeafMayHaveChanged() {
  runLeaf = 0;
  upcomingCount[0] = upcomingCount[1] = 0;
  upcomingWalk = false;
}

// The list ahead loses the entry stepped onto and gains one at its far
// end; the list behind gains the entry stepped off.
void TLeafReadAhead::Shift(const TLeafWalker& walker, bool forward, bool steppedForward, uint32_t left) {
  uint32_t* list = upcoming[forward];
  int& count = upcomingCount[forward];
  if (forward == steppedForward) {
    const bool full = count == ListLimit;
    if (count > 0) std::memmove(list, list + 1, sizeof(uint32_t) * size_t(--count));
    uint32_t far = 0;
    if (full && walker.RecordBeside(forward ? ListLimit : -ListLimit, far)) list[count++] = far;
  } else {
    count = std::min(count + 1, ListLimit);
    std::memmove(list + 1, list, sizeof(uint32_t) * size_t(count - 1));
    list[0] = left;
  }
}

void TLeafReadAhead::CheckInvariant() const {
  ORV_ASSERT(runForward >= 0 && runForward <= MaxRun);
  ORV_ASSERT(runBackward >= 0 && runBackward <= MaxRun);
  for (const int way : {0, 1}) {
    ORV_ASSERT(upcomingCount[way] >= 0 && upcomingCount[way] <= ListLimit);
    ORV_ASSERT(upcomingCount[way] == 0 || upcomingListed[way]);
  }
}
