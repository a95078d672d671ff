#include "engMemoryFile.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// A small table's files hold a few kilobytes of headers: a first step of
// 64 KB cleared 192 KB for every small answer. Doubling does the rest.
constexpr int32_t GrowStep = 4096;

}  // namespace

void TMemoryFile::Extend(int32_t newSize, int32_t writtenFrom) {
  if (newSize <= size) return;
  // Doubling keeps a file written in small appends from copying itself
  // once per step.
  if (size_t(newSize) > content.Size()) {
    const int64_t doubled = std::min<int64_t>(2 * int64_t(content.Size()), std::numeric_limits<int32_t>::max());
    const int64_t wanted = std::max<int64_t>(newSize, doubled);
    // Every byte past the end is cleared or written before it is content,
    // so the grown block is not cleared when made.
    const int64_t rounded =
        std::min<int64_t>((wanted + GrowStep - 1) / GrowStep * GrowStep, std::numeric_limits<int32_t>::max());
    TEngineBuffer grown = TEngineBuffer::Uncleared(size_t(rounded));
    if (size > 0) std::memcpy(grown.Get(), content.Get(), size_t(size));
    content = std::move(grown);
  }
  // A shrunk file keeps its buffer: old bytes beyond the end must not return.
  // Those a write is about to fill are its own, so only the gap before it
  // is cleared.
  const int32_t cleared = std::clamp(writtenFrom, size, newSize);
  std::memset(content.Get() + size, 0, size_t(cleared - size));
}

int32_t TMemoryFile::CreateNew() {
  Guard guard(section);
  content.Reset();
  return TAbstractFile::CreateNew();
}

int32_t TMemoryFile::Read(int32_t number, void* buffer, int32_t count) {
  Guard guard(section);
  const TFileHandleEntry* entry = Handle(number);
  if (!entry) return -1;
  const int32_t start = entry->Position;
  const int32_t n = TAbstractFile::Read(number, buffer, count);
  if (n > 0) std::memcpy(buffer, content.Get() + start, size_t(n));
  return n;
}

int32_t TMemoryFile::Write(int32_t number, const void* buffer, int32_t count) {
  Guard guard(section);
  const TFileHandleEntry* entry = Handle(number);
  int32_t end;
  if (!entry || !TransferEnd(entry->Position, count, end)) return -1;
  const int32_t start = entry->Position;
  Extend(end, start);
  if (count > 0) std::memcpy(content.Get() + start, buffer, size_t(count));
  return TAbstractFile::Write(number, buffer, count);
}

int32_t TMemoryFile::ReadAt(int32_t number, int32_t offset, void* buffer, int32_t count) {
  Guard guard(section);
  TFileHandleEntry* entry = HeldHandle(number);
  if (!entry) return -1;
  entry->Position = offset;
  const int32_t n = AdvanceRead(*entry, count);
  if (n > 0) std::memcpy(buffer, content.Get() + offset, size_t(n));
  return n;
}

int32_t TMemoryFile::WriteAt(int32_t number, int32_t offset, const void* buffer, int32_t count) {
  Guard guard(section);
  TFileHandleEntry* entry = HeldHandle(number);
  if (!entry) return -1;
  entry->Position = offset;
  int32_t end;
  if (!TransferEnd(offset, count, end)) return -1;
  Extend(end, offset);
  if (count > 0) std::memcpy(content.Get() + offset, buffer, size_t(count));
  return AdvanceWrite(*entry, count, end);
}
