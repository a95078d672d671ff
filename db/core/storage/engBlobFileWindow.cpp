// Reading a BLOB's chain ahead without a cache entry per block: whole runs
// of consecutive blocks in one read into the chain window, from which a
// chain read copies its data. Blocks the cache holds (changed or not yet
// written among them) are taken from the cache, so the window only stands
// in for blocks the cache would have read from disk.

#include <algorithm>
#include <cstring>

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
    if (reader && table->CheckChangesBeforeRead(reader)) return false;
    FillChainWindow(offset, blocksAhead);
    image = ChainWindowImage(offset);
    ORV_ASSERT(image);  // the window starts at the asked block
  }
  view = ViewOf(offset, image);
  return true;
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
// window, not per 64 KiB.
void TBlobFile::FillChainWindow(uint32_t offset, int32_t blocksAhead) {
  ForgetChainWindow();
  // A fill a little past where the last ended still follows a walk: the
  // records between were skipped (a filter), not their chains' blocks read.
  const bool follows = chainFillEnd != 0 && offset >= chainFillEnd && offset - chainFillEnd < LookupReadAheadBytes;
  const int32_t byteReach = std::min(readAheadCount, std::max(LookupReadAheadBytes / int32_t(blockSize), 1));
  chainReadAhead = follows ? std::min(std::max(chainReadAhead, byteReach) * 2, scanReadAheadCount)
                           : std::min(byteReach, LookupReadAheadBlocks);
  const int32_t toEnd = int32_t(BlocksIn(EndOffset() - offset));
  const int32_t count = std::max(
      std::min({std::max(blocksAhead, chainReadAhead), scanReadAheadCount, NormalCacheCapacity(), toEnd}), 1);
  // The window is allocated once, at a scan's read-ahead, without clearing
  // bytes: pages that no fill reaches are never touched.
  const size_t room = size_t(scanReadAheadCount) * blockSize;
  ORV_ASSERT(size_t(count) * blockSize <= room);
  if (chainWindowRoom < room) {
    chainWindow.reset();
    chainWindowRoom = 0;
    chainWindow = std::make_unique_for_overwrite<uint8_t[]>(room);
    chainWindowRoom = room;
  }
  uint8_t* images = chainWindow.get();
  const int32_t read = ReadImages(offset, count, images);
  if (table->IsEncrypted()) {
    for (int32_t i = 0; i < read; ++i) {
      uint8_t* image = images + size_t(i) * blockSize;
      table->Decipher(image, BlockHeaderSize);
      table->Decipher(image + BlockHeaderSize, uint32_t(BlockDataSize()));
    }
  }
  chainWindowStart = offset;
  chainWindowBlocks = read;
  chainFillEnd = offset + uint32_t(read) * blockSize;
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
    KeepLookUpBlocks(std::clamp(wanted, 1, read));
  }
}

// A look-up's blocks are kept in the cache as the data file keeps a
// look-up's records: a statement run again (scattered rows' memos) finds
// them in memory, where the window would have given them up at the next
// fill. Only idle entries make room, so a read never writes back; a
// transaction's cache only grows, and an answer's values are read once.
void TBlobFile::KeepLookUpBlocks(int32_t count) {
  if (Temporary || table->HoldsTransactionLock()) return;
  ORV_ASSERT(count <= chainWindowBlocks);
  for (int32_t i = 0; i < count; ++i) {
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
    block->LoadDeciphered(chainWindow.get() + size_t(i) * blockSize);
    cache.Insert(block);
  }
}

void TBlobFile::ForgetChainWindow() {
  chainWindowStart = 0;
  chainWindowBlocks = 0;
}

void TBlobFile::WriteThroughChainWindow(uint32_t offset, int32_t count, const uint8_t* images) {
  if (table->IsEncrypted()) {
    ForgetChainWindow(offset, count);
    return;
  }
  const uint32_t windowEnd = chainWindowStart + uint32_t(chainWindowBlocks) * blockSize;
  const uint32_t end = offset + uint32_t(count) * blockSize;
  if (chainWindowBlocks == 0 || offset >= windowEnd || end <= chainWindowStart) return;
  const uint32_t from = std::max(offset, chainWindowStart);
  const uint32_t to = std::min(end, windowEnd);
  std::memcpy(chainWindow.get() + (from - chainWindowStart), images + (from - offset), to - from);
}

void TBlobFile::ForgetChainWindow(uint32_t offset, int32_t count) {
  const int64_t end = int64_t(offset) + int64_t(count) * blockSize;
  const int64_t windowEnd = int64_t(chainWindowStart) + int64_t(chainWindowBlocks) * blockSize;
  if (chainWindowBlocks > 0 && offset < windowEnd && end > chainWindowStart) ForgetChainWindow();
}
