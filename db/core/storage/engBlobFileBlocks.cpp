// Blocks of the BLOB file: the cache sorted by offset and chained by recent
// use, reading ahead, appending, the free list, and writing modified blocks
// back in runs of consecutive offsets.

#include <algorithm>
#include <cstring>

#include "rtlAssert.h"
#include "engBlobFile.h"
#include "engDataIo.h"
#include "engErrorCodes.h"
#include "engLittleEndian.h"
#include "engScopeGuard.h"

namespace {

constexpr int32_t TransactionGrowth = 255;
constexpr int32_t MaxRunBytes = 1048576;

TBlock* BlockAt(const std::vector<TBlock*>& list, int32_t index) {
  ORV_ASSERT(index >= 0 && size_t(index) < list.size());
  return list[size_t(index)];
}

}  // namespace

// ---- handing out blocks ------------------------------------------------

bool TBlobFile::GetBlock(TReadContext* reader, uint32_t offset, TBlock*& block, int32_t blockCountHint,
                         bool readAhead) {
  block = nullptr;
  if (offset == 0) RaiseBlobError(EngErrBlocksCorrupt);
  if (offset == EndOffset()) {
    block = AppendBlock();
  } else {
    if (!IsBlockOffset(offset)) RaiseBlobError(EngErrBlocksCorrupt);
    block = cache.Find(offset);
    if (block) {
      cache.MoveToNewest(block);
    } else if (!(block = BlockFromWindow(offset))) {
      if (reader && table->CheckChangesBeforeRead(reader)) return false;
      int32_t count = 1;
      if (readAhead)
        count = std::max(std::min({readAheadCount, blockCountHint, int32_t((EndOffset() - offset) / blockSize)}), 1);
      ReadBlocks(offset, count);
      block = cache.Find(offset);
      if (!block) RaiseBlobError(EngErrBlocksCorrupt);
    }
  }
  block->Pin();
  ++lentBlocks;
  changesUnwritten = true;
  cache.NoteForWriteBack(block);
  return true;
}

void TBlobFile::ReleaseBlock(TBlock* block) {
  if (!block) return;
  ORV_ASSERT(lentBlocks > 0);
  if (lentBlocks > 0) --lentBlocks;
  block->Unpin();
  if (block->Orphaned && block->UseCount() == 0) {
    TBlock* returned = orphans.Extract(orphans.IndexOf(block)).release();
    blockStack.Give(returned);
  }
}

TBlock* TBlobFile::AppendBlock() {
  const uint32_t offset = EndOffset();
  if (offset < BlobHeaderSize || (offset - BlobHeaderSize) % blockSize != 0) RaiseBlobError(EngErrHeaderCorrupt);
  if (offset > MaxBlobFileEnd) RaiseBlobError(EngErrTableFull);
  TBlock* block = TakeCacheEntry(offset);
  cache.Insert(block);
  // The end offset now counts the block: it must reach the disk, and may
  // before the records, as no record on disk names anything past the end.
  block->SetModified(true);
  block->SetFresh(true);
  PutLE32(header + BlbHdrEndOffset, offset + blockSize);
  SetHeaderModified();
  headerBehindNewBlocks = true;
  return block;
}

bool TBlobFile::AppendsChains() const { return FirstFree() == 0 && !table->HoldsTransactionLock(); }

void TBlobFile::HeldImages(uint32_t offset, int32_t count, uint8_t* images) {
  held.Images(offset, count, images);
  if (!table->IsEncrypted()) return;
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* image = images + size_t(i) * blockSize;
    table->Encipher(image, BlockHeaderSize);
    table->Encipher(image + BlockHeaderSize, uint32_t(BlockDataSize()));
  }
}

void TBlobFile::WriteHeld() {
  WriteHeldImages();
  DropHeld();
}

void TBlobFile::WriteHeldImages() {
  if (held.Empty()) return;
  const int32_t maxRun = std::max(MaxRunBytes / int32_t(blockSize), 1);
  const uint32_t end = held.End();
  for (uint32_t offset = held.Start(); offset < end;) {
    const int32_t count = int32_t(std::min<uint32_t>(uint32_t(maxRun), BlocksIn(end - offset)));
    uint8_t* images = Room(writeBuffer, count * int32_t(blockSize));
    HeldImages(offset, count, images);
    WriteFileAt(*this, table->TableName(), offset, images, count * int32_t(blockSize));
    offset += uint32_t(count) * blockSize;
  }
}

