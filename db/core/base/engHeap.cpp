#include "engHeap.h"

#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engErrorCodes.h"
#include "engErrors.h"

namespace {

// Each block remembers its size in front of it, as the engine's heap
// reports a block's size exactly; this keeps the zero fill of grown blocks
// exact without touching the C heap's slack.
struct alignas(alignof(std::max_align_t)) TBlockHeader {
  size_t size;
};

TBlockHeader* HeaderOf(void* block) { return static_cast<TBlockHeader*>(block) - 1; }

std::atomic<int64_t> heapTotal{0};
// A lost count or high mark only moves a trim, so relaxed order will do.
std::atomic<int32_t> operationCount{0};
// The most bytes held since the last trim.
std::atomic<int64_t> heldSinceTrim{0};

void AddToTotal(int64_t change) {
  const int64_t held = heapTotal.fetch_add(change) + change;
  if (held > heldSinceTrim.load(std::memory_order_relaxed)) heldSinceTrim.store(held, std::memory_order_relaxed);
}

// The C heap merges freed neighbours and gives its top back on every free;
// what a trim adds is handing back the free pages caught between blocks in
// use, and for that it walks the whole heap. So a compaction point trims
// only when a release large enough to leave such pages has come since the
// last trim.
void CountOperation() {
  if (operationCount.fetch_add(1, std::memory_order_relaxed) + 1 < EngineHeapTrimInterval) return;
  operationCount.store(0, std::memory_order_relaxed);
  const int64_t held = heapTotal.load();
  if (heldSinceTrim.load(std::memory_order_relaxed) - held < EngineHeapTrimRelease) return;
  malloc_trim(0);
  heldSinceTrim.store(held, std::memory_order_relaxed);
}

size_t WithHeader(size_t size) {
  if (size > SIZE_MAX - sizeof(TBlockHeader)) RaiseEngineError(EngErrOutOfMemory);
  return size + sizeof(TBlockHeader);
}

}  // namespace

namespace {

void* Counted(TBlockHeader* header, size_t size) {
  if (!header) RaiseEngineError(EngErrOutOfMemory);
  header->size = size;
  AddToTotal(static_cast<int64_t>(size));
  return header + 1;
}

}  // namespace

void* EngineAllocMem(size_t size) { return Counted(static_cast<TBlockHeader*>(calloc(WithHeader(size), 1)), size); }

void* EngineAllocUncleared(size_t size) {
  void* block = Counted(static_cast<TBlockHeader*>(malloc(WithHeader(size))), size);
#if defined(ORV_ASSERTIONS)
  // A byte read before its maker wrote it shows as this, not as a zero
  // that happened to be there.
  memset(block, 0xA5, size);
#endif
  return block;
}

void* EngineReallocMem(void* block, size_t size) {
  TBlockHeader* old = block ? HeaderOf(block) : nullptr;
  size_t oldSize = old ? old->size : 0;
  auto* header = static_cast<TBlockHeader*>(realloc(old, WithHeader(size)));
  if (!header) RaiseEngineError(EngErrOutOfMemory);
  header->size = size;
  if (size > oldSize) memset(reinterpret_cast<char*>(header + 1) + oldSize, 0, size - oldSize);
  AddToTotal(static_cast<int64_t>(size) - static_cast<int64_t>(oldSize));
  CountOperation();
  return header + 1;
}

void EngineFreeMem(void*& block) {
  if (!block) return;
  TBlockHeader* header = HeaderOf(block);
  heapTotal.fetch_sub(static_cast<int64_t>(header->size));
  free(header);
  block = nullptr;
  CountOperation();
}

void GrowBuffer(int32_t size, int32_t step, void*& block, int32_t& capacity) {
  if (size < 1) {
    if (capacity > 0) {
      EngineFreeMem(block);
      capacity = 0;
    }
    return;
  }
  int64_t rounded = step > 1 ? (int64_t{size} + step - 1) / step * step : size;
  if (rounded > INT32_MAX) RaiseEngineError(EngErrOutOfMemory);
  if (rounded <= capacity) return;
  block = capacity == 0 ? EngineAllocMem(static_cast<size_t>(rounded))
                        : EngineReallocMem(block, static_cast<size_t>(rounded));
  capacity = static_cast<int32_t>(rounded);
}

int64_t EngineHeapTotal() { return heapTotal.load(); }

int32_t EngineHeapOperationCount() { return operationCount.load(std::memory_order_relaxed); }

void ResetEngineHeapCounters() {
  operationCount.store(0, std::memory_order_relaxed);
  heapTotal.store(0);
  heldSinceTrim.store(0, std::memory_order_relaxed);
}
