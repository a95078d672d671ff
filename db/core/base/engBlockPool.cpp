#include "engBlockPool.h"

#include <sys/mman.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "rtlAssert.h"
#include "engErrorCodes.h"
#include "engErrors.h"

namespace {

constexpr size_t MostKeptBlocks = size_t(PoolKeptBytes / int64_t(PooledBlockBytes));
static_assert(PoolSlabBytes % PooledBlockBytes == 0);
constexpr size_t BlocksPerSlab = PoolSlabBytes / PooledBlockBytes;

// The start of the slab that holds block (slabs are aligned to their size).
uintptr_t SlabBase(const uint8_t* block) {
  return reinterpret_cast<uintptr_t>(block) & ~uintptr_t(PoolSlabBytes - 1);
}

// What the pool knows of one slab's blocks: those out with their owners
// and those kept idle, with their pages; the rest hold none (never touched,
// or given back to the system).
struct TSlab {
  size_t Out = 0;
  size_t Kept = 0;
};

// Sessions on other threads take and give back blocks too. Never freed:
// a thread abandoned at exit may still give its blocks back.
struct TBlockPool {
  TBlockPool() { idle.reserve(MostKeptBlocks); }
  std::mutex lock;
  std::vector<uint8_t*> idle;   // never grown while a block is given back
  std::vector<uint8_t*> empty;  // room for every slab's blocks, so never grown while one is given back
  std::map<uintptr_t, TSlab> slabs;

  TSlab& SlabOf(const uint8_t* block) {
    const auto found = slabs.find(SlabBase(block));
    ORV_ASSERT(found != slabs.end());
    return found->second;
  }
};

TBlockPool& Pool() {
  static TBlockPool* pool = new TBlockPool;
  return *pool;
}

void Poison([[maybe_unused]] uint8_t* bytes, [[maybe_unused]] size_t size) {
#if defined(__SANITIZE_ADDRESS__)
  ASAN_POISON_MEMORY_REGION(bytes, size);
#endif
}

void Unpoison([[maybe_unused]] uint8_t* bytes, [[maybe_unused]] size_t size) {
#if defined(__SANITIZE_ADDRESS__)
  ASAN_UNPOISON_MEMORY_REGION(bytes, size);
#endif
}

// A slab aligned to its size, so that the system may back it with one
// large page: an answer's held records and chains, tens of megabytes read
// and written in a stream, missed the address cache on every small page
// (a tenth of a 90,000-row answer's statement on a virtual machine). Its
// blocks are placed as empty ones; nullptr when the system has no room.
uint8_t* MapSlab(TBlockPool& pool) {
  pool.empty.reserve((pool.slabs.size() + 1) * BlocksPerSlab);
  void* mapped = mmap(nullptr, 2 * PoolSlabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t base = (start + PoolSlabBytes - 1) & ~uintptr_t(PoolSlabBytes - 1);
  if (base > start) munmap(mapped, base - start);
  munmap(reinterpret_cast<void*>(base + PoolSlabBytes), start + PoolSlabBytes - base);
  uint8_t* const bytes = reinterpret_cast<uint8_t*>(base);
  madvise(bytes, PoolSlabBytes, MADV_HUGEPAGE);  // advice: without it the slab works as small pages
  pool.slabs.emplace(base, TSlab{});
  for (size_t i = BlocksPerSlab; i-- > 0;) pool.empty.push_back(bytes + i * PooledBlockBytes);
  Poison(bytes, PoolSlabBytes);
  return bytes;
}

}  // namespace

TPooledBlock::TPooledBlock(size_t size) : size(size) {
  if (size == PooledBlockBytes) {
    TBlockPool& pool = Pool();
    std::lock_guard<std::mutex> held(pool.lock);
    if (!pool.idle.empty()) {
      bytes = pool.idle.back();
      pool.idle.pop_back();
      --pool.SlabOf(bytes).Kept;
    } else if (!pool.empty.empty() || MapSlab(pool)) {
      bytes = pool.empty.back();
      pool.empty.pop_back();
    }
    if (bytes) {
      ++pool.SlabOf(bytes).Out;
      Unpoison(bytes, size);
      return;
    }
  }
  bytes = new (std::nothrow) uint8_t[size];
  if (!bytes) {
    this->size = 0;
    RaiseEngineError(EngErrOutOfMemory);
  }
}

void TPooledBlock::Release() {
  if (!bytes) return;
  if (size != PooledBlockBytes) {
    delete[] std::exchange(bytes, nullptr);
    size = 0;
    return;
  }
  TBlockPool& pool = Pool();
  std::lock_guard<std::mutex> held(pool.lock);
  uint8_t* const block = std::exchange(bytes, nullptr);
  size = 0;
  const auto found = pool.slabs.find(SlabBase(block));
  if (found == pool.slabs.end()) {
    // Taken from the heap when the system had no room for a slab.
    delete[] block;
    return;
  }
  Poison(block, PooledBlockBytes);  // a block kept is as out of bounds as a freed one would be
  TSlab& slab = found->second;
  --slab.Out;
  if (pool.idle.size() < MostKeptBlocks) {
    pool.idle.push_back(block);
    ++slab.Kept;
    return;
  }
  // Past the bound the block's pages go back to the system, and with its
  // slab's last block the slab.
  if (slab.Out == 0 && slab.Kept == 0) {
    const uintptr_t base = SlabBase(block);
    std::erase_if(pool.empty, [base](const uint8_t* other) {
      return SlabBase(other) == base;
    });
    pool.slabs.erase(base);
    munmap(reinterpret_cast<void*>(base), PoolSlabBytes);
    return;
  }
  madvise(block, PooledBlockBytes, MADV_DONTNEED);
  pool.empty.push_back(block);
}

int64_t PooledIdleBytes() {
  TBlockPool& pool = Pool();
  std::lock_guard<std::mutex> held(pool.lock);
  return int64_t(pool.idle.size()) * int64_t(PooledBlockBytes);
}
