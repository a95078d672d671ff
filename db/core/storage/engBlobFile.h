#pragma once
// The BLOB file of a table (".BLB"): the contents of the table's BLOB
// fields as chains of fixed-size blocks, with a cache of blocks that reads
// ahead along a chain and writes modified blocks back in runs of
// consecutive offsets. Freed blocks form a free list, the last freed
// reused first.
//
// Every offset and count taken from the file is checked against the file
// before it is used: a damaged header raises 8961 (12035 for another
// format), a damaged block or chain 8963.

#include <algorithm>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engBlobBlock.h"
#include "engBlobHeldChains.h"
#include "engBlobLayout.h"
#include "engBlobTrail.h"
#include "engEntryCache.h"
#include "engFileHandler.h"
#include "engFileTable.h"
#include "engLittleEndian.h"
#include "engBuffer.h"
#include "engOwnedList.h"

// One block as a chain read sees it, without a cache entry.
struct TBlockView {
  uint32_t Offset = 0;
  uint32_t Next = 0;
  uint16_t BytesUsed = 0;
  uint32_t Sequence = 0;
  uint32_t TotalSize = 0;
  const uint8_t* Data = nullptr;  // the data area, valid until the file's next call

  // How many of count bytes from the start of the data area the block
  // uses; the stored count comes from the file, so never past the area.
  int32_t UsedOf(int32_t count, int32_t dataSize) const {
    return std::min({count, int32_t(BytesUsed), dataSize});
  }
};

// What the BLOB file needs of the table that owns it.
class TBlobFileTable : public virtual TFileTable {
public:
  virtual bool IsEncrypted() const = 0;

protected:
  ~TBlobFileTable() = default;
};

class TBlobFile : public TFileHandler {
public:
  explicit TBlobFile(TBlobFileTable* table);
  ~TBlobFile() override;

  // The table's BLOB block size, handed over before Open or CreateFile;
  // 0 means 512.
  void SetBlockSize(uint16_t size);
  uint16_t BlockSize() const { return blockSize; }
  int32_t BlockDataSize() const { return int32_t(blockSize) - BlockHeaderSize; }

  // What a chain window's fill that follows no walk reads at most: the
  // chains of the records after this one were most likely written after
  // it, but a reader looking up scattered records (a filter's few rows)
  // wants none of them, and each of its fills copied a whole read-ahead.
  // In blocks too: a value of a few small blocks wants no more (a longer
  // one's first block tells its length, and the rest comes in one more
  // fill), and 4 KiB of 64-byte blocks spent half their fill copying.
  static constexpr int32_t LookupReadAheadBytes = 4096;
  static constexpr int32_t LookupReadAheadBlocks = 8;
  // Reads the header. 8961 for a block size below 64.
  void Open() override;
  // Drops the cache without writing.
  void Close() override;
  // Creates the file with an empty header image, marked modified for the
  // table to write. 9498 for a block size below 64.
  void CreateFile() override;

  // Header.
  void ReadHeader();
  // Writes when the header is modified or force is set.
  void WriteHeader(bool force);
  // Counts a change without writing (the table holds its changes).
  void MarkChanged();
  // True (and the disk header taken over) when another writer changed it.
  bool HeaderChanged();
  // Empties the file: it ends after the header; the change count stays.
  void ResetHeader();
  // Raises the first fault of the header: 12035 for another format, 8961
  // for an end offset or first free block that the file cannot hold.
  void VerifyHeader();
  uint32_t GetChangeCount() const { return GetLE32(header + BlbHdrChangeCount); }
  bool HeaderModified() const { return header[BlbHdrModified] != 0; }

  uint32_t EndOffset() const { return GetLE32(header + BlbHdrEndOffset); }
  uint32_t FirstFree() const;
  // Marks the header modified when the value changes.
  void SetFirstFree(uint32_t offset);
  // Where NewBlock takes its block: the first free block, else the end.
  uint32_t NextBlockOffset() const;
  // Blocks between the header and the end offset.
  int32_t BlocksInFile() const;
  // Whether offset names a block the file holds.
  bool IsBlockOffset(uint32_t offset) const {
    return offset >= BlobHeaderSize && offset < EndOffset() && OnBlockStep(offset - BlobHeaderSize);
  }

