#include "engAbstractFile.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

template <typename Entry>
Entry* NewEntry(const Entry& value) {
  auto* entry = static_cast<Entry*>(EngineAllocMem(sizeof(Entry)));
  *entry = value;
  return entry;
}

void FreeEntries(TSystemList& list) {
  for (int32_t i = 0; i < list.Count(); ++i) {
    void* entry = list.Get(i);
    EngineFreeMem(entry);
  }
  list.Clear();
}

}  // namespace

TAbstractFile::TAbstractFile(const std::string& name) : name(name) {}

TAbstractFile::~TAbstractFile() {
  FreeEntries(lockRanges);
  FreeEntries(handles);
}

int32_t TAbstractFile::FindHandle(int32_t number) {
  Guard guard(section);
  if (openCount < 1) return -1;
  for (int32_t i = 0; i < handles.Count(); ++i) {
    if (static_cast<TFileHandleEntry*>(handles.Get(i))->Number == number) return i;
  }
  return -1;
}

TFileHandleEntry* TAbstractFile::Handle(int32_t number) {
  const int32_t index = FindHandle(number);
  return index < 0 ? nullptr : static_cast<TFileHandleEntry*>(handles.Get(index));
}

int32_t TAbstractFile::AddHandle() {
  int32_t number = 1;
  while (FindHandle(number) >= 0) ++number;
  handles.Add(NewEntry(TFileHandleEntry{number, 0}));
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
  void* entry = handles.Get(index);
  handles.Delete(index);
  EngineFreeMem(entry);
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
  if (!entry || count < 0) return -1;
  const int32_t p = entry->Position;
  if (p < 0 || p > size) return 0;
  const int32_t n = std::min(count, size - p);
  entry->Position += n;
  return n;
}

int32_t TAbstractFile::Write(int32_t number, const void*, int32_t count) {
  Guard guard(section);
  TFileHandleEntry* entry = Handle(number);
  int32_t end;
  if (!entry || !TransferEnd(entry->Position, count, end)) return -1;
  if (count == 0) {
    size = end;
  } else {
    entry->Position = end;
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

bool TAbstractFile::LockRange(int32_t offset, int32_t length) {
  Guard guard(section);
  int32_t end;
  if (length < 1 || !TransferEnd(offset, length - 1, end)) return false;
  for (int32_t i = 0; i < lockRanges.Count(); ++i) {
    const auto* held = static_cast<TFileLockRange*>(lockRanges.Get(i));
    const bool startInHeld = offset >= held->First && offset <= held->Last;
    const bool heldInNew = held->First >= offset && held->First <= end;
    if (startInHeld || heldInNew) return false;
  }
  lockRanges.Add(NewEntry(TFileLockRange{offset, end, length}));
  return true;
}

bool TAbstractFile::UnlockRange(int32_t offset, int32_t length) {
  Guard guard(section);
  for (int32_t i = 0; i < lockRanges.Count(); ++i) {
    void* held = lockRanges.Get(i);
    const auto* range = static_cast<TFileLockRange*>(held);
    if (range->First == offset && range->Length == length) {
      lockRanges.Delete(i);
      EngineFreeMem(held);
      return true;
    }
  }
  return false;
}
