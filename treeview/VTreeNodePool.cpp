#include "VTreeNodePool.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Slabs grow to this many blocks at most.
constexpr size_t MaxSlabBlocks = 65536;

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
    std::memset(block, 0, blockSize);
    return block;
  }
  if (next == end) {
    // Fresh pages from calloc are zero already.
    void* slab = std::calloc(nextSlabBlocks, blockSize);
    if (!slab) throw std::bad_alloc();
    slabs.emplace_back(slab);
    next = static_cast<char*>(slab);
    end = next + nextSlabBlocks * blockSize;
    nextSlabBlocks = std::min(nextSlabBlocks * 2, MaxSlabBlocks);
  }
  void* block = next;
  next += blockSize;
  return block;
}

void TNodePool::Free(void* Block) {
  if (UseAllocator) {
    std::free(Block);
    return;
  }
  *static_cast<void**>(Block) = freeList;
  freeList = Block;
}