uint32_t TBlobFile::AppendChain(uint32_t sequence, const uint8_t* value, int32_t size) {
  ORV_ASSERT(AppendsChains() && size > 0);
  const uint32_t first = EndOffset();
  if (first < BlobHeaderSize || (first - BlobHeaderSize) % blockSize != 0) RaiseBlobError(EngErrHeaderCorrupt);
  const int32_t dataSize = BlockDataSize();
  const int64_t blocks = (int64_t(size) + dataSize - 1) / dataSize;
  // The whole chain fits, or nothing is appended.
  if (int64_t(first) + (blocks - 1) * blockSize > MaxBlobFileEnd) RaiseBlobError(EngErrTableFull);
  if (Temporary && size <= HeldBytes) {
    const int64_t bound = heldInParts ? std::min(HeldBytes, HeldPartBytes) : HeldBytes;
    if (!held.Empty() && first != held.End()) {
      WriteHeld();
    } else if (!held.Empty() && held.Bytes() + size > bound) {
      // An answer's values past the held bytes go out in parts, each held
      // in the memory the last one took (not given back and faulted in
      // again).
      WriteHeldImages();
      heldInParts = true;
      held.Restart(std::min(HeldBytes, HeldPartBytes));
    }
    held.Add(first, sequence, value, size);
  } else {
    const int32_t maxRun = std::max(MaxRunBytes / int32_t(blockSize), 1);
    for (int64_t runFirst = 0; runFirst < blocks; runFirst += maxRun) {
      const int32_t count = int32_t(std::min<int64_t>(maxRun, blocks - runFirst));
      const uint32_t runOffset = first + uint32_t(runFirst) * blockSize;
      uint8_t* images = Room(writeBuffer, count * int32_t(blockSize));
      for (int32_t i = 0; i < count; ++i) {
        ORV_ASSERT(!cache.Find(runOffset + uint32_t(i) * blockSize));  // past the end offset nothing is cached
        uint8_t* image = images + size_t(i) * blockSize;
        PutChainBlock(image, blockSize, first, runFirst + i, sequence, value, size);
        if (table->IsEncrypted()) {
          table->Encipher(image, BlockHeaderSize);
          table->Encipher(image + BlockHeaderSize, uint32_t(dataSize));
        }
      }
      WriteThroughChainWindow(runOffset, count, images);
      WriteFileAt(*this, table->TableName(), runOffset, images, count * int32_t(blockSize));
    }
  }
  PutLE32(header + BlbHdrEndOffset, first + uint32_t(blocks) * blockSize);
  SetHeaderModified();
  if (!Temporary) WriteHeaderBeforeRecords();
  table->SetDataChanged();
  return first;
}

// The records naming new chains are written back before the header at the
// end of the change; a writer killed between the two left a record whose
// chain lay past the end offset on disk, or whose blocks the free list on
// disk still listed, which every later read or reuse refused as damage.
// With the header's end offset and free list head on disk first, such a
// kill leaves at most a chain no record names. The file still ends byte
// for byte the same: the change's header write follows at its end as
// before, or finds its bytes on disk already; and no other process reads
// the header in between (the write lock keeps it out). The free list head
// on disk is never a block freed by the change: those blocks still hold
// values the records on disk name until the records are written. So the
// whole header goes ahead only when its head is the one on disk (a change
// that appends or reuses free blocks only, one system call for the header
// as before); a change that also freed writes the two fields alone.
void TBlobFile::WriteHeaderBeforeRecords() {
  if (FirstFree() == diskFreeHead)
    WriteHeaderAhead();
  else
    WriteHeaderFields();
}

void TBlobFile::WriteHeaderAhead() {
  std::memcpy(aheadImage, header, BlobHeaderSize);
  PutLE32(aheadImage + BlbHdrChangeCount, GetChangeCount() + 1);
  headerAhead = false;  // the bytes on disk are unknown until the write succeeds
  WriteHeaderBytes(aheadImage, 0, BlobHeaderSize);
  headerAhead = true;
  headerBehindNewBlocks = false;
}

void TBlobFile::WriteHeaderFields() {
  static_assert(BlbHdrEndOffset == BlbHdrFirstFree + 4, "the two fields are written in one piece");
  constexpr uint32_t FieldsLength = 2 * sizeof(uint32_t);
  uint8_t plain[BlobHeaderSize];
  std::memcpy(plain, header, BlobHeaderSize);
  PutLE32(plain + BlbHdrFirstFree, diskFreeHead);
  headerAhead = false;
  WriteHeaderBytes(plain, BlbHdrFirstFree, FieldsLength);
  headerBehindNewBlocks = false;
}