  // Blocks. GetBlock hands out the block at offset pinned; at the end
  // offset it appends a new block. A block the chain window holds is taken
  // from it; any other is read, ahead when asked, as many blocks as the hint
  // allows. False (and no block) when a read for a reader met other users'
  // changes: the caller starts its chain over.
  bool GetBlock(TReadContext* reader, uint32_t offset, TBlock*& block, int32_t blockCountHint, bool readAhead);
  void ReleaseBlock(TBlock* block);
  // Reading a whole chain ahead without a cache entry per block: the block
  // at offset as it stands, from the cache when it holds the block, else
  // from the chain window or a kept one, else from a refill of the window
  // with one read of the consecutive blocks from offset, as many as
  // blocksAhead (the blocks the caller still needs, itself included), the
  // read-ahead and the window allow. Leaving the window looks for other
  // users' changes first, as GetBlock does before a read, and is false (no
  // view) when it found some. Writes go through to the windows (or forget
  // them) and dropping the cache forgets them, so they never show older
  // bytes than the cache.
  bool ViewBlock(TReadContext* reader, uint32_t offset, int32_t blocksAhead, TBlockView& view) {
    // Inline for a walk along the window while the cache holds no change.
    if (!CacheHoldsChanges() && IsBlockOffset(offset)) {
      if (const uint8_t* image = ChainWindowImage(offset)) {
        view = ViewOf(offset, image);
        return true;
      }
    }
    return ViewBlockFromFile(reader, offset, blocksAhead, view);
  }
  // The images of consecutive blocks from offset that the chain window
  // holds, while the cache holds no change (else it may hold newer ones):
  // how many (0 for none), images set to the first.
  int32_t WindowRun(uint32_t offset, const uint8_t*& images) const {
    if (CacheHoldsChanges() || !IsBlockOffset(offset)) return 0;
    const uint8_t* image = ChainWindowImage(offset);
    if (!image) return 0;
    images = image;
    return chainWindowBlocks - int32_t(BlocksIn(offset - chainWindowStart));
  }
  // A chain read of blocks from first began: it counts towards how much of
  // the window its walk wants, and a look-up's window keeps its blocks.
  void NoteChainRead(uint32_t first, int32_t blocks) {
    if (!ChainWindowImage(first)) return;
    chainWindowWanted += blocks;
    if (chainWindowLookUp && first != chainWindowStart) KeepLookUpBlocks(first, blocks);
  }
  // The block at offset as its deciphered image holds it.
  static TBlockView ViewOf(uint32_t offset, const uint8_t* image) {
    return {offset, GetLE32(image + BlkNext), GetLE16(image + BlkBytesUsed), GetLE32(image + BlkSequence),
            GetLE32(image + BlkTotalSize), image + BlockHeaderSize};
  }
  // The first free block, or a new one at the end: pinned and reset.
  bool NewBlock(TReadContext* reader, TBlock*& block);
  // Whether a new chain may go straight to the end of the file: the free
  // list is empty, and no transaction keeps its changes in memory.
  bool AppendsChains() const;
  // Writes a new chain holding the value at the end of the file at once,
  // in runs, without cache entries (the bytes a chain of new blocks written
  // back would leave), and counts it in the end offset, on disk too before
  // any record can name the chain; its first block's offset. 9479, with
  // nothing appended, when the file cannot hold it all. A temporary
  // table's (an answer's: nobody else reads it, and it is mostly deleted
  // unread at its close) chains are held in memory instead, as their
  // values, up to HeldBytes of them: reads take their blocks from there,
  // a flush keeps them as written, and they are written before any
  // write-back of blocks, at the file's close, at a check of its length, or
  // when more would not fit. Dropping the cache drops the ones held since
  // the last flush; a discarded temporary table drops them all (DropHeld).
  uint32_t AppendChain(uint32_t sequence, const uint8_t* value, int32_t size);
  static constexpr int64_t DefaultHeldBytes = int64_t(64) << 20;
  int64_t HeldBytes = DefaultHeldBytes;
  // The held chains of a temporary table discarded at its close: never
  // written.
  void DropHeld() {
    held = THeldChains(blockSize);
    heldInParts = false;
  }
  // Puts the block at the head of the free list.
  void FreeBlock(TBlock* block);

