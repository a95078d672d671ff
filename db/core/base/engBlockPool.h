#pragma once
// Blocks of memory that temporary tables hold their appended records in,
// kept for the process's next answer instead of given back to the system:
// a fresh block's every page is faulted in again (a 90,000-row answer's
// 36 MB of held records were 15% of its statement). Only blocks of
// PooledBlockBytes are kept, up to PoolKeptBytes of them; past the bound a
// block's pages go back to the system. They are cut from slabs of
// PoolSlabBytes that the system may back with large pages. Blocks of other
// sizes come from the C heap and go back to it.

#include <cstddef>
#include <cstdint>
#include <utility>

inline constexpr size_t PooledBlockBytes = size_t(256) * 1024;
inline constexpr int64_t PoolKeptBytes = int64_t(64) << 20;
inline constexpr size_t PoolSlabBytes = size_t(2) << 20;
// What a temporary table holds of its appends once it has written some
// for want of memory (an answer past its memory): parts this small stay in
// the processor's caches from their fill to their write, where parts of
// the whole memory went out to main memory and came back for the write.
inline constexpr int64_t HeldPartBytes = int64_t(4) << 20;

// An owning block, not cleared: its bytes are whatever its last owner
// left. Given back to the pool (or the heap) when its owner goes.
class TPooledBlock {
public:
  TPooledBlock() = default;
  // size bytes, from the pool when it holds a block of that size.
  explicit TPooledBlock(size_t size);
  TPooledBlock(TPooledBlock&& other) noexcept
      : bytes(std::exchange(other.bytes, nullptr)), size(std::exchange(other.size, 0)) {}
  TPooledBlock& operator=(TPooledBlock&& other) noexcept {
    if (this != &other) {
      Release();
      bytes = std::exchange(other.bytes, nullptr);
      size = std::exchange(other.size, 0);
    }
    return *this;
  }
  TPooledBlock(const TPooledBlock&) = delete;
  TPooledBlock& operator=(const TPooledBlock&) = delete;
  ~TPooledBlock() { Release(); }

  uint8_t* Get() const { return bytes; }
  size_t Size() const { return size; }

private:
  uint8_t* bytes = nullptr;
  size_t size = 0;

  void Release();
};

// The bytes of the blocks the pool keeps for their next owner.
int64_t PooledIdleBytes();
