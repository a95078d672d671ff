#pragma once
// An owning block of the engine's heap, counted in its statistics: zeroed
// when made (unless its maker fills it whole) and given back when its owner
// goes, also when a later step of filling it fails. Members hold one of
// these instead of a raw block.

#include <cstddef>
#include <cstdint>
#include <utility>

#include "engHeap.h"

class TEngineBuffer {
public:
  TEngineBuffer() = default;
  explicit TEngineBuffer(size_t size) : data(static_cast<uint8_t*>(EngineAllocMem(size))), size(size) {}
  // A block whose maker writes every byte before any is read (EngineAllocUncleared).
  static TEngineBuffer Uncleared(size_t size) {
    TEngineBuffer buffer;
    buffer.data = static_cast<uint8_t*>(EngineAllocUncleared(size));
    buffer.size = size;
    return buffer;
  }
  TEngineBuffer(TEngineBuffer&& other) noexcept
      : data(std::exchange(other.data, nullptr)), size(std::exchange(other.size, 0)) {}
  TEngineBuffer& operator=(TEngineBuffer&& other) noexcept {
    if (this != &other) {
      Reset();
      data = std::exchange(other.data, nullptr);
      size = std::exchange(other.size, 0);
    }
    return *this;
  }
  TEngineBuffer(const TEngineBuffer&) = delete;
  TEngineBuffer& operator=(const TEngineBuffer&) = delete;
  ~TEngineBuffer() { EngineFreeMem(data); }

  uint8_t* Get() const { return data; }
  size_t Size() const { return size; }
  explicit operator bool() const { return data != nullptr; }
  // Gives the block back; the buffer is empty after.
  void Reset() {
    EngineFreeMem(data);
    size = 0;
  }

private:
  uint8_t* data = nullptr;
  size_t size = 0;
};