  // Walks the chain of a record's BLOB from its first block and frees it
  // (verifyOnly: only checks it). Damage raises 8963, or in repair mode is
  // reported and, unless verifyOnly, cut off; with force, blocks of another
  // sequence number are taken over. Unless verifyOnly, firstOffset ends 0.
  void FreeChain(TReadContext* reader, bool verifyOnly, bool force, uint32_t recordNumber, uint32_t sequence,
                 uint32_t& firstOffset);
  // The same from a pinned block, which it releases; blockCount is the
  // number of blocks the chain holds from it by its length. held lists
  // blocks of the caller's own walk, which the chain must not run into.
  void FreeChainFrom(TReadContext* reader, bool verifyOnly, bool force, uint32_t recordNumber, uint32_t sequence,
                     int32_t blockCount, TBlock* block, const TBlockTrail* held = nullptr);

  // The first half of writing a change back, before its records: the
  // changed blocks no record on disk can name (new chains' blocks taken from
  // the end of the file or from the free list on disk), then, when the change
  // took any, the header as the records may rely on it (its free list head
  // the one on disk, its end offset past every block). Every other changed
  // block (freed, rewritten in place) waits for FlushBlocks after the
  // records, so a writer killed between leaves the old values readable and
  // at worst blocks no record names. True when any block was written.
  bool FlushNewBlocks();
  // Writes every changed block back. True when any block was written.
  bool FlushBlocks();
  void DropCache();
  // Back to the normal capacity, giving up idle blocks of the highest offsets.
  void TrimCache();
  int32_t CachedBlockCount() const { return cache.Count(); }
  // Reads of blocks from the file, counted from the file's making.
  uint32_t PhysicalReads() const { return physicalReads; }
  // Whether a cached block may differ from the window's image of it: a
  // block is lent out (its holder may be changing it), or one was lent
  // since the cache last held no change (after a write-back of every
  // change with none lent, or a drop). Unchanged blocks (a look-up's kept)
  // are the bytes the window holds: every write goes through to the
  // window, and other users' changes drop both.
  bool CacheHoldsChanges() const { return lentBlocks > 0 || changesUnwritten; }
  int32_t CacheCapacity() const { return cache.Capacity; }

  // Byte-range locks of the multi-user protocol, each tried 8193 times.
  bool LockExclusive();
  bool UnlockExclusive();
  // The byte number drawn is kept in byteNumber for the unlock.
  bool LockShared(uint16_t& byteNumber);
  bool UnlockShared(uint16_t byteNumber);

