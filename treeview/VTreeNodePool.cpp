#include "VTreeNodePool.h"

#include "rtlAssert.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Slabs made for single allocations grow to this many blocks at most: the
// unused rest of the last one stays small beside the nodes in use.
constexpr size_t MaxSlabBlocks = 16384;
// Reserved runs come in slabs of at most this size: small enough for the
// allocator to reuse freed ones (larger ones are fresh pages every time).
constexpr size_t MaxReservedSlabBytes = size_t{16} << 20;

}  // namespace

TNodePool::TNodePool(size_t BlockSize)
    : blockSize((std::max(BlockSize, sizeof(void*)) + alignof(std::max_align_t) / 2 - 1) &
                ~(alignof(std::max_align_t) / 2 - 1)) {}

void* TNodePool::AllocateSlow() {
  if (UseAllocator) {
    void* block = std::calloc(1, blockSize);
    if (!block) throw std::bad_alloc();
    return block;
  }
  if (freeList) {
    void* block = freeList;
    freeList = *static_cast<void**>(block);
    --freeBlocks;
    std::memset(block, 0, blockSize);
    return block;
  }
  if (next == end && reserved > 0) {
    const size_t blocks = std::min(reserved, std::max<size_t>(1, MaxReservedSlabBytes / blockSize));
    AddSlab(blocks);
    reserved -= blocks;
  } else if (next == end) {
    AddSlab(nextSlabBlocks);
    nextSlabBlocks = std::min(nextSlabBlocks * 2, MaxSlabBlocks);
  }
  void* block = next;
  next += blockSize;
  return block;
}

void TNodePool::AddSlab(size_t Blocks) {
  ORV_ASSERT(next == end);
  // Fresh pages from calloc are zero already.
  void* slab = std::calloc(Blocks, blockSize);
  if (!slab) throw std::bad_alloc();
  slabs.emplace_back(slab);
  next = static_cast<char*>(slab);
  end = next + Blocks * blockSize;
}

void TNodePool::Free(void* Block) {
  if (UseAllocator) {
    std::free(Block);
    return;
  }
  *static_cast<void**>(Block) = freeList;
  freeList = Block;
  ++freeBlocks;
}

void TNodePool::Reserve(size_t Blocks) {
  if (UseAllocator) return;
  const size_t inSlab = static_cast<size_t>(end - next) / blockSize;
  if (freeBlocks + inSlab >= Blocks) return;
  reserved = Blocks - freeBlocks - inSlab;
}
