#include "engBlobBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "engAssert.h"
#include "engBlobFile.h"
#include "engBlobTrail.h"
#include "engErrorCodes.h"

namespace {

// A block pinned for one walk, released whatever way the walk ends.
class TPinnedBlock {
public:
  explicit TPinnedBlock(TBlobFile& file) : file(file) {}
  ~TPinnedBlock() { file.ReleaseBlock(block); }
  TPinnedBlock(const TPinnedBlock&) = delete;
  TPinnedBlock& operator=(const TPinnedBlock&) = delete;

  TBlock* operator->() const { return block; }
  TBlock* Get() const { return block; }

  // Releases the block held and takes the one at offset; false (holding
  // none) when the read met another user's change.
  bool Fetch(TReadContext* reader, uint32_t offset, int32_t blockCountHint, bool readAhead) {
    TBlock* next = nullptr;
    const bool found = file.GetBlock(reader, offset, next, blockCountHint, readAhead);
    Hold(next);
    return found;
  }
  bool FetchNew(TReadContext* reader) {
    TBlock* next = nullptr;
    const bool found = file.NewBlock(reader, next);
    Hold(next);
    return found;
  }
  // From another holder, which is left empty.
  void TakeFrom(TPinnedBlock& other) {
    Hold(other.block);
    other.block = nullptr;
  }
  TBlock* Detach() {
    TBlock* held = block;
    block = nullptr;
    return held;
  }

private:
  TBlobFile& file;
  TBlock* block = nullptr;

  void Hold(TBlock* next) {
    file.ReleaseBlock(block);
    block = next;
  }
};

int32_t BlocksFor(int64_t length, int32_t dataSize) {
  return int32_t(std::min<int64_t>((length + dataSize - 1) / dataSize, std::numeric_limits<int32_t>::max()));
}

}  // namespace

TBlobBuffer::TBlobBuffer(TReadContext* reader, TBlobFile* blobFile) : reader(reader), blobFile(blobFile) {}

TBlobBuffer::~TBlobBuffer() = default;

void TBlobBuffer::SetSize(int32_t newSize) {
  newSize = std::max(newSize, 0);
  if (newSize == Size()) return;
  Modified = true;
  if (newSize > 0)
    data.resize(size_t(newSize));
  else
    std::vector<uint8_t>().swap(data);
}

void TBlobBuffer::Load() {
  if (FirstOffset == 0) return;
  // A change found on the way dropped the caches; the walk starts again
  // under the change-check lock that the finding left held.
  while (!LoadChain()) {
  }
}

bool TBlobBuffer::LoadChain() {
  TBlobFile& file = *blobFile;
  const int32_t dataSize = file.BlockDataSize();
  const uint32_t first = uint32_t(FirstOffset);
  if (!file.IsBlockOffset(first)) file.RaiseBlobError(EngErrBlocksCorrupt);
  // The chain is read ahead whole, in runs of consecutive blocks, and its
  // blocks take no cache entries.
  TBlockView block;
  if (!file.ViewBlock(reader, first, 1, block)) return false;
  if (block.Sequence != Sequence) file.RaiseBlobError(EngErrRecordChanged);
  // The length comes from the file: no more than its blocks can hold.
  const uint32_t total = block.TotalSize;
  if (total > uint32_t(std::numeric_limits<int32_t>::max()) || BlocksFor(total, dataSize) > file.BlocksInFile())
    file.RaiseBlobError(EngErrEndOfBlob);
  // Filled block by block, not zeroed first.
  const int32_t size = int32_t(total);
  data.clear();
  data.reserve(size_t(size));
  const int32_t chainBlocks = BlocksFor(size, dataSize);
  TBlockTrail trail;
  trail.Add(first);
  while (Size() < size) {
    if (block.Sequence != Sequence) file.RaiseBlobError(EngErrRecordChanged);
    const int32_t wanted = std::min(dataSize, size - Size());
    const int32_t got = block.UsedOf(wanted, dataSize);
    data.insert(data.end(), block.Data, block.Data + got);
    const uint32_t next = block.Next;
    if (got < wanted || Size() == size || next == 0) break;
    if (!file.IsBlockOffset(next) || trail.Contains(next)) file.RaiseBlobError(EngErrBlocksCorrupt);
    trail.Add(next);
    ENG_ASSERT(trail.Count() <= file.BlocksInFile());  // each block once
    // Every block before the last is full, so the blocks still needed are
    // counted without a division per block.
    if (!file.ViewBlock(reader, next, chainBlocks - trail.Count() + 1, block)) return false;
  }
  Modified = false;
  if (Size() != size) file.RaiseBlobError(EngErrEndOfBlob);
  return true;
}

