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
inline void GrowFileBuffer(TEngineBuffer& buffer, int64_t size, int32_t step) {
  constexpr int64_t Largest = std::numeric_limits<int32_t>::max();
  if (size <= 0 || uint64_t(size) <= buffer.Size()) return;
  if (size > Largest) RaiseEngineError(EngErrOutOfMemory);
  const int64_t rounded = step > 1 ? std::min((size + step - 1) / step * step, Largest) : size;
  TEngineBuffer grown{size_t(rounded)};
  if (buffer) std::memcpy(grown.Get(), buffer.Get(), buffer.Size());
  buffer = std::move(grown);
}
