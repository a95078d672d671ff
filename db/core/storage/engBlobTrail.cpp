#include "engBlobTrail.h"

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

TBlockTrail::TBlockTrail(uint32_t step) : step(step) { ORV_ASSERT(step > 0); }

bool TBlockTrail::Indexed(uint32_t offset) const {
  CatchUp();
  const size_t mask = slots.size() - 1;
  for (size_t i = Mix(offset) & mask;; i = (i + 1) & mask) {
    if (slots[i] == offset) return true;
    if (slots[i] == 0) return false;
  }
}

void TBlockTrail::StartRun(uint32_t first, int32_t blocks) {
  if (count == 0)
    head = {first, blocks};
  else
    rest.push_back({first, blocks});
}

// At most half the slots are taken, so a probe always ends.
void TBlockTrail::CatchUp() const {
  if (size_t(count) * 2 > slots.size()) {
    size_t slotCount = std::max(slots.size(), FirstSlotCount);
    while (size_t(count) * 2 > slotCount) slotCount *= 2;
    slots.assign(slotCount, 0);
    indexed = 0;
    indexRun = 0;
    indexInRun = 0;
  }
  for (; indexed < count; ++indexed) {
    if (indexInRun == RunAt(indexRun).Blocks) {
      ++indexRun;
      indexInRun = 0;
    }
    Place(RunAt(indexRun).First + uint32_t(indexInRun++) * step);
  }
}

void TBlockTrail::Place(uint32_t offset) const {
  const size_t mask = slots.size() - 1;
  size_t i = Mix(offset) & mask;
  while (slots[i] != 0) i = (i + 1) & mask;
  slots[i] = offset;
}
