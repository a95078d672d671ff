// Pages of the index file: one cache for all indexes, found by offset and
// chained by recent use, the free-page list of each index, and writing
// modified pages back in runs of consecutive offsets.

#include <algorithm>
#include <cstring>

#include "rtlAssert.h"
#include "engErrorCodes.h"
#include "engFileBuffer.h"
#include "engIndexFile.h"
#include "engIndexFileLayout.h"
#include "engLittleEndian.h"
#include "engScopeGuard.h"
#include "osFile.h"

namespace {

constexpr int32_t TransactionGrowth = 64;
constexpr int32_t BufferStep = 32767;
// When no cached page is idle, the oldest modified pages up to this part
// of the cache are written.
constexpr int32_t OldestPagesShare = 4;
// Unpacked compressed leaves may take this part of the budget before the
// least recently used of them are packed to make room, rather than pages
// dropped; packed, a leaf of long keys takes a fifth to a tenth.
constexpr int32_t UnpackedLeavesShare = 32;

TPage* PageAt(const std::vector<TPage*>& list, int32_t index) { return list[size_t(index)]; }

}  // namespace

// ---- the cache ------------------------------------------------------------

// The cache is sized by what its pages take in memory, which differs ten
// times between a page of short keys and a compressed leaf of long ones; a
// page is charged when it enters and again whenever its last holder lets
// it go, the only times its entry slots may have grown. Below the least
// count of pages each index (with "Sys Deleted") may need for one change,
// there is always room.
int32_t TIndexFile::LeastCachedPages() const { return MinCachedPages * (GetSecondaryCount() + 2); }

bool TIndexFile::CacheHasRoom() const { return cache.Count() < LeastCachedPages() || cachedBytes < byteLimit; }

void TIndexFile::Admit(TPage* page) {
  ORV_ASSERT(!page->Packed());
  cache.Insert(page);
  page->ChargedBytes = page->Footprint();
  cachedBytes += page->ChargedBytes;
  FollowPageShape(page);
}

void TIndexFile::Evict(TPage* page) {
  if (page->InLeafChain) UnchainLeaf(page);
  cache.Remove(page);
  cachedBytes -= page->ChargedBytes;
  page->ChargedBytes = 0;
  ORV_ASSERT(cachedBytes >= 0);
}

// A page a walk still holds stays its own until released: handed to the
// pool at once, it could be lent to another index while still read.
void TIndexFile::DropPage(TPage* page) {
  page->ChargedBytes = 0;
  page->UnpackedNewer = page->UnpackedOlder = nullptr;
  page->InLeafChain = false;
  page->NotedForWriteBack = false;
  if (page->UseCount > 0) {
    page->Orphaned = true;
    orphans.Adopt(page);
  } else {
    pageStack.Return(page);
  }
}

// A page object for indexNo, set up with the index's values: from the pool
// while the cache has room, else the least recently used page of any index
// that is neither modified nor in use. So the index in use takes over the
// pages of those that are not, one page at a time; pages given up beyond
// the one taken (the budget shrank, or the page taken is smaller than
// those given up) leave memory.
TPage* TIndexFile::TakeCacheEntry(uint8_t indexNo) {
  TPage* page = nullptr;
  for (int writes = 0; !page;) {
    if (CacheHasRoom()) {
      page = pageStack.Take();
      break;
    }
    if (unpackedLeafBytes > byteLimit / UnpackedLeavesShare && PackOldestLeaf()) continue;
    if (TPage* victim = cache.LeastRecentlyIdle()) {
      writes = 0;
      Evict(victim);
      if (CacheHasRoom()) {
        victim->Clear();
        page = victim;
      } else {
        pageStack.Discard(victim);
      }
      continue;
    }
    if (table->HoldsTransactionLock()) {
      // A transaction's changes stay in memory until it ends.
      byteLimit += int64_t(TransactionGrowth) * IndexPageSize;
    } else if (writes == 0) {
      WriteOldestPages();
      ++writes;
    } else if (writes == 1) {
      FlushPages();
      ++writes;
    } else {
      RaiseIndexError(EngErrPageCorrupt);
    }
  }
  TScopeGuard returnOnFailure([&] { pageStack.Return(page); });
  SetUpForSlot(page, indexNo);
  returnOnFailure.Dismiss();
  return page;
}

void TIndexFile::SetUpForSlot(TPage* page, uint8_t indexNo) {
  const uint8_t* d = Slot(indexNo);
  page->Setup(this, indexNo,
              {.KeyLength = GetLE16(d + IdxDescKeyLength),
               .Descending = d[IdxDescDescending] != 0,
               .Unique = d[IdxDescUnique] != 0,
               .Compression = d[IdxDescCompression]});
}

