#pragma once
// The blocks a chain walk has passed, in walk order, with a quick test for
// whether an offset is among them: a chain that reaches one again runs in
// a circle, however long the circle is. Chains mostly run up the file, so
// an offset above every one passed is answered at once, and the offsets
// are indexed only when a walk first asks about a lower one.

#include <cstddef>
#include <cstdint>
#include <vector>

class TBlockTrail {
public:
  TBlockTrail() = default;
  TBlockTrail(const TBlockTrail&) = delete;
  TBlockTrail& operator=(const TBlockTrail&) = delete;

  int32_t Count() const { return int32_t(offsets.size()); }
  // In walk order.
  uint32_t Get(int32_t index) const;
  bool Contains(uint32_t offset) const;
  // A block offset (never 0) not yet on the trail.
  void Add(uint32_t offset);

private:
  std::vector<uint32_t> offsets;
  uint32_t highest = 0;
  // The index, brought up to date by Contains: open addressing, 0 marks a
  // free slot, a power of two of slots; offsets[0, indexed) are in it.
  mutable std::vector<uint32_t> slots;
  mutable size_t indexed = 0;

  void CatchUp() const;
  void Place(uint32_t offset) const;
};
