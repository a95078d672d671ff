#pragma once
// What a cursor standing on an index key knows of its leaf, to size the
// read-ahead of the records that come next: the records that follow the
// key's in the leaf without a gap, each way, and the records of the next
// entries of the leaf, each way, that a read of the current record takes
// along.

#include <cstdint>

class TLeafWalker;

// Invariant: each run lies within 0 .. MaxRun; each list holds 0 ..
// ListLimit records, and holds any only while it was taken (listed).
class TLeafReadAhead {
public:
  // Records a read ahead may take through an index at most.
  static constexpr int32_t MaxRun = 8191;
  static constexpr int ListLimit = 32;

  // Counted for the entry the walker stands on. stepLanding: the landing
  // of a walk's step of one record, whose read takes the next records
  // along. filling: a fill changes leaves without the cursor finding its
  // place again.
  void CountAt(const TLeafWalker& walker, bool stepLanding, bool filling);

  // Left to be counted by the first step that needs them.
  void CountAtFirstStep();
  // The cursor stands nowhere, or its edge waits to be found.
  void DropPosition();
  // The leaf the cursor stood on may have changed: its runs stay, but the
  // next step counts the lists anew.
  void LeafMayHaveChanged();
  // The cursor left index order.
  void LeaveLeaf() { runLeaf = 0; }
  // The walk ran off the end of the index.
  void EndRuns() { runForward = runBackward = 0; }

  int32_t Run(bool forward) const { return forward ? runForward : runBackward; }
  // Whether the lists are the records of a walk's next steps.
  bool Walking() const { return upcomingWalk; }
  int ListCount(bool forward) const { return upcomingCount[forward]; }
  const uint32_t* List(bool forward) const { return upcoming[forward]; }

private:
  int32_t runForward = 0;
  int32_t runBackward = 0;
  // The entry the runs were counted from: leaf offset, entry and record.
  uint32_t runLeaf = 0;
  int runEntry = 0;
  uint32_t runRecord = 0;
  uint32_t upcoming[2][ListLimit] = {};
  int upcomingCount[2] = {};
  // Whether each list was taken at the runs' entry (it was needed there).
  bool upcomingListed[2] = {};
  bool upcomingWalk = false;  // the position is one step from the last

  // Moves one list of next records with a step of one entry from the
  // record left.
  void Shift(const TLeafWalker& walker, bool forward, bool steppedForward, uint32_t left);
  void CheckInvariant() const;
};