void TBlobBuffer::Save() {
  TBlobFile& file = *blobFile;
  if (FirstOffset == 0 && file.AppendsChains()) {
    FirstOffset = int32_t(file.AppendChain(Sequence, GetData(), Size()));
    Modified = false;
    return;
  }
  TPinnedBlock current(file);
  int32_t oldBlocksAhead = 0;  // of the old chain, after the current block
  if (FirstOffset != 0) {
    if (!file.IsBlockOffset(uint32_t(FirstOffset))) file.RaiseBlobError(EngErrBlocksCorrupt);
    if (!current.Fetch(reader, uint32_t(FirstOffset), 1, false)) file.RaiseBlobError(EngErrRecordChanged);
    oldBlocksAhead = BlocksFor(current->TotalSize(), file.BlockDataSize()) - 1;
  } else {
    if (!current.FetchNew(reader)) file.RaiseBlobError(EngErrRecordChanged);
    FirstOffset = int32_t(current->Offset());
  }
  current->SetSequence(Sequence);
  current->SetTotalSize(uint32_t(Size()));
  // The value's own blocks: neither the old chain nor the free list may
  // lead back into them.
  TBlockTrail trail;
  trail.Add(current->Offset());
  for (int32_t written = 0;;) {
    const int32_t count = std::min(file.BlockDataSize(), Size() - written);
    written += current->WriteData(0, count, GetData() + written);
    if (written == Size()) break;
    TPinnedBlock following(file);
    const uint32_t next = current->Next();
    if (next != 0) {
      if (!file.IsBlockOffset(next) || trail.Contains(next)) file.RaiseBlobError(EngErrBlocksCorrupt);
      if (!following.Fetch(reader, next, std::max(oldBlocksAhead, 1), true)) file.RaiseBlobError(EngErrRecordChanged);
      --oldBlocksAhead;
    } else {
      if (trail.Contains(file.NextBlockOffset())) file.RaiseBlobError(EngErrBlocksCorrupt);
      if (!following.FetchNew(reader)) file.RaiseBlobError(EngErrRecordChanged);
    }
    current->SetNext(following->Offset());
    following->SetPrevious(current->Offset());
    following->SetSequence(Sequence);
    following->SetTotalSize(0);
    trail.Add(following->Offset());
    current.TakeFrom(following);
  }
  // The old value took more blocks: the rest of its chain is freed.
  if (const uint32_t rest = current->Next(); rest != 0) {
    if (!file.IsBlockOffset(rest) || trail.Contains(rest)) file.RaiseBlobError(EngErrBlocksCorrupt);
    TPinnedBlock restBlock(file);
    if (!restBlock.Fetch(reader, rest, std::max(oldBlocksAhead, 1), true)) file.RaiseBlobError(EngErrRecordChanged);
    file.FreeChainFrom(reader, false, true, PhysicalRecordNo, Sequence, std::max(oldBlocksAhead, 1), restBlock.Detach(),
                       &trail);
    current->SetNext(0);
  }
  Modified = false;
}

void TBlobBuffer::FreeBlocks() {
  if (FirstOffset != 0) {
    uint32_t first = uint32_t(FirstOffset);
    blobFile->FreeChain(reader, false, true, PhysicalRecordNo, Sequence, first);
    FirstOffset = 0;
  }
  Modified = false;
}
