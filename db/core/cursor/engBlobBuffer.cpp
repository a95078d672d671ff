#include "engBlobBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "rtlAssert.h"
#include "engBlobFile.h"
#include "engBlobTrail.h"
#include "engErrorCodes.h"
#include "engShortCopy.h"

namespace {

// A block pinned for one walk, released whatever way the walk ends.
class TPinnedBlock {
public:
  explicit TPinnedBlock(TBlobFile& file) : file(file) {}
  ~TPinnedBlock() { file.ReleaseBlock(block); }
  TPinnedBlock(const TPinnedBlock&) = delete;
  TPinnedBlock& operator=(const TPinnedBlock&) = delete;

  TBlock* operator->() const { return block; }

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
  if (newSize == size) return;
  Modified = true;
  if (newSize == 0) {
    bytes.reset();
    size = capacity = 0;
    return;
  }
  if (newSize > capacity)
    Reserve(int32_t(std::min<int64_t>(std::max<int64_t>(newSize, int64_t(capacity) * 2),
                                      std::numeric_limits<int32_t>::max())));
  if (newSize > size) std::memset(bytes.get() + size, 0, size_t(newSize - size));
  size = newSize;
}

void TBlobBuffer::Recycle() {
  Handle = 0;
  Modified = false;
  Sequence = 0;
  PhysicalRecordNo = 0;
  FieldNo = 0;
  FirstOffset = 0;
  Release = false;
  size = 0;
}

void TBlobBuffer::Reserve(int32_t count) {
  ORV_ASSERT(count >= size);
  if (count <= capacity) return;
  auto larger = std::make_unique_for_overwrite<uint8_t[]>(size_t(count));
  if (size > 0) std::memcpy(larger.get(), bytes.get(), size_t(size));
  bytes = std::move(larger);
  capacity = count;
}

uint8_t* TBlobBuffer::Overwrite(int32_t length) {
  ORV_ASSERT(length >= 0);
  size = 0;
  Reserve(length);
  size = length;
  Modified = true;
  return bytes.get();
}

void TBlobBuffer::Load() {
  if (FirstOffset == 0) return;
  // The buffer's own bytes are the room; a load that starts over keeps
  // none of the first pass.
  TBlobBufferRoom room(*this);
  size = 0;
  size = LoadChainValue(reader, *blobFile, uint32_t(FirstOffset), Sequence, room);
  Modified = false;
}

// The value's bytes as a chain walk copies them in, block by block: the
// leading run and the checked walk after it fill the one value.
class TChainCopy {
public:
  // chainBlocks: the blocks a value of length bytes takes.
  TChainCopy(TBlobFile& file, uint8_t* out, int32_t length, int32_t chainBlocks, uint32_t sequence)
      : file(file),
        out(out),
        length(length),
        dataSize(file.BlockDataSize()),
        sequence(sequence),
        blocksBeforeLast(chainBlocks - 1) {}

  int32_t Filled() const { return filled; }
  // Appends the block's part of the value; whether the chain goes on, at
  // next. 8708 for a block of another value.
  bool Take(const TBlockView& block, uint32_t& next) {
    if (block.Sequence != sequence) file.RaiseBlobError(EngErrRecordChanged);
    ++blocks;
    const int32_t wanted = std::min(dataSize, length - filled);
    const int32_t got = block.UsedOf(wanted, dataSize);
    if (got > 0) CopyFew(out + filled, block.Data, size_t(got));
    filled += got;
    next = block.Next;
    return got == wanted && filled < length && next != 0;
  }
  // Takes the blocks of a run the window holds, consecutive in the file
  // from the one at next, while each leads on to the one after it; how
  // many it took, more and next as Take leaves them after the last. Most
  // of a value appended whole are full blocks in such a run, and those
  // are copied straight from their images, without a view each. The loop
  // keeps its state in locals: the copies store bytes, which as far as the
  // compiler knows may change any member or reference.
  int32_t TakeRun(const uint8_t* images, int32_t run, uint32_t blockSize, uint32_t& next, bool& more) {
    uint8_t* const to = out;
    const int32_t size = dataSize;
    const uint32_t owner = sequence;
    int32_t at = filled;
    uint32_t offset = next;
    int32_t taken = 0;
    const uint8_t* image = images;
    for (;;) {
      // Every block the chain has gone on from was full, and so is every
      // block before the value's last: those are counted ahead, and the
      // loop tests no block for the value's end.
      ORV_ASSERT(at == blocks * size);
      const int32_t fullEnd = std::min(run, taken + std::max(blocksBeforeLast - blocks, 0));
      const int32_t from = taken;
      while (taken < fullEnd && GetLE32(image + BlkNext) == offset + blockSize &&
             GetLE32(image + BlkSequence) == owner && GetLE16(image + BlkBytesUsed) >= size) {
        CopyFew(to + at, image + BlockHeaderSize, size_t(size));
        at += size;
        offset += blockSize;
        image += blockSize;
        ++taken;
      }
      blocks += taken - from;
      if (taken == run) break;
      ++taken;
      filled = at;
      more = Take(TBlobFile::ViewOf(offset, image), next);
      if (!more || next != offset + blockSize) return taken;
      at = filled;
      offset = next;
      image += blockSize;
    }
    filled = at;
    if (taken > 0) {
      next = offset;
      more = true;
    }
    return taken;
  }

private:
  TBlobFile& file;
  uint8_t* const out;
  const int32_t length;
  const int32_t dataSize;
  const uint32_t sequence;
  const int32_t blocksBeforeLast;
  int32_t filled = 0;
  int32_t blocks = 0;  // taken
};

namespace {

// One pass of a chain's load at a time, until one meets no other user's
// change.
class TChainLoad {
public:
  TChainLoad(TReadContext* reader, TBlobFile& file, uint32_t first, uint32_t sequence, TBlobValueRoom& room)
      : reader(reader), file(file), first(first), sequence(sequence), room(room) {}

