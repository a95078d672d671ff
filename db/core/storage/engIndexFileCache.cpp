// Pages of the index file: one cache per index, sorted by offset and chained
// by recent use, the free-page list of each index, and writing modified
// pages back in runs of consecutive offsets.

#include <algorithm>
#include <cstring>

#include "engAssert.h"
#include "engErrorCodes.h"
#include "engFileBuffer.h"
#include "engIndexFile.h"
#include "engIndexFileLayout.h"
#include "engLittleEndian.h"
#include "engScopeGuard.h"

namespace {

constexpr int32_t TransactionGrowth = 64;
constexpr int32_t BufferStep = 32767;

TPage* PageAt(const std::vector<TPage*>& list, int32_t index) { return list[size_t(index)]; }

}  // namespace

// ---- the caches ----------------------------------------------------------

// A page a walk still holds stays its own until released: handed to the
// pool at once, it could be lent to another index while still read.
void TIndexFile::DropCache(TPageCache& cache) {
  cache.ForEach([this](TPage* page) {
    if (page->UseCount > 0) {
      page->Orphaned = true;
      orphans.Adopt(page);
    } else {
      pageStack.Return(page);
    }
  });
  cache.Clear();
}

// A page object for the index's cache, set up with the index's values:
// from the pool while the cache has room, else the least recently used
// page that is neither modified nor in use.
TPage* TIndexFile::TakeCacheEntry(uint8_t indexNo) {
  TPageCache& cache = *caches[indexNo];
  TPage* page = nullptr;
  for (bool flushed = false; !page;) {
    if (!cache.Full()) {
      page = pageStack.Take();
      break;
    }
    if ((page = cache.LeastRecentlyIdle())) {
      cache.Remove(page);
      page->Clear();
      break;
    }
    if (table->HoldsTransactionLock()) {
      // A transaction's changes stay in memory until it ends.
      cache.Capacity += TransactionGrowth;
    } else if (!flushed) {
      FlushPages();
      flushed = true;
    } else {
      RaiseIndexError(EngErrPageCorrupt);
    }
  }
  const uint8_t* d = Slot(indexNo);
  TScopeGuard returnOnFailure([&] { pageStack.Return(page); });
  page->Setup(this, indexNo, GetLE16(d + IdxDescKeyLength), d[IdxDescDescending], d[IdxDescUnique],
              d[IdxDescCompression]);
  returnOnFailure.Dismiss();
  return page;
}

// ---- pages ---------------------------------------------------------------

// Pages lie on 4096-byte steps after the header; the end offset names the
// page an append creates, so only a fresh page may lie there: a link to it
// is damage, never a reason to grow the file.
void TIndexFile::CheckPageOffset(uint32_t offset, bool fresh) const {
  const uint32_t end = GetEndOffset();
  if (offset < IndexHeaderSize || offset % IndexPageSize != 0 || offset > end || (offset == end && !fresh))
    RaiseIndexError(EngErrPageCorrupt);
}

bool TIndexFile::ShortReadAllowed() const {
  return (Temporary || table->HoldsTransactionLock()) && table->DataChanged();
}

bool TIndexFile::GetPage(TReadContext* reader, uint8_t indexNo, uint32_t offset, bool fresh, TPage*& page) {
  if (indexNo >= IndexSlotCount) RaiseIndexError(EngErrPageCorrupt);
  CheckPageOffset(offset, fresh);
  TPageCache& cache = *caches[indexNo];
  page = nullptr;

  if (offset == GetEndOffset()) {
    if (offset > MaxIndexFileEnd) RaiseIndexError(EngErrTableFull);
    page = TakeCacheEntry(indexNo);
    page->Offset = offset;
    cache.Insert(page);
    PutLE32(header + HdrEndOffset, offset + IndexPageSize);
    SetModified();
  } else if ((page = cache.Find(offset))) {
    cache.MoveToNewest(page);
    ++cacheHits;
  } else {
    // A page held for another index means the trees cross.
    for (int other = 0; other < IndexSlotCount; ++other)
      if (other != indexNo && caches[other]->Find(offset)) RaiseIndexError(EngErrPageCorrupt);
    if (reader && table->CheckChangesBeforeRead(reader)) return false;
    uint8_t* image = readBuffer.Get();
    if (fresh) {
      memset(image, 0, IndexPageSize);
    } else {
      ReadImage(offset, image, IndexPageSize, ShortReadAllowed());
      if (table->IsEncrypted()) table->Decipher(image, IndexPageSize);
    }
    page = TakeCacheEntry(indexNo);
    page->Offset = offset;
    TScopeGuard returnOnFailure([&] {
      pageStack.Return(page);
      page = nullptr;
    });
    page->Load(image, fresh);
    returnOnFailure.Dismiss();
    cache.Insert(page);
    ++pageReads;
  }
  ++page->UseCount;
  cache.NotePinned(page);
  return true;
}

