#pragma once
// The files' read and write buffers: owning engine buffers that grow in
// steps, so a run of similar transfers reuses one block. Growing keeps the
// bytes already there; the new bytes start zero.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "engBuffer.h"
#include "engErrorCodes.h"
#include "engErrors.h"

// Makes buffer hold at least size bytes, rounded up to a multiple of step
// within 32 bits; never shrinks. A size beyond 32 bits is out of memory
// (11016).
// The new bytes are left as the heap gives them (uncleared) for a buffer
// whose every byte is written before it is read.
enum class TGrownBytes : uint8_t { Cleared, Uncleared };

inline void GrowFileBuffer(TEngineBuffer& buffer, int64_t size, int32_t step,
                           TGrownBytes grownBytes = TGrownBytes::Cleared) {
  constexpr int64_t Largest = std::numeric_limits<int32_t>::max();
  if (size <= 0 || uint64_t(size) <= buffer.Size()) return;
  if (size > Largest) RaiseEngineError(EngErrOutOfMemory);
  const int64_t rounded = step > 1 ? std::min((size + step - 1) / step * step, Largest) : size;
  TEngineBuffer grown = grownBytes == TGrownBytes::Uncleared ? TEngineBuffer::Uncleared(size_t(rounded))
                                                             : TEngineBuffer{size_t(rounded)};
  if (buffer) std::memcpy(grown.Get(), buffer.Get(), buffer.Size());
  buffer = std::move(grown);
}