bool TBlobFile::NewBlock(TReadContext* reader, TBlock*& block) {
  const bool fromFreeList = FirstFree() != 0;
  const uint32_t offset = NextBlockOffset();
  if (fromFreeList && !IsBlockOffset(offset)) RaiseBlobError(EngErrHeaderCorrupt);
  if (!GetBlock(reader, offset, block, 1, false)) return false;
  bool fresh = true;  // appended: past the end offset on disk
  if (fromFreeList) {
    const uint32_t next = block->Next();
    if (block->UseCount() > 1 || next == offset || (next != 0 && !IsBlockOffset(next))) {
      ReleaseBlock(block);
      block = nullptr;
      RaiseBlobError(EngErrBlocksCorrupt);
    }
    if (offset == diskFreeHead && !block->Modified()) {
      // Free on disk, and its link there is the one in memory.
      diskFreeHead = next;
      headerBehindNewBlocks = true;
    } else {
      // Freed since the header was written: free on disk only if it was
      // new itself, else a record on disk may still name it.
      fresh = block->Fresh();
    }
    SetFirstFree(next);
  }
  block->Reset();
  block->SetModified(true);
  block->SetFresh(fresh);
  return true;
}

void TBlobFile::FreeBlock(TBlock* block) {
  // A block heading the free list already would link to itself.
  if (block->Offset() == FirstFree()) RaiseBlobError(EngErrBlocksCorrupt);
  block->SetNext(FirstFree());
  SetFirstFree(block->Offset());
}

// ---- reading -----------------------------------------------------------

bool TBlobFile::ShortReadAllowed() const {
  return (Temporary || table->HoldsTransactionLock()) && table->DataChanged();
}

bool TBlobFile::InReadWindow(uint32_t offset) const {
  return readWindowLength > 0 && offset >= readWindowStart && int64_t(offset) < int64_t(readWindowStart) + readWindowLength;
}

// Blocks the disk file does not hold yet read as zeros where the table's
// changes may be ahead of the disk; elsewhere a read-ahead ends at the end
// of the disk file, and the asked block must be there.
int32_t TBlobFile::ReadImages(uint32_t offset, int32_t count, uint8_t* images) {
  ORV_ASSERT(count >= 1);
  // Held blocks are made from the held values; a read across an edge of
  // them stops at it.
  if (held.Holds(offset, 1)) {
    count = std::min<int32_t>(count, int32_t(BlocksIn(held.End() - offset)));
    HeldImages(offset, count, images);
    return count;
  }
  if (held.Overlaps(offset, count)) count = int32_t(BlocksIn(held.Start() - offset));
  const int32_t length = count * int32_t(blockSize);
  const int32_t n = ReadFileAt(*this, table->TableName(), offset, images, length, true);
  ++physicalReads;
  if (n < length && ShortReadAllowed()) {
    std::memset(images + n, 0, size_t(length - n));
  } else if (n < length) {
    count = n / int32_t(blockSize);
    if (count == 0) RaiseBlobError(EngErrReadFailed);
  }
  return count;
}

void TBlobFile::ReadBlocks(uint32_t offset, int32_t count) {
  uint8_t* images = Room(readBuffer, count * int32_t(blockSize));
  readWindowStart = offset;
  readWindowLength = count * int32_t(blockSize);
  TScopeGuard closeWindow([this] {
    readWindowStart = 0;
    readWindowLength = 0;
  });
  count = ReadImages(offset, count, images);
  for (int32_t i = count - 1; i >= 0; --i) {
    const uint32_t blockOffset = offset + uint32_t(i) * blockSize;
    const uint8_t* image = images + i * int32_t(blockSize);
    TBlock* block = cache.Find(blockOffset);
    if (block) {
      if (block->UseCount() == 0 && !block->Modified()) block->Load(image);
      continue;
    }
    block = TakeCacheEntry(blockOffset);
    block->Load(image);
    cache.Insert(block);
  }
}

