// Reading a BLOB's chain ahead without a cache entry per block: whole runs
// of consecutive blocks in one read into the chain window, from which a
// chain read copies its data. Blocks the cache holds (changed or not yet
// written among them) are taken from the cache, so the window only stands
// in for blocks the cache would have read from disk. A walk's windows are
// kept, as far as the cache's bytes allow, for the next walk over the same
// chains.

#include <algorithm>
#include <cstring>
#include <iterator>

#include "rtlAssert.h"
#include "engBlobFile.h"
#include "engErrorCodes.h"
#include "engLittleEndian.h"

bool TBlobFile::ViewBlockFromFile(TReadContext* reader, uint32_t offset, int32_t blocksAhead, TBlockView& view) {
  if (!IsBlockOffset(offset)) RaiseBlobError(EngErrBlocksCorrupt);
  if (cache.Count() > 0) {
    if (TBlock* block = cache.Find(offset)) {
      // An unchanged block may be a look-up's kept from an earlier
      // statement: other users' changes are looked for first, as its read
      // from the file would have (a change found drops it).
      if (block->Idle() && reader && table->CheckChangesBeforeRead(reader)) return false;
      cache.MoveToNewest(block);
      view = {block->Offset(), block->Next(), block->BytesUsed(), block->Sequence(), block->TotalSize(), block->Data()};
      return true;
    }
  }
  const uint8_t* image = ChainWindowImage(offset);
  if (!image) {
    // A kept window stands in for a read from the file, as a look-up's
    // kept blocks do: other users' changes are looked for first.
    if (reader && table->CheckChangesBeforeRead(reader)) return false;
    if (!WalkKeptWindow(offset)) FillChainWindow(offset, blocksAhead);
    image = ChainWindowImage(offset);
    ORV_ASSERT(image);  // the window holds the asked block
  }
  view = ViewOf(offset, image);
  return true;
}

bool TBlobFile::WalkKeptWindow(uint32_t offset) {
  auto window = keptWindows.upper_bound(offset);
  if (window == keptWindows.begin()) return false;
  --window;
  TKeptWindow& kept = window->second;
  if (BlocksIn(offset - window->first) >= uint32_t(kept.Blocks)) return false;
  if (!FollowsWalk(offset)) ++chainWalk;
  kept.Walk = chainWalk;
  keptByUse.splice(keptByUse.end(), keptByUse, kept.Use);
  chainWindowImages = kept.Images.get();
  chainWindowStart = window->first;
  chainWindowBlocks = kept.Blocks;
  chainFillEnd = window->first + uint32_t(kept.Blocks) * blockSize;
  chainWindowWanted = 0;
  chainWindowLookUp = false;
  return true;
}

std::unique_ptr<uint8_t[]> TBlobFile::KeptWindowRoom(int32_t count) {
  const int64_t bytes = KeptWindowCost(count);
  const int64_t limit = int64_t(NormalCacheCapacity()) * blockSize;
  if (bytes > limit) return nullptr;
  while (keptWindowBytes + bytes > limit) {
    // The walk's own windows are the most recently used: when the least
    // recently used is one of them, so is every other.
    if (keptByUse.empty()) return nullptr;
    const auto oldest = keptWindows.find(keptByUse.front());
    ORV_ASSERT(oldest != keptWindows.end());
    if (oldest->second.Walk == chainWalk) return nullptr;
    DropKeptWindow(oldest);
  }
  return std::make_unique_for_overwrite<uint8_t[]>(size_t(count) * blockSize);
}

void TBlobFile::DropKeptWindow(std::map<uint32_t, TKeptWindow>::iterator window) {
  if (chainWindowImages == window->second.Images.get()) {
    chainWindowImages = nullptr;
    chainWindowStart = 0;
    chainWindowBlocks = 0;
  }
  keptWindowBytes -= KeptWindowCost(window->second.Blocks);
  keptByUse.erase(window->second.Use);
  keptWindows.erase(window);
}

std::map<uint32_t, TBlobFile::TKeptWindow>::iterator TBlobFile::FirstKeptWindowNear(uint32_t offset) {
  auto window = keptWindows.upper_bound(offset);
  return window == keptWindows.begin() ? window : std::prev(window);
}

// The window holds what the cache would have held had it read the blocks
// along when the window was filled (every write overlapping it goes
// through to it, and every drop of the cache forgets it), so a block it holds becomes a cache entry
// without a read: freeing or rewriting a value just read does not read its
// blocks again.
TBlock* TBlobFile::BlockFromWindow(uint32_t offset) {
  if (!ChainWindowImage(offset)) return nullptr;
  TBlock* block = TakeCacheEntry(offset);
  // Making room may have written changed blocks back, and a write over the
  // window forgets it.
  const uint8_t* image = ChainWindowImage(offset);
  if (!image) {
    blockStack.Give(block);
    return nullptr;
  }
  block->LoadDeciphered(image);
  cache.Insert(block);
  return block;
}

