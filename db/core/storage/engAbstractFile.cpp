#include "engAbstractFile.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

}  // namespace

TAbstractFile::TAbstractFile(const std::string& name) : name(name) {}

TAbstractFile::~TAbstractFile() = default;

int32_t TAbstractFile::FindHandle(int32_t number) {
  Guard guard(section);
  const TFileHandleEntry* entry = HeldHandle(number);
  return entry ? int32_t(entry - handles.data()) : -1;
}

TFileHandleEntry* TAbstractFile::HeldHandle(int32_t number) {
  if (openCount < 1) return nullptr;
  const auto found = std::find_if(handles.begin(), handles.end(),
                                  [number](const TFileHandleEntry& entry) { return entry.Number == number; });
  return found == handles.end() ? nullptr : &*found;
}

TFileHandleEntry* TAbstractFile::Handle(int32_t number) {
  const int32_t index = FindHandle(number);
  return index < 0 ? nullptr : &handles[size_t(index)];
}

int32_t TAbstractFile::AddHandle() {
  int32_t number = 1;
  while (FindHandle(number) >= 0) ++number;
  handles.push_back(TFileHandleEntry{number, 0});
  ++openCount;
  return number;
}

int32_t TAbstractFile::CreateNew() {
  Guard guard(section);
  size = 0;
  return AddHandle();
}

int32_t TAbstractFile::OpenHandle() {
  Guard guard(section);
  return AddHandle();
}

bool TAbstractFile::CloseHandle(int32_t number) {
  Guard guard(section);
  const int32_t index = FindHandle(number);
  if (index < 0) return false;
  handles.erase(handles.begin() + index);
  --openCount;
  return true;
}

int32_t TAbstractFile::Rename(const std::string& newName) {
  Guard guard(section);
  name = newName;
  return 0;
}

int32_t TAbstractFile::Delete() { return 0; }

int32_t TAbstractFile::SeekTarget(int64_t position, int64_t size, int32_t offset, int32_t origin) {
  int64_t target = position;
  switch (origin) {
    case soFromBeginning: target = offset; break;
    case soFromCurrent: target = position + offset; break;
    case soFromEnd: target = size - offset; break;
  }
  return int32_t(std::clamp<int64_t>(target, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}

bool TAbstractFile::TransferEnd(int32_t position, int32_t count, int32_t& end) {
  const int64_t last = int64_t(position) + count;
  if (position < 0 || count < 0 || last > std::numeric_limits<int32_t>::max()) return false;
  end = int32_t(last);
  return true;
}

int32_t TAbstractFile::Read(int32_t number, void*, int32_t count) {
  Guard guard(section);
  TFileHandleEntry* entry = Handle(number);
  return entry ? AdvanceRead(*entry, count) : -1;
}

int32_t TAbstractFile::AdvanceRead(TFileHandleEntry& entry, int32_t count) {
  if (count < 0) return -1;
  const int32_t p = entry.Position;
  if (p < 0 || p > size) return 0;
  const int32_t n = std::min(count, size - p);
  entry.Position += n;
  return n;
}

int32_t TAbstractFile::Write(int32_t number, const void*, int32_t count) {
  Guard guard(section);
  TFileHandleEntry* entry = Handle(number);
  int32_t end;
  if (!entry || !TransferEnd(entry->Position, count, end)) return -1;
  return AdvanceWrite(*entry, count, end);
}

int32_t TAbstractFile::AdvanceWrite(TFileHandleEntry& entry, int32_t count, int32_t end) {
  if (count == 0) {
    size = end;
  } else {
    entry.Position = end;
    size = std::max(size, end);
  }
  return count;
}

int32_t TAbstractFile::Seek(int32_t number, int32_t offset, int32_t origin) {
  Guard guard(section);
  TFileHandleEntry* entry = Handle(number);
  if (!entry) return -1;
  entry->Position = SeekTarget(entry->Position, size, offset, origin);
  return entry->Position;
}

int32_t TAbstractFile::ReadAt(int32_t number, int32_t offset, void* buffer, int32_t count) {
  Guard guard(section);
  Seek(number, offset, soFromBeginning);
  return Read(number, buffer, count);
}

int32_t TAbstractFile::WriteAt(int32_t number, int32_t offset, const void* buffer, int32_t count) {
  Guard guard(section);
  Seek(number, offset, soFromBeginning);
  return Write(number, buffer, count);
}

int32_t TAbstractFile::WriteGatheredAt(int32_t number, int32_t offset,
                                       std::span<const std::span<const uint8_t>> pieces) {
  int64_t written = 0;
  for (const std::span<const uint8_t>& piece : pieces) {
    // A write of nothing would cut the file there.
    if (piece.empty()) continue;
    int32_t at;
    if (piece.size() > size_t(std::numeric_limits<int32_t>::max()) || !TransferEnd(offset, int32_t(written), at))
      return -1;
    const int32_t moved = WriteAt(number, at, piece.data(), int32_t(piece.size()));
    if (moved < 0) return -1;
    written += moved;
    if (size_t(moved) < piece.size()) break;
  }
  return int32_t(written);
}

bool TAbstractFile::LockRange(int32_t offset, int32_t length) {
  Guard guard(section);
  int32_t end;
  if (length < 1 || !TransferEnd(offset, length - 1, end)) return false;
  for (const TFileLockRange& held : lockRanges) {
    const bool startInHeld = offset >= held.First && offset <= held.Last;
    const bool heldInNew = held.First >= offset && held.First <= end;
    if (startInHeld || heldInNew) return false;
  }
  lockRanges.push_back(TFileLockRange{offset, end, length});
  return true;
}

bool TAbstractFile::UnlockRange(int32_t offset, int32_t length) {
  Guard guard(section);
  const auto held = std::find_if(lockRanges.begin(), lockRanges.end(), [=](const TFileLockRange& range) {
    return range.First == offset && range.Length == length;
  });
  if (held == lockRanges.end()) return false;
  lockRanges.erase(held);
  return true;
}

bool TAbstractFile::UnlockRun(int32_t offset, int32_t length) {
  Guard guard(section);
  int32_t last;
  if (length < 1 || !TransferEnd(offset, length - 1, last)) return false;
  // Held ranges never overlap: those inside the span whose lengths add up
  // to its length cover it.
  int64_t covered = 0;
  for (const TFileLockRange& range : lockRanges) {
    if (range.Last < offset || last < range.First) continue;
    if (range.First < offset || last < range.Last) return false;
    covered += range.Length;
  }
  if (covered != length) return false;
  std::erase_if(lockRanges, [=](const TFileLockRange& range) { return range.First >= offset && range.Last <= last; });
  return true;
}

bool TAbstractFile::PeekHead(void*, int32_t) { return false; }

bool TAbstractFile::StoreInPlace(int32_t, const void*) { return false; }

bool TAbstractFile::MapWindow(OsReadWindow&, int32_t, int32_t) { return false; }
