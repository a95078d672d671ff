#include "engMemoryFile.h"

#include <cstring>

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr int32_t GrowStep = 65535;

}  // namespace

TMemoryFile::~TMemoryFile() { GrowBuffer(0, GrowStep, content, capacity); }

void TMemoryFile::Extend(int32_t newSize) {
  if (newSize <= size) return;
  GrowBuffer(newSize, GrowStep, content, capacity);
  // A shrunk file keeps its buffer: old bytes beyond the end must not return.
  std::memset(content + size, 0, size_t(newSize - size));
}

int32_t TMemoryFile::CreateNew() {
  Guard guard(section);
  GrowBuffer(0, GrowStep, content, capacity);
  return TAbstractFile::CreateNew();
}

int32_t TMemoryFile::Read(int32_t number, void* buffer, int32_t count) {
  Guard guard(section);
  const TFileHandleEntry* entry = Handle(number);
  if (!entry) return -1;
  const int32_t start = entry->Position;
  const int32_t n = TAbstractFile::Read(number, buffer, count);
  if (n > 0) std::memcpy(buffer, content + start, size_t(n));
  return n;
}

int32_t TMemoryFile::Write(int32_t number, const void* buffer, int32_t count) {
  Guard guard(section);
  const TFileHandleEntry* entry = Handle(number);
  int32_t end;
  if (!entry || !TransferEnd(entry->Position, count, end)) return -1;
  const int32_t start = entry->Position;
  if (count == 0) {
    Extend(end);
  } else {
    Extend(start);
    GrowBuffer(end, GrowStep, content, capacity);
    std::memcpy(content + start, buffer, size_t(count));
  }
  return TAbstractFile::Write(number, buffer, count);
}
