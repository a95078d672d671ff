#pragma once
// Node blocks of one size, cut from large zero-filled slabs: a node costs
// its own bytes and no allocator header, and making a million of them is
// a pointer bump each. Freed blocks wait on a free list and are zeroed
// again when handed out; the slabs go with the pool. A caller that knows
// how many blocks it is about to take reserves them, so the run gets slabs
// of just that size (no half-empty doubling slab at the end).
// Sanitizer builds take every block from the allocator, so its checks see
// each node.

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

class TNodePool {
public:
  explicit TNodePool(size_t BlockSize);
  TNodePool(const TNodePool&) = delete;
  TNodePool& operator=(const TNodePool&) = delete;

  size_t BlockSize() const { return blockSize; }
  // A zero-filled block; std::bad_alloc when memory runs out. The common
  // case, a bump in the current slab, stays inline.
  void* Allocate() {
    if (!UseAllocator && !freeList && next != end) {
      void* block = next;
      next += blockSize;
      return block;
    }
    return AllocateSlow();
  }
  void Free(void* Block);
  // The next Blocks allocations are served without a further slab.
  void Reserve(size_t Blocks);

private:
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  static constexpr bool UseAllocator = true;
#else
  static constexpr bool UseAllocator = false;
#endif
  void* AllocateSlow();
  void AddSlab(size_t Blocks);

  struct TFreeSlab {
    void operator()(void* slab) const { std::free(slab); }
  };
  size_t blockSize;
  size_t nextSlabBlocks = 64;
  std::vector<std::unique_ptr<void, TFreeSlab>> slabs;
  char* next = nullptr;
  char* end = nullptr;
  void* freeList = nullptr;
  size_t freeBlocks = 0;
  size_t reserved = 0;  // blocks promised beyond the current slab
};