// The descriptor's flags are read as every reader of them reads a flag:
// any byte but 0 is set.
bool TIndexFile::MatchesSlot(const TPage& page) const {
  const uint8_t* d = Slot(page.IndexNo);
  return page.KeyLength == GetLE16(d + IdxDescKeyLength) && page.Descending == (d[IdxDescDescending] != 0) &&
         page.Unique == (d[IdxDescUnique] != 0) && page.Compression == d[IdxDescCompression];
}

void TIndexFile::Recharge(TPage* page) {
  const int64_t change = int64_t(page->Footprint()) - page->ChargedBytes;
  cachedBytes += change;
  if (page->InLeafChain) unpackedLeafBytes += change;
  page->ChargedBytes = page->Footprint();
}

void TIndexFile::ChainLeaf(TPage* page) {
  ORV_ASSERT(!page->InLeafChain && !page->Packed());
  page->UnpackedNewer = nullptr;
  page->UnpackedOlder = unpackedLeavesNewest;
  if (unpackedLeavesNewest) unpackedLeavesNewest->UnpackedNewer = page;
  else unpackedLeavesOldest = page;
  unpackedLeavesNewest = page;
  page->InLeafChain = true;
  unpackedLeafBytes += page->ChargedBytes;
}

void TIndexFile::UnchainLeaf(TPage* page) {
  ORV_ASSERT(page->InLeafChain);
  (page->UnpackedNewer ? page->UnpackedNewer->UnpackedOlder : unpackedLeavesNewest) = page->UnpackedOlder;
  (page->UnpackedOlder ? page->UnpackedOlder->UnpackedNewer : unpackedLeavesOldest) = page->UnpackedNewer;
  page->UnpackedNewer = page->UnpackedOlder = nullptr;
  page->InLeafChain = false;
  unpackedLeafBytes -= page->ChargedBytes;
  ORV_ASSERT(unpackedLeafBytes >= 0);
}

// Pages change type while held (a split, a collapsed root, a freed page
// taken again) and branches stop being worth packing once changed, so the
// chain of unpacked pages worth packing is brought in line whenever a
// page is taken or given back (TPage::WorthPacking).
void TIndexFile::FollowPageShape(TPage* page) {
  const bool packable = !page->Packed() && page->WorthPacking();
  if (packable && !page->InLeafChain) ChainLeaf(page);
  else if (!packable && page->InLeafChain) UnchainLeaf(page);
}

// A packed page that fails to unpack stays packed and cached.
void TIndexFile::UnpackCached(TPage* page) {
  page->Unpack();
  Recharge(page);
  FollowPageShape(page);
}

// Packing costs no write and keeps the page: the least recently used
// unpacked leaf no one holds goes first, modified or not.
bool TIndexFile::PackOldestLeaf() {
  for (TPage* page = unpackedLeavesOldest; page; page = page->UnpackedNewer) {
    if (page->UseCount > 0) continue;
    page->Pack();
    UnchainLeaf(page);
    Recharge(page);
    return true;
  }
  return false;
}

// After a hit unpacked a leaf: the leaves back within their share, and
// one more packed for the one unpacked when the cache went over its
// budget, which neither writes nor drops a page (the next page read makes
// room as usual).
void TIndexFile::PackOldLeaves() {
  while (unpackedLeafBytes > byteLimit / UnpackedLeavesShare && PackOldestLeaf()) {
  }
  if (cachedBytes > byteLimit) PackOldestLeaf();
}