// A block object for offset, not yet in the cache: from the pool while the
// cache has room, else the least recently used block that is neither
// modified nor in use.
TBlock* TBlobFile::TakeCacheEntry(uint32_t offset) {
  TBlock* block = nullptr;
  if (cache.Count() < cache.Capacity) {
    block = blockStack.Take();
  } else {
    block = cache.LeastRecentlyIdle();
    if (!block && !table->HoldsTransactionLock()) {
      FlushBlocks();
      block = cache.LeastRecentlyIdle();
    }
    if (block) {
      if (!cache.Remove(block)) RaiseBlobError(EngErrBlocksCorrupt);
      block->Reset();
    } else if (table->HoldsTransactionLock()) {
      // A transaction's changes stay in memory until it ends.
      cache.Capacity += TransactionGrowth;
      block = blockStack.Take();
    } else {
      RaiseBlobError(EngErrBlocksCorrupt);
    }
  }
  block->SetOffset(offset);
  return block;
}

// ---- writing and dropping ----------------------------------------------

template <typename TPass>
bool TBlobFile::WriteNoted(TPass due) {
  cache.Noted(due, flushList);
  if (flushList.empty()) return false;
  // A block written back may be one of the held ones, read and changed.
  WriteHeld();
  const int32_t listed = int32_t(flushList.size());
  const int32_t maxRun = std::max(MaxRunBytes / int32_t(blockSize), 1);
  for (int32_t first = 0; first < listed;) {
    int32_t last = first;
    while (last + 1 < listed && last - first + 1 < maxRun &&
           BlockAt(flushList, last + 1)->Offset() == BlockAt(flushList, last)->Offset() + blockSize)
      ++last;
    WriteRun(first, last);
    first = last + 1;
  }
  flushList.clear();
  ORV_ASSERT(!cache.Any(due));  // no block changed without a pin
  table->SetDataChanged();
  return true;
}

bool TBlobFile::FlushNewBlocks() {
  held.Keep();
  const bool wrote = WriteNoted([this](const TBlock* block) {
    return block->Fresh() && block->UseCount() == 0 && !InReadWindow(block->Offset());
  });
  // The end offset written counts every block appended: none may wait.
  ORV_ASSERT(!cache.Any([](const TBlock* block) { return block->Fresh(); }));
  if (headerBehindNewBlocks) WriteHeaderBeforeRecords();
  return wrote;
}

bool TBlobFile::FlushBlocks() {
  held.Keep();
  const bool wrote = WriteNoted([this](const TBlock* block) {
    return block->Modified() && block->UseCount() == 0 && !InReadWindow(block->Offset());
  });
  // Every change was written: what the cache holds is what the disk holds.
  if (lentBlocks == 0 && readWindowLength == 0) changesUnwritten = false;
  return wrote;
}

void TBlobFile::WriteRun(int32_t first, int32_t last) {
  ORV_ASSERT(first >= 0 && first <= last && last < int32_t(flushList.size()));
  const int32_t count = last - first + 1;
  uint8_t* images = Room(writeBuffer, count * int32_t(blockSize));
  for (int32_t i = 0; i < count; ++i) BlockAt(flushList, first + i)->Save(images + i * int32_t(blockSize));
  // Not on disk: the blocks keep their changes for a later write.
  TScopeGuard keepChanges([this, first, last] {
    for (int32_t i = first; i <= last; ++i) BlockAt(flushList, i)->SetModified(true);
    flushList.clear();
  });
  const uint32_t offset = BlockAt(flushList, first)->Offset();
  // Before the write: should it fail, the cache keeps these blocks changed
  // and wins over the window.
  WriteThroughChainWindow(offset, count, images);
  WriteFileAt(*this, table->TableName(), offset, images, count * int32_t(blockSize));
  keepChanges.Dismiss();
  // On disk now: a record may name them from here on.
  for (int32_t i = first; i <= last; ++i) BlockAt(flushList, i)->SetFresh(false);
}

// Chains held since the last flush go with the cache's unwritten blocks.
void TBlobFile::DropCache() {
  held.DropUnkept();
  ForgetChainWindow();
  changesUnwritten = false;  // a block still lent is counted until given back
  cache.ForEach([this](TBlock* block) {
    if (block->UseCount() > 0) {
      block->Orphaned = true;
      orphans.Adopt(block);
    } else {
      blockStack.Give(block);
    }
  });
  cache.Clear();
}

void TBlobFile::TrimCache() {
  const int32_t normal = NormalCacheCapacity();
  for (TBlock* block = cache.Oldest(); block && cache.Count() > normal;) {
    TBlock* newer = block->Newer;
    if (block->Idle()) {
      cache.Remove(block);
      blockStack.Give(block);
    }
    block = newer;
  }
  cache.Capacity = normal;
}