  // The value's length, or -1 when the pass met another user's change.
  int32_t Pass();

private:
  TReadContext* reader;
  TBlobFile& file;
  const uint32_t first;
  const uint32_t sequence;
  TBlobValueRoom& room;

  // The rest of the chain from next, after the leading blocks from first
  // were copied, with every check; false when a read met another user's
  // change.
  bool WalkChain(TChainCopy& copy, int32_t leading, int32_t chainBlocks, uint32_t next);
};

int32_t TChainLoad::Pass() {
  const uint32_t blockSize = file.BlockSize();
  if (!file.IsBlockOffset(first)) file.RaiseBlobError(EngErrBlocksCorrupt);
  // The chain is read ahead a window at a time, in runs of consecutive
  // blocks, and its blocks take no cache entries.
  TBlockView block;
  if (!file.ViewBlock(reader, first, 1, block)) return -1;
  if (block.Sequence != sequence) file.RaiseBlobError(EngErrRecordChanged);
  // The length comes from the file: no more than its blocks can hold.
  const uint32_t total = block.TotalSize;
  const int32_t chainBlocks = BlocksFor(total, file.BlockDataSize());
  if (total > uint32_t(std::numeric_limits<int32_t>::max()) || chainBlocks > file.BlocksInFile())
    file.RaiseBlobError(EngErrEndOfBlob);
  const int32_t length = int32_t(total);
  TChainCopy copy(file, room.Room(length), length, chainBlocks, sequence);
  uint32_t next = 0;
  bool more = copy.Take(block, next);
  file.NoteChainRead(first, chainBlocks);
  // A value appended whole runs on through the blocks after its first, and
  // the window mostly holds them: they are copied in a tight loop. A chain
  // that only ever steps to the next block cannot return to one it passed,
  // and the window holds only blocks of the file, so no block of this
  // leading run needs the offset and loop checks.
  int32_t leading = 1;  // consecutive blocks from the first, all taken
  if (more && next == first + blockSize) {
    const uint8_t* images = nullptr;
    const int32_t run = file.WindowRun(next, images);
    leading += copy.TakeRun(images, run, blockSize, next, more);
  }
  if (more && !WalkChain(copy, leading, chainBlocks, next)) return -1;
  if (copy.Filled() != length) file.RaiseBlobError(EngErrEndOfBlob);
  return length;
}

bool TChainLoad::WalkChain(TChainCopy& copy, int32_t leading, int32_t chainBlocks, uint32_t next) {
  const uint32_t blockSize = file.BlockSize();
  TBlockTrail trail(blockSize);
  trail.AddRun(first, leading);
  TBlockView block;
  for (bool more = true; more;) {
    ORV_ASSERT(trail.Count() <= file.BlocksInFile());  // each block once
    if (!file.IsBlockOffset(next) || trail.Contains(next)) file.RaiseBlobError(EngErrBlocksCorrupt);
    const uint8_t* images = nullptr;
    const int32_t run = next > trail.Highest() ? file.WindowRun(next, images) : 0;
    if (run == 0) {
      trail.Add(next);
      // Every block before the last is full, so the blocks still needed are
      // counted without a division per block.
      if (!file.ViewBlock(reader, next, chainBlocks - trail.Count() + 1, block)) return false;
      more = copy.Take(block, next);
      continue;
    }
    // Consecutive blocks above every block passed cannot be on the trail:
    // they are taken straight from the window while the chain runs on
    // through them.
    const uint32_t runFirst = next;
    trail.AddRun(runFirst, copy.TakeRun(images, run, blockSize, next, more));
  }
  return true;
}

}  // namespace

int32_t LoadChainValue(TReadContext* reader, TBlobFile& file, uint32_t first, uint32_t sequence,
                       TBlobValueRoom& room) {
  TChainLoad load(reader, file, first, sequence, room);
  // A change found on the way dropped the caches; the walk starts again
  // under the change-check lock that the finding left held.
  for (;;)
    if (const int32_t length = load.Pass(); length >= 0) return length;
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
  TBlockTrail trail(file.BlockSize());
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
