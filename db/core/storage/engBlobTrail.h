#pragma once
// The blocks a chain walk has passed, in walk order, with a quick test for
// whether an offset is among them: a chain that reaches one again runs in
// a circle, however long the circle is. Chains mostly run up the file in
// consecutive blocks, so the trail keeps runs of consecutive blocks (the
// first in place, without allocating), an offset above every one passed is
// answered at once, and the offsets are indexed only when a walk first
// asks about a lower one.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "rtlAssert.h"

class TBlockTrail {
public:
  // step: the file's block size, the distance of consecutive blocks.
  explicit TBlockTrail(uint32_t step);
  TBlockTrail(const TBlockTrail&) = delete;
  TBlockTrail& operator=(const TBlockTrail&) = delete;

  int32_t Count() const { return count; }
  // The highest offset on the trail, 0 while it is empty.
  uint32_t Highest() const { return highest; }
  bool Contains(uint32_t offset) const { return offset <= highest && Indexed(offset); }
  // A block offset (never 0) not yet on the trail.
  void Add(uint32_t offset) {
    ORV_ASSERT(offset != 0 && !Contains(offset));
    TRun& last = rest.empty() ? head : rest.back();
    if (count > 0 && offset == last.First + uint32_t(last.Blocks) * step)
      ++last.Blocks;
    else
      StartRun(offset, 1);
    ++count;
    highest = std::max(highest, offset);
  }
  // blocks consecutive blocks from first, all above every offset on the
  // trail.
  void AddRun(uint32_t first, int32_t blocks) {
    ORV_ASSERT(first != 0 && blocks > 0 && (count == 0 || first > highest));
    TRun& last = rest.empty() ? head : rest.back();
    if (count > 0 && first == last.First + uint32_t(last.Blocks) * step)
      last.Blocks += blocks;
    else
      StartRun(first, blocks);
    count += blocks;
    highest = first + uint32_t(blocks - 1) * step;
  }
  // The offsets in walk order.
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (size_t run = 0; run < RunCount(); ++run)
      for (int32_t i = 0; i < RunAt(run).Blocks; ++i) visit(RunAt(run).First + uint32_t(i) * step);
  }

private:
  struct TRun {
    uint32_t First = 0;
    int32_t Blocks = 0;
  };
  uint32_t step;
  TRun head;               // the first run
  std::vector<TRun> rest;  // the runs after it
  int32_t count = 0;
  uint32_t highest = 0;
  // The index, brought up to date by Contains: open addressing, 0 marks a
  // free slot, a power of two of slots; the first indexed blocks in walk
  // order are in it, up to block indexInRun of run indexRun.
  mutable std::vector<uint32_t> slots;
  mutable int32_t indexed = 0;
  mutable size_t indexRun = 0;
  mutable int32_t indexInRun = 0;

  size_t RunCount() const { return count == 0 ? 0 : 1 + rest.size(); }
  const TRun& RunAt(size_t run) const { return run == 0 ? head : rest[run - 1]; }
  void StartRun(uint32_t first, int32_t blocks);
  bool Indexed(uint32_t offset) const;
  void CatchUp() const;
  void Place(uint32_t offset) const;
};