// The removed index's pages go with its descriptor to the parked slot; the
// pages of the slots after it move down with theirs.
void TIndexFile::RenumberCachedPages(int removed, int last) {
  ORV_ASSERT(removed >= 1 && removed <= last && last <= MaxSecondaryIndexes);
  cache.ForEach([removed, last](TPage* page) {
    if (page->IndexNo == removed)
      page->IndexNo = uint8_t(last);
    else if (page->IndexNo > removed && page->IndexNo <= last)
      --page->IndexNo;
  });
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
  page = nullptr;
  bool unpackedOnHit = false;

  if (offset == GetEndOffset()) {
    if (offset > MaxIndexFileEnd) RaiseIndexError(EngErrTableFull);
    page = TakeCacheEntry(indexNo);
    page->Offset = offset;
    Admit(page);
    PutLE32(header + HdrEndOffset, offset + IndexPageSize);
    SetModified();
  } else if ((page = cache.Find(offset))) {
    // A page held for another index means the trees cross.
    if (page->IndexNo != indexNo) {
      page = nullptr;
      RaiseIndexError(EngErrPageCorrupt);
    }
    cache.MoveToNewest(page);
    if (page->Packed()) {
      UnpackCached(page);
      unpackedOnHit = true;
    } else if (page->InLeafChain && page != unpackedLeavesNewest) {
      UnchainLeaf(page);
      ChainLeaf(page);
    }
    ++cacheHits;
  } else {
    if (reader && table->CheckChangesBeforeRead(reader)) return false;
    GrowFileBuffer(readBuffer, IndexPageSize, BufferStep);
    uint8_t* image = readBuffer.Get();
    if (fresh) {
      memset(image, 0, IndexPageSize);
    } else {
      if (!ReadImage(offset, image, IndexPageSize, ShortReadAllowed())) shortPageCached = true;
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
    Admit(page);
    ++pageReads;
  }
  ++page->UseCount;
  page->WalkedLeaf = reader && page->IsLeaf();
  if (unpackedOnHit) PackOldLeaves();
  return true;
}

TPage* TIndexFile::GetTreePage(uint8_t indexNo, uint32_t offset) {
  TPage* page;
  GetPage(nullptr, indexNo, offset, false, page);
  ORV_ASSERT(MatchesSlot(*page));
  return page;
}

void TIndexFile::ReleasePage(TPage* page) {
  if (!page) return;
  ORV_ASSERT(page->UseCount > 0);  // every release matches a pin
  if (page->UseCount > 0) --page->UseCount;
  if (page->Orphaned) {
    if (page->UseCount == 0) pageStack.Return(orphans.Extract(orphans.IndexOf(page)).release());
    return;
  }
  // The write-back looks only at pages given back changed, so reads never
  // add to the list it sorts.
  if (page->Modified) {
    page->ChangedSinceRead = true;
    page->KeysChanged();
  }
  if (page->Modified && !page->NotedForWriteBack) {
    cache.NoteForWriteBack(page);
    page->NotedForWriteBack = true;
  }
  ORV_ASSERT(!page->Packed());  // held pages are unpacked
  if (page->WalkedLeaf && page->UseCount == 0 && !page->Modified) cache.MoveToOldest(page);
  Recharge(page);
  FollowPageShape(page);
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
    // A free page keeps the values of the index that freed it, and the slot
    // may hold another index since (one added where a dropped one was
    // parked, with its free pages): its entries must be laid out for the
    // index it now joins.
    TScopeGuard releaseOnFailure([&] { ReleasePage(page); });
    SetUpForSlot(page, indexNo);
    releaseOnFailure.Dismiss();
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
  cache.Noted(due, flushList);  // by ascending offset
  WriteListedPages();
  cache.WrittenBack();
  ORV_ASSERT(!cache.Any(due));  // no page changed without a pin
}

// When no page is idle: the least recently used modified pages, a part of
// the cache, so that the pages a run of changes keeps coming back to (the
// upper levels, the leaves where keys are appended) stay in memory instead
// of being written out again each time the cache fills. What a killed
// writer leaves is of the same kind as before: some pages written, others
// not, which the first open's tree check finds and repairs.
void TIndexFile::WriteOldestPages() {
  const int32_t wanted = std::max(cache.Count() / OldestPagesShare, 1);
  flushList.clear();
  for (TPage* page = cache.Oldest(); page && int32_t(flushList.size()) < wanted; page = page->Newer)
    if (page->Modified && page->UseCount == 0) flushList.push_back(page);
  std::sort(flushList.begin(), flushList.end(), [](const TPage* a, const TPage* b) { return a->Offset < b->Offset; });
  WriteListedPages();
}

// Writes the pages of flushList (ascending offsets) in runs of consecutive
// offsets, one call per run. A branch whose key counts alone changed (most
// pages a change writes) is a run of its own, written as those counts, as
// the rest of it is in the file already: that saves packing the page and
// the kernel's copy of it, more than the call it may add to a run costs.
// Enciphered pages are written whole, so that nothing depends on how the
// cipher runs.
//
// Every change passes the three levels from the root down in each tree, a
// few pages that take most counts writes: their counts are stored through
// the file's shared mapping where they fit one store (StoreCountsInPlace),
// without a write call. A page stored to stays resident in the process
// while mapped: the levels below, many pages each reached now and then,
// take their write calls (mapping them all took the benchmark's peak
// memory from 85 to 177 MB at a million rows).
void TIndexFile::WriteListedPages() {
  if (flushList.empty()) return;
  const int32_t listed = int32_t(flushList.size());
  const bool inPart = !table->IsEncrypted() && !shortPageCached;
  // Stores go only where write calls may: the limit read once a write-back.
  auto writable = [limit = int64_t(-1)](int64_t end) mutable {
    if (limit < 0) limit = OsFile::SizeLimit();
    return end <= limit;
  };
  auto countsAlone = [inPart](const TPage* page) { return inPart && page->Modified == TPage::KeyCountsChanged; };
  for (int32_t first = 0; first < listed;) {
    int32_t last = first;
    while (last + 1 < listed && last + 1 - first < MostPagesPerWrite && !countsAlone(PageAt(flushList, last)) &&
           !countsAlone(PageAt(flushList, last + 1)) &&
           PageAt(flushList, last + 1)->Offset == PageAt(flushList, last)->Offset + IndexPageSize)
      ++last;
    int32_t count = last - first + 1;
    TPage* const lead = PageAt(flushList, first);
    const bool inPlace = countsAlone(lead) && NearRoot(lead);
    GrowFileBuffer(writeBuffer, int64_t(count) * IndexPageSize, BufferStep);
    uint32_t from = 0, to = uint32_t(count) * IndexPageSize;  // the bytes written
    for (int32_t i = 0; i < count; ++i) {
      uint8_t* image = writeBuffer.Get() + size_t(i) * IndexPageSize;
      TPage* page = PageAt(flushList, first + i);
      if (countsAlone(page)) page->StoreKeyCounts(image, from, to, OsWritableMapping::StoreWidth);
      else page->Store(image);
      page->Modified = 1;  // until the write succeeded
      if (table->IsEncrypted()) table->Encipher(image, IndexPageSize);
    }
    if (!inPlace || !writable(int64_t(lead->Offset) + to) || !StoreCountsInPlace(lead->Offset, from, to))
      WriteImage(lead->Offset + from, writeBuffer.Get() + from, to - from);
    ++pageWrites;
    for (int32_t i = first; i <= last; ++i) {
      PageAt(flushList, i)->Modified = 0;
      PageAt(flushList, i)->NotedForWriteBack = false;
      ORV_ASSERT(FileHoldsPage(PageAt(flushList, i)));
    }
    first = last + 1;
  }
  flushList.clear();
  table->SetDataChanged();
}

// Parent links are those of the latest descents: a link gone stale since
// only sends the page the other way.
bool TIndexFile::NearRoot(const TPage* page) {
  const uint32_t root = GetRootOffset(page->IndexNo);
  if (page->IsRoot() || page->Parent == root) return true;
  const TPage* parent = page->Parent ? cache.Find(page->Parent) : nullptr;
  return parent && parent->Parent == root;
}

// The counts from..to of the page at offset, put into writeBuffer by
// StoreKeyCounts with the bytes before them, as one store: a kill leaves
// them all or none, as it does a write call. Counts that do not fit one
// store, a file that cannot be mapped, and a store that failed (the file
// cut below the page by another program, the disk) are left to the write
// call, which reports what fails.
bool TIndexFile::StoreCountsInPlace(uint32_t offset, uint32_t from, uint32_t to) {
  if (to - from > OsWritableMapping::StoreWidth) return false;
  ORV_ASSERT(to >= OsWritableMapping::StoreWidth && to <= IndexPageSize && offset + IndexPageSize <= GetEndOffset());
  const uint32_t start = to - uint32_t(OsWritableMapping::StoreWidth);
  return StoreInPlace(offset + start, writeBuffer.Get() + start);
}

bool TIndexFile::FileHoldsPage(TPage* page) {
  std::vector<uint8_t> held(IndexPageSize), stored(IndexPageSize);
  const uint8_t modified = page->Modified;
  page->Store(stored.data());
  page->Modified = modified;
  if (table->IsEncrypted()) table->Encipher(stored.data(), IndexPageSize);
  return ReadImage(page->Offset, held.data(), IndexPageSize, true) && held == stored;
}

// "Sys Deleted" is read only by appends that reuse a record, which keep
// its pages across the other indexes' drops and trims.
void TIndexFile::DropPages(bool withDeleted) {
  if (withDeleted) {
    cache.ForEach([this](TPage* page) { DropPage(page); });
    cache.Clear();
    shortPageCached = false;
    cachedBytes = 0;
    unpackedLeavesNewest = unpackedLeavesOldest = nullptr;
    unpackedLeafBytes = 0;
    return;
  }
  for (TPage* page : cache.InKeyOrder([](const TPage* page) { return page->IndexNo != DeletedIndexNo; })) {
    Evict(page);
    DropPage(page);
  }
}

void TIndexFile::DropIdlePages() { GiveUpIdlePages(0, 0, true); }

// Back to the budget, giving up the least recently used pages that are
// neither modified nor in use.
void TIndexFile::TrimPageCaches(bool withDeleted) {
  SetCacheLimits();
  GiveUpIdlePages(byteLimit, LeastCachedPages(), withDeleted);
}

// Idle pages go, least recently used first, until the cache takes at most
// bytes or holds leastPages (every cached page is charged something).
void TIndexFile::GiveUpIdlePages(int64_t bytes, int32_t leastPages, bool withDeleted) {
  for (TPage* page = cache.Oldest(); page && cachedBytes > bytes && cache.Count() > leastPages;) {
    TPage* newer = page->Newer;
    if (page->Idle() && (withDeleted || page->IndexNo != DeletedIndexNo)) {
      Evict(page);
      pageStack.Discard(page);
    }
    page = newer;
  }
}