TPage* TIndexFile::GetTreePage(uint8_t indexNo, uint32_t offset) {
  TPage* page;
  GetPage(nullptr, indexNo, offset, false, page);
  return page;
}

void TIndexFile::ReleasePage(TPage* page) {
  if (!page) return;
  ENG_ASSERT(page->UseCount > 0);  // every release matches a pin
  if (page->UseCount > 0) --page->UseCount;
  if (page->Orphaned && page->UseCount == 0) {
    pageStack.Return(orphans.Extract(orphans.IndexOf(page)).release());
  }
}

bool TIndexFile::GetRoot(TReadContext* reader, uint8_t indexNo, bool second, TPage*& page) {
  page = nullptr;
  uint32_t root = GetRootOffset(indexNo);
  if (root == 0) return true;
  if (!GetPage(reader, indexNo, root, false, page)) return false;
  page->Parent = 0;
  if (second) page->SecondPosition = 1;
  else page->Position = 1;
  return true;
}

// The index's first free page when it has one, else a page appended at the
// end. A listed page must really be free: flagged so in the cache, or
// empty on disk.
TPage* TIndexFile::NewPage(uint8_t indexNo) {
  uint32_t firstFree = GetFirstFreePage(indexNo);
  TPage* page;
  if (firstFree == 0) {
    GetPage(nullptr, indexNo, GetEndOffset(), true, page);
  } else {
    if (firstFree >= GetEndOffset()) RaiseIndexError(EngErrPageCorrupt);
    GetPage(nullptr, indexNo, firstFree, false, page);
    if (page->UseCount > 1 || (!page->Free && page->Count != 0)) {
      ReleasePage(page);
      RaiseIndexError(EngErrPageCorrupt);
    }
    SetFirstFreePage(indexNo, page->Right);
    page->Clear();
  }
  page->Modified = 1;
  return page;
}

void TIndexFile::FreePage(TPage* page) {
  page->Right = GetFirstFreePage(page->IndexNo);
  page->Free = 1;
  page->Modified = 1;
  SetFirstFreePage(page->IndexNo, page->Offset);
}

// ---- writing and dropping ------------------------------------------------

void TIndexFile::FlushPages() {
  auto due = [](const TPage* page) { return page->Modified && page->UseCount == 0; };
  flushList.clear();
  for (const auto& cache : caches)
    for (TPage* page : cache->Pinned(due)) flushList.push_back(page);
  if (flushList.empty()) return;
  std::sort(flushList.begin(), flushList.end(), [](const TPage* a, const TPage* b) { return a->Offset < b->Offset; });
  const int32_t listed = int32_t(flushList.size());
  for (int32_t first = 0; first < listed;) {
    int32_t last = first;
    while (last + 1 < listed &&
           PageAt(flushList, last + 1)->Offset == PageAt(flushList, last)->Offset + IndexPageSize)
      ++last;
    int32_t count = last - first + 1;
    GrowFileBuffer(writeBuffer, int64_t(count) * IndexPageSize, BufferStep);
    for (int32_t i = 0; i < count; ++i) {
      uint8_t* image = writeBuffer.Get() + size_t(i) * IndexPageSize;
      TPage* page = PageAt(flushList, first + i);
      page->Store(image);
      page->Modified = 1;  // until the write succeeded
      if (table->IsEncrypted()) table->Encipher(image, IndexPageSize);
    }
    WriteImage(PageAt(flushList, first)->Offset, writeBuffer.Get(), uint32_t(count) * IndexPageSize);
    ++pageWrites;
    for (int32_t i = first; i <= last; ++i) PageAt(flushList, i)->Modified = 0;
    first = last + 1;
  }
  flushList.clear();
  table->SetDataChanged();
  for (const auto& cache : caches) ENG_ASSERT(!cache->Any(due));  // no page changed without a pin
}

void TIndexFile::DropPages(bool withDeleted) {
  for (int slot = 0; slot < IndexSlotCount; ++slot)
    if (withDeleted || slot != DeletedIndexNo) DropCache(*caches[slot]);
}

// Back to the normal capacity each, giving up the least recently used pages
// that are neither modified nor in use.
void TIndexFile::TrimPageCaches(bool withDeleted) {
  const int32_t pages = PagesPerIndex();
  for (int slot = 0; slot < IndexSlotCount; ++slot) {
    if (!withDeleted && slot == DeletedIndexNo) continue;
    TPageCache& cache = *caches[slot];
    cache.Capacity = slot == DeletedIndexNo ? MinCachedPages : pages;
    for (TPage* page = cache.Oldest(); page && cache.Count() > cache.Capacity;) {
      TPage* newer = page->Newer;
      if (page->Idle()) {
        cache.Remove(page);
        pageStack.Return(page);
      }
      page = newer;
    }
  }
}