// As many blocks as the caller still needs, but never less than a small
// read-ahead. Never more than the cache may hold, nor past the end,
// nor more than a scan's read-ahead: a long value too is read a window at
// a time, so that the window is still in the processor's caches when the
// chain copy takes it (one read of a whole 1 MB value went through memory
// twice, and its read-back took a tenth longer). A fill that starts where
// the last one ended, or a little past, reads twice as far ahead, up to
// the read-ahead and on to the scan read-ahead:
// a walk over a table's BLOBs pays one read and one change check per
// window, not per 64 KiB. Only while the walk wants enough of what it
// passes: a filter's scattered rows (a printer's jobs, one in fifty) lie
// a few KiB apart, windows grown over them read half the file for a
// fiftieth of it, and the windows kept (as many as their room holds)
// missed most of what the next execution asked for. Read as look-ups,
// the values' own blocks are kept, and they fit.
void TBlobFile::FillChainWindow(uint32_t offset, int32_t blocksAhead) {
  if (chainWindowBlocks > 0 && offset > chainWindowStart) {
    const int64_t passed = BlocksIn(offset - chainWindowStart);
    const int32_t share =
        int32_t(std::min<int64_t>(int64_t(chainWindowWanted) * FullWalkDensity / passed, FullWalkDensity));
    walkDensity = walkDensity < 0 ? share : (15 * walkDensity + share) / 16;
  }
  chainWindowImages = nullptr;
  chainWindowStart = 0;
  chainWindowBlocks = 0;
  chainWindowWanted = 0;
  const bool follows = FollowsWalk(offset) && (walkDensity < 0 || walkDensity >= WalkDensityToGrow);
  if (!follows) ++chainWalk;
  const int32_t byteReach = std::min(readAheadCount, std::max(LookupReadAheadBytes / int32_t(blockSize), 1));
  chainReadAhead = follows ? std::min(std::max(chainReadAhead, byteReach) * 2, scanReadAheadCount)
                           : std::min(byteReach, LookupReadAheadBlocks);
  const int32_t toEnd = int32_t(BlocksIn(EndOffset() - offset));
  int32_t count = std::max(
      std::min({std::max(blocksAhead, chainReadAhead), scanReadAheadCount, NormalCacheCapacity(), toEnd}), 1);
  // No kept window holds offset: the fill stops where the next one starts,
  // whose blocks need no read.
  if (const auto next = keptWindows.upper_bound(offset); next != keptWindows.end())
    count = std::min(count, int32_t(BlocksIn(next->first - offset)));
  // A walk's fills are kept (a look-up's wanted blocks go to the cache
  // instead); a temporary table's are read once, and a transaction's
  // reads see its own changes first.
  std::unique_ptr<uint8_t[]> kept;
  if (follows && !Temporary && !table->HoldsTransactionLock()) kept = KeptWindowRoom(count);
  uint8_t* images = kept.get();
  if (!images) {
    // Allocated once, at a scan's read-ahead, without clearing bytes: pages
    // that no fill reaches are never touched.
    const size_t room = size_t(scanReadAheadCount) * blockSize;
    ORV_ASSERT(size_t(count) * blockSize <= room);
    if (chainWindowRoom < room) {
      chainWindow.reset();
      chainWindowRoom = 0;
      chainWindow = std::make_unique_for_overwrite<uint8_t[]>(room);
      chainWindowRoom = room;
    }
    images = chainWindow.get();
  }
  const int32_t read = ReadImages(offset, count, images);
  if (table->IsEncrypted()) {
    for (int32_t i = 0; i < read; ++i) {
      uint8_t* image = images + size_t(i) * blockSize;
      table->Decipher(image, BlockHeaderSize);
      table->Decipher(image + BlockHeaderSize, uint32_t(BlockDataSize()));
    }
  }
  if (kept) {
    ORV_ASSERT(!keptWindows.contains(offset));
    keptWindowBytes += KeptWindowCost(read);
    TKeptWindow& window = keptWindows[offset];
    window.Images = std::move(kept);
    window.Blocks = read;
    window.Walk = chainWalk;
    window.Use = keptByUse.insert(keptByUse.end(), offset);
  }
  chainWindowImages = images;
  chainWindowStart = offset;
  chainWindowBlocks = read;
  chainFillEnd = offset + uint32_t(read) * blockSize;
  chainWindowLookUp = !follows;
  if (!follows) {
    // The blocks the value wants, not the whole fill: the rest are other
    // values' that a reader of scattered rows mostly never asks for, and
    // past the cache's room keeping them pushed out blocks asked for again.
    int32_t wanted = blocksAhead;
    if (wanted <= 1) {
      const uint32_t total = GetLE32(images + BlkTotalSize);
      wanted = int32_t(std::min<uint32_t>((total + uint32_t(BlockDataSize()) - 1) / uint32_t(BlockDataSize()),
                                          uint32_t(read)));
    }
    KeepLookUpBlocks(offset, std::clamp(wanted, 1, read));
  }
}

