#pragma once
// The blocks a chain walk has passed, in walk order, with a quick test for
// whether an offset is among them: a chain that reaches one again runs in
// a circle, however long the circle is.

#include <cstdint>

#include "engHeap.h"

class TBlockTrail : public TEngineObject {
public:
  TBlockTrail() = default;
  ~TBlockTrail() override;
  TBlockTrail(const TBlockTrail&) = delete;
  TBlockTrail& operator=(const TBlockTrail&) = delete;

  int32_t Count() const { return count; }
  // In walk order.
  uint32_t Get(int32_t index) const { return offsets[index]; }
  bool Contains(uint32_t offset) const;
  // A block offset (never 0) not yet on the trail.
  void Add(uint32_t offset);

private:
  uint32_t* offsets = nullptr;
  int32_t offsetBytes = 0;
  int32_t count = 0;
  uint32_t* slots = nullptr;  // open addressing; 0 marks a free slot
  int32_t slotCount = 0;      // a power of two

  void Place(uint32_t offset);
  void Rehash(int32_t newSlotCount);
};
