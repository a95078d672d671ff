#pragma once
// The engine's allocator. Every engine object and buffer comes from here,
// zero-filled, and the running total of bytes held lets tests and
// diagnostics see leaks. Out of memory raises engine error 11016.

#include <cstddef>
#include <cstdint>

// A zero-filled block; size 0 gives a valid empty block.
void* EngineAllocMem(size_t size);
// The same block left as the C heap gives it, for a maker that writes every
// byte before any is read: the fill would be thrown away.
void* EngineAllocUncleared(size_t size);
// Keeps the old bytes; bytes beyond them start zero. A null block allocates;
// size 0 keeps a valid empty block.
void* EngineReallocMem(void* block, size_t size);

// Frees the block and empties the variable; an empty variable is left alone.
void EngineFreeMem(void*& block);
template <typename T>
void EngineFreeMem(T*& block) {
  void* raw = block;
  EngineFreeMem(raw);
  block = nullptr;
}

// Rounds size up to a multiple of step and grows the block when that exceeds
// capacity; never shrinks. A size below 1 releases the block (capacity 0).
void GrowBuffer(int32_t size, int32_t step, void*& block, int32_t& capacity);
template <typename T>
void GrowBuffer(int32_t size, int32_t step, T*& block, int32_t& capacity) {
  void* raw = block;
  GrowBuffer(size, step, raw, capacity);
  block = static_cast<T*>(raw);
}

// Bytes currently held, by the sizes asked for.
int64_t EngineHeapTotal();
// Reallocations and frees since the last compaction point, which comes at
// 1020. The point gives free memory back to the system when at least
// EngineHeapTrimRelease bytes were released since it last did.
int32_t EngineHeapOperationCount();
inline constexpr int32_t EngineHeapTrimInterval = 1020;
inline constexpr int64_t EngineHeapTrimRelease = int64_t{8} << 20;

// Engine library start resets both counters.
void ResetEngineHeapCounters();

// Base of engine classes: instances come zeroed from the engine heap. The
// zero fill is a backstop for buffers and plain records; members still take
// initialisers, as the compiler treats a fresh object as indeterminate.
class TEngineObject {
public:
  static void* operator new(size_t size) { return EngineAllocMem(size); }
  static void operator delete(void* block) { EngineFreeMem(block); }
  virtual ~TEngineObject() = default;
};