  // For the blocks.
  bool IsEncrypted() const { return table->IsEncrypted(); }
  void Encipher(uint8_t* buffer, uint32_t length) { table->Encipher(buffer, length); }
  void Decipher(uint8_t* buffer, uint32_t length) { table->Decipher(buffer, length); }
  [[noreturn]] void RaiseBlobError(uint16_t code) const;

private:
  TBlobFileTable* table;
  TEngineBuffer readBuffer;  // grown in steps, never shrunk
  TEngineBuffer writeBuffer;
  // A temporary table's appended chains not written yet.
  THeldChains held;
  // Whether some went out for want of HeldBytes: then HeldPartBytes are
  // held at most.
  bool heldInParts = false;
  // The images of count held blocks from offset, as the file stores them.
  void HeldImages(uint32_t offset, int32_t count, uint8_t* images);
  // A write that fails keeps them for the next attempt.
  void WriteHeld();
  // Writes the held chains; they stay held until dropped.
  void WriteHeldImages();
  uint32_t readWindowStart = 0;  // the blocks a read is placing
  int32_t readWindowLength = 0;
  uint8_t header[BlobHeaderSize] = {};
  uint16_t blockSize = DefaultBlobBlock;
  int blockShift = -1;  // log2 of the block size when it is a power of two
  TEntryCache<TBlock> cache;
  int32_t lentBlocks = 0;  // handed out pinned and not given back
  bool changesUnwritten = false;
  std::vector<TBlock*> flushList;
  TOwnedList<TBlock> orphans;  // dropped from the cache while pinned
  TBlockStack blockStack;
  int32_t readAheadCount = 1;      // blocks a read takes at least
  int32_t scanReadAheadCount = 1;  // the most a chain window's read-ahead grows to
  // The window a chain read walks along: deciphered images of consecutive
  // blocks, a fill's or a kept one's.
  const uint8_t* chainWindowImages = nullptr;
  uint32_t chainWindowStart = 0;
  int32_t chainWindowBlocks = 0;
  // The room of a fill that is not kept, in bytes that are never cleared: a
  // fill reads every byte it shows.
  std::unique_ptr<uint8_t[]> chainWindow;
  size_t chainWindowRoom = 0;
  // The windows a walk along chains filled, kept by their first block's
  // offset (none overlaps another) while the cache's bytes allow: a report
  // run again walks the same chains, and read them from the file every
  // time. Walk is the walk that last used the window, Use its place in
  // keptByUse; a fill makes room by dropping the least recently used
  // windows of other walks (a walk longer than the room would otherwise
  // drop, window by window, the ones its next run needs first), or is not
  // kept. A reader of each value just appended follows on from the last
  // one, so a program recording jobs keeps a one-block window a job, as
  // many as the room holds: no write or fill visits them all.
  struct TKeptWindow {
    std::unique_ptr<uint8_t[]> Images;
    int32_t Blocks = 0;
    uint32_t Walk = 0;
    std::list<uint32_t>::iterator Use;
  };
  std::map<uint32_t, TKeptWindow> keptWindows;
  // The kept windows' offsets, least recently used first. A window used
  // goes to the back with the walk's number, so the windows of the walk
  // going on are the list's tail.
  std::list<uint32_t> keptByUse;
  // The memory the kept windows take, their entries' with their images':
  // a one-block window of small blocks takes more for its entries (two
  // nodes and three allocations, about this much) than for its bytes.
  static constexpr int64_t KeptWindowEntryBytes = 128;
  int64_t KeptWindowCost(int32_t blocks) const { return int64_t(blocks) * blockSize + KeptWindowEntryBytes; }
  int64_t keptWindowBytes = 0;
  uint32_t chainWalk = 0;
  // Where the last window walked ends, and the read-ahead of the next fill:
  // it doubles while fills follow on from each other (a scan), from at
  // least LookupReadAheadBytes up to scanReadAheadCount, and starts again
  // from a look-up's anywhere else.
  uint32_t chainFillEnd = 0;
  int32_t chainReadAhead = 1;
  uint32_t physicalReads = 0;
  // The blocks of the chains read from the window (NoteChainRead), and
  // whether a look-up filled it. A fill weighs them against the blocks
  // from the last window's start to its own offset: the share of what it
  // passes that the walk wants, in 256ths and averaged over fills (-1
  // before the first), whose reads grow only while it wants at least a
  // sixteenth (WalkDensityToGrow).
  int32_t chainWindowWanted = 0;
  bool chainWindowLookUp = false;
  int32_t walkDensity = -1;
  static constexpr int32_t FullWalkDensity = 256;
  static constexpr int32_t WalkDensityToGrow = FullWalkDensity / 16;
  // The free list on disk from its head runs through blocks that are free
  // there, up to the first block a new chain took from it: from here on it
  // still does, so a header written before the records names this head.
  uint32_t diskFreeHead = 0;
  // New chains took blocks from the free list on disk or the end of the file
  // since the header was written: the header on disk no longer says where
  // the free list starts or the file ends.
  bool headerBehindNewBlocks = false;
  // The header as WriteHeaderAhead wrote it, change count moved on, while
  // those are still the bytes on disk: the change's own header write finds
  // them there and leaves them.
  uint8_t aheadImage[BlobHeaderSize] = {};
  bool headerAhead = false;

