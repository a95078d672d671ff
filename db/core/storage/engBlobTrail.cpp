#include "engBlobTrail.h"

namespace {

constexpr int32_t FirstSlotCount = 16;
constexpr int32_t OffsetStep = 1024;

// Block offsets share their low bits; mix them before masking.
uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x45D9F3Bu;
  x ^= x >> 16;
  return x;
}

}  // namespace

TBlockTrail::~TBlockTrail() {
  EngineFreeMem(offsets);
  EngineFreeMem(slots);
}

bool TBlockTrail::Contains(uint32_t offset) const {
  if (slotCount == 0) return false;
  const uint32_t mask = uint32_t(slotCount - 1);
  for (uint32_t i = Mix(offset) & mask;; i = (i + 1) & mask) {
    if (slots[i] == offset) return true;
    if (slots[i] == 0) return false;
  }
}

void TBlockTrail::Add(uint32_t offset) {
  if (int64_t(count + 1) * 2 > slotCount) Rehash(slotCount == 0 ? FirstSlotCount : slotCount * 2);
  GrowBuffer(int32_t(sizeof(uint32_t)) * (count + 1), OffsetStep, offsets, offsetBytes);
  offsets[count++] = offset;
  Place(offset);
}

void TBlockTrail::Place(uint32_t offset) {
  const uint32_t mask = uint32_t(slotCount - 1);
  uint32_t i = Mix(offset) & mask;
  while (slots[i] != 0) i = (i + 1) & mask;
  slots[i] = offset;
}

void TBlockTrail::Rehash(int32_t newSlotCount) {
  EngineFreeMem(slots);
  slots = static_cast<uint32_t*>(EngineAllocMem(sizeof(uint32_t) * size_t(newSlotCount)));
  slotCount = newSlotCount;
  for (int32_t i = 0; i < count; ++i) Place(offsets[i]);
}