// A look-up's blocks are kept in the cache as the data file keeps a
// look-up's records: a statement run again (scattered rows' memos) finds
// them in memory, where the window would have given them up at the next
// fill; so are the other values a reader takes from the same window.
// Only idle entries make room, so a read never writes back; a
// transaction's cache only grows, and an answer's values are read once.
void TBlobFile::KeepLookUpBlocks(uint32_t from, int32_t count) {
  if (Temporary || table->HoldsTransactionLock()) return;
  ORV_ASSERT(ChainWindowImage(from));
  const int32_t first = int32_t(BlocksIn(from - chainWindowStart));
  count = std::min(count, chainWindowBlocks - first);
  for (int32_t i = first; i < first + count; ++i) {
    const uint32_t offset = chainWindowStart + uint32_t(i) * blockSize;
    if (cache.Find(offset)) continue;  // the cache's may be newer
    TBlock* block = nullptr;
    if (cache.Count() < cache.Capacity) {
      block = blockStack.Take();
    } else {
      block = cache.LeastRecentlyIdle(IdleSearchLimit);
      if (!block) return;
      if (!cache.Remove(block)) RaiseBlobError(EngErrBlocksCorrupt);
      block->Reset();
    }
    block->SetOffset(offset);
    block->LoadDeciphered(chainWindowImages + size_t(i) * blockSize);
    cache.Insert(block);
  }
}

void TBlobFile::ForgetChainWindow() {
  chainWindowImages = nullptr;
  chainWindowStart = 0;
  chainWindowBlocks = 0;
  keptWindows.clear();
  keptByUse.clear();
  keptWindowBytes = 0;
}

namespace {

// The bytes [from, to) that count blocks at offset share with a window of
// blocks images at start; false when they share none.
bool SharedSpan(uint32_t offset, int32_t count, uint32_t start, int32_t blocks, uint32_t blockSize, int64_t& from,
                int64_t& to) {
  from = std::max<int64_t>(offset, start);
  to = std::min(int64_t(offset) + int64_t(count) * blockSize, int64_t(start) + int64_t(blocks) * blockSize);
  return blocks > 0 && from < to;
}

}  // namespace

void TBlobFile::WriteThroughChainWindow(uint32_t offset, int32_t count, const uint8_t* images) {
  if (table->IsEncrypted()) {
    ForgetChainWindow(offset, count);
    return;
  }
  auto writeOver = [&](uint8_t* window, uint32_t start, int32_t blocks) {
    int64_t from = 0, to = 0;
    if (SharedSpan(offset, count, start, blocks, blockSize, from, to))
      std::memcpy(window + (from - start), images + (from - offset), size_t(to - from));
  };
  // The window walked is a kept one, or the fill's room.
  const int64_t end = int64_t(offset) + int64_t(count) * blockSize;
  for (auto window = FirstKeptWindowNear(offset); window != keptWindows.end() && window->first < end; ++window)
    writeOver(window->second.Images.get(), window->first, window->second.Blocks);
  if (chainWindowImages == chainWindow.get()) writeOver(chainWindow.get(), chainWindowStart, chainWindowBlocks);
}

void TBlobFile::ForgetChainWindow(uint32_t offset, int32_t count) {
  int64_t from = 0, to = 0;
  const int64_t end = int64_t(offset) + int64_t(count) * blockSize;
  for (auto window = FirstKeptWindowNear(offset); window != keptWindows.end() && window->first < end;) {
    const auto next = std::next(window);
    if (SharedSpan(offset, count, window->first, window->second.Blocks, blockSize, from, to))
      DropKeptWindow(window);
    window = next;
  }
  if (SharedSpan(offset, count, chainWindowStart, chainWindowBlocks, blockSize, from, to)) {
    chainWindowImages = nullptr;
    chainWindowStart = 0;
    chainWindowBlocks = 0;
  }
}