  void SetHeaderModified() { header[BlbHdrModified] = 1; }
  // After the header on disk was read or written whole.
  void HeaderOnDisk();
  // The header as records written next may rely on it: WriteHeaderAhead
  // when the free list head in memory is the one on disk, else
  // WriteHeaderFields.
  void WriteHeaderBeforeRecords();
  // Writes the whole header as the change's write-back will, its change
  // count moved on, while memory keeps the count for that write-back.
  void WriteHeaderAhead();
  // Writes the free list head and the end offset alone to the header on
  // disk: the head as the free list on disk stands (diskFreeHead), the end
  // offset as in memory.
  void WriteHeaderFields();
  // Writes count bytes from `from` of a header whose plain bytes are
  // `plain`, enciphered as the whole header would be.
  void WriteHeaderBytes(const uint8_t* plain, uint32_t from, uint32_t count);
  // Whole blocks in a distance of bytes, and whether it is whole blocks: a
  // shift and a mask for the usual power-of-two block sizes, as chain
  // walks ask it of every block.
  uint32_t BlocksIn(uint32_t distance) const {
    return blockShift >= 0 ? distance >> blockShift : distance / blockSize;
  }
  bool OnBlockStep(uint32_t distance) const {
    return blockShift >= 0 ? (distance & (blockSize - 1u)) == 0 : distance % blockSize == 0;
  }
  // The buffer, holding at least length bytes.
  static uint8_t* Room(TEngineBuffer& buffer, int32_t length);
  void SetCacheLimits();
  int32_t NormalCacheCapacity() const;
  void ReadHeaderImage(uint8_t* image);
  bool ShortReadAllowed() const;

  // The cache.
  TBlock* AppendBlock();
  // Reads count block images at offset; the number read, at least 1.
  int32_t ReadImages(uint32_t offset, int32_t count, uint8_t* images);
  void ReadBlocks(uint32_t offset, int32_t count);
  TBlock* TakeCacheEntry(uint32_t offset);
  bool InReadWindow(uint32_t offset) const;
  // Writes back, in runs of consecutive offsets, the noted blocks that
  // pass; whether any was written.
  template <typename TPass>
  bool WriteNoted(TPass pass);
  void WriteRun(int32_t first, int32_t last);

  // The chain window.
  bool ViewBlockFromFile(TReadContext* reader, uint32_t offset, int32_t blocksAhead, TBlockView& view);
  const uint8_t* ChainWindowImage(uint32_t offset) const {
    if (chainWindowBlocks == 0 || offset < chainWindowStart) return nullptr;
    const uint32_t index = BlocksIn(offset - chainWindowStart);
    return index < uint32_t(chainWindowBlocks) ? chainWindowImages + size_t(index) * blockSize : nullptr;
  }
  // Whether a fill at offset goes on where the last window walked ended, or
  // a little past it (the records between were skipped, not their chains'
  // blocks read).
  bool FollowsWalk(uint32_t offset) const {
    return chainFillEnd != 0 && offset >= chainFillEnd && offset - chainFillEnd < LookupReadAheadBytes;
  }
  void FillChainWindow(uint32_t offset, int32_t blocksAhead);
  // The kept window holding offset made the one walked; false when none
  // holds it.
  bool WalkKeptWindow(uint32_t offset);
  // Room for a kept window of count blocks, made by dropping windows of
  // other walks; empty when there is none.
  std::unique_ptr<uint8_t[]> KeptWindowRoom(int32_t count);
  void DropKeptWindow(std::map<uint32_t, TKeptWindow>::iterator window);
  // The first kept window that may share bytes with a span from offset:
  // the last one starting at or before it, else the first after it.
  std::map<uint32_t, TKeptWindow>::iterator FirstKeptWindowNear(uint32_t offset);
  // The window's blocks from `from` (count of them, as far as the window
  // goes) into the cache as unchanged blocks.
  void KeepLookUpBlocks(uint32_t from, int32_t count);
  static constexpr int32_t IdleSearchLimit = 64;
  // The block at offset taken into the cache from the window, pinned by
  // none; nullptr when the window does not hold it.
  TBlock* BlockFromWindow(uint32_t offset);
  // Forgets the window, or only when it overlaps count blocks at offset.
  void ForgetChainWindow();
  void ForgetChainWindow(uint32_t offset, int32_t count);
  // Count block images just written at offset: the window's copies of them
  // take the new bytes, so that freeing or rewriting a value just read
  // does not cost the next value's read; a window of an enciphered file
  // holds deciphered images and is forgotten instead.
  void WriteThroughChainWindow(uint32_t offset, int32_t count, const uint8_t* images);

  // Chain walks.
  void ReportDamage(TReadContext* reader, const char* finding, uint32_t recordNumber, bool fixed);
  void FreeTrail(const TBlockTrail& trail);
};
