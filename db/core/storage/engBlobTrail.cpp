#include "engBlobTrail.h"

#include <algorithm>

#include "engAssert.h"

namespace {

constexpr size_t FirstSlotCount = 16;

// Block offsets share their low bits; mix them before masking.
uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x45D9F3Bu;
  x ^= x >> 16;
  return x;
}

}  // namespace

uint32_t TBlockTrail::Get(int32_t index) const {
  ENG_ASSERT(index >= 0 && index < Count());
  return offsets[size_t(index)];
}

bool TBlockTrail::Contains(uint32_t offset) const {
  if (offset > highest) return false;
  CatchUp();
  const size_t mask = slots.size() - 1;
  for (size_t i = Mix(offset) & mask;; i = (i + 1) & mask) {
    if (slots[i] == offset) return true;
    if (slots[i] == 0) return false;
  }
}

void TBlockTrail::Add(uint32_t offset) {
  ENG_ASSERT(offset != 0 && !Contains(offset));
  offsets.push_back(offset);
  highest = std::max(highest, offset);
}

// At most half the slots are taken, so a probe always ends.
void TBlockTrail::CatchUp() const {
  if (offsets.size() * 2 > slots.size()) {
    size_t slotCount = std::max(slots.size(), FirstSlotCount);
    while (offsets.size() * 2 > slotCount) slotCount *= 2;
    slots.assign(slotCount, 0);
    indexed = 0;
  }
  for (; indexed < offsets.size(); ++indexed) Place(offsets[indexed]);
}

void TBlockTrail::Place(uint32_t offset) const {
  const size_t mask = slots.size() - 1;
  size_t i = Mix(offset) & mask;
  while (slots[i] != 0) i = (i + 1) & mask;
  slots[i] = offset;
}
