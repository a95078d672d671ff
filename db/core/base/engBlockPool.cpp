#include "engBlockPool.h"

#include <mutex>
#include <new>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "engErrorCodes.h"
#include "engErrors.h"

namespace {

constexpr size_t MostKeptBlocks = size_t(PoolKeptBytes / int64_t(PooledBlockBytes));

// Sessions on other threads take and give back blocks too. Never freed:
// a thread abandoned at exit may still give its blocks back.
struct TBlockPool {
  TBlockPool() { idle.reserve(MostKeptBlocks); }
  std::mutex lock;
  std::vector<uint8_t*> idle;  // never grown while a block is given back
};

TBlockPool& Pool() {
  static TBlockPool* pool = new TBlockPool;
  return *pool;
}

}  // namespace

TPooledBlock::TPooledBlock(size_t size) : size(size) {
  if (size == PooledBlockBytes) {
    TBlockPool& pool = Pool();
    std::lock_guard<std::mutex> held(pool.lock);
    if (!pool.idle.empty()) {
      bytes = pool.idle.back();
      pool.idle.pop_back();
#if defined(__SANITIZE_ADDRESS__)
      ASAN_UNPOISON_MEMORY_REGION(bytes, size);
#endif
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
  if (size == PooledBlockBytes) {
    TBlockPool& pool = Pool();
    std::lock_guard<std::mutex> held(pool.lock);
    if (pool.idle.size() < MostKeptBlocks) {
#if defined(__SANITIZE_ADDRESS__)
      // A block kept is as out of bounds as a freed one would be.
      ASAN_POISON_MEMORY_REGION(bytes, size);
#endif
      pool.idle.push_back(std::exchange(bytes, nullptr));
      size = 0;
      return;
    }
  }
  delete[] std::exchange(bytes, nullptr);
  size = 0;
}

int64_t PooledIdleBytes() {
  TBlockPool& pool = Pool();
  std::lock_guard<std::mutex> held(pool.lock);
  return int64_t(pool.idle.size()) * int64_t(PooledBlockBytes);
}
