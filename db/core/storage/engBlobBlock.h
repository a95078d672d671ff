#pragma once
// One block of a BLOB file in memory: its header values and its data area.
// The BLOB file keeps blocks in its cache and lends them out pinned;
// TBlockStack recycles them.

#include <cstdint>

#include "engBuffer.h"
#include "engHeap.h"
#include "engOwnedList.h"

class TBlobFile;

class TBlock : public TEngineObject {
public:
  // The data area is sized and zeroed for the file's block size.
  explicit TBlock(TBlobFile* blobFile);
  ~TBlock() override;
  TBlock(const TBlock&) = delete;
  TBlock& operator=(const TBlock&) = delete;

  TBlobFile* BlobFile() const { return blobFile; }
  int32_t DataSize() const { return dataSize; }
  const uint8_t* Data() const { return data.Get(); }

  uint32_t Offset() const { return offset; }
  void SetOffset(uint32_t value) { offset = value; }
  bool Modified() const { return modified; }
  void SetModified(bool value) { modified = value; }
  // Changed, and its bytes on disk belong to no chain a record on disk can
  // name (they lie past the end offset there, or on the free list there):
  // its new bytes may reach the disk before the records. Cleared once they
  // are written, by a reset and by a load.
  bool Fresh() const { return fresh && modified; }
  void SetFresh(bool value) { fresh = value; }

  uint16_t UseCount() const { return useCount; }
  void Pin() { ++useCount; }
  // Never below 0.
  void Unpin() {
    if (useCount > 0) --useCount;
  }
  void ClearUse() { useCount = 0; }

  uint16_t BytesUsed() const { return bytesUsed; }
  uint32_t Sequence() const { return sequence; }
  uint32_t TotalSize() const { return totalSize; }
  uint32_t Next() const { return next; }
  // Each marks the block modified only when the value changes.
  void SetSequence(uint32_t value);
  void SetTotalSize(uint32_t value);
  void SetPrevious(uint32_t value);
  void SetNext(uint32_t value);

  // Header values and data all zero, not modified nor fresh; offset and use stay.
  void Reset();
  // From a file image of one block (deciphered for an encrypted table).
  void Load(const uint8_t* image);
  // From an image of one block already deciphered.
  void LoadDeciphered(const uint8_t* image);
  // Into a file image of one block (enciphered for an encrypted table).
  void Save(uint8_t* image);

  // Copies from the data area at offset the bytes the block uses there, at
  // most count; 10029 unless offset + count lies within the data area.
  int32_t ReadData(int32_t dataOffset, int32_t count, void* destination) const;
  // Copies count bytes to offset, which then ends the used bytes; the same
  // 10029 check.
  int32_t WriteData(int32_t dataOffset, int32_t count, const void* source);

  // The cache: the key, the most-recently-used chain, and whether the
  // cache let go of the block while a holder still had it pinned.
  uint32_t CacheKey() const { return offset; }
  bool Idle() const { return useCount == 0 && !modified; }
  TBlock* Newer = nullptr;
  TBlock* Older = nullptr;
  bool Orphaned = false;

private:
  TBlobFile* blobFile;
  int32_t dataSize = 0;
  TEngineBuffer data;  // dataSize bytes
  uint32_t offset = 0;
  bool modified = false;
  bool fresh = false;
  uint16_t useCount = 0;
  uint16_t bytesUsed = 0;
  uint32_t sequence = 0;
  uint32_t totalSize = 0;
  uint32_t previous = 0;
  uint32_t next = 0;

  // The header values from a deciphered block header; not modified.
  void TakeHeader(const uint8_t* header);
  void CheckDataSpan(int32_t dataOffset, int32_t count) const;
  void SetValue(uint32_t& field, uint32_t value);
};

// Free blocks of one BLOB file.
class TBlockStack : public TEngineObject {
public:
  explicit TBlockStack(TBlobFile* blobFile);
  ~TBlockStack() override;

  // The block pooled last, reset and unused, or a new one. Blocks of an
  // earlier block size are freed on the way.
  TBlock* Take();
  // Pools the block and empties the caller's variable.
  void Give(TBlock*& block);
  int32_t Count() const { return blocks.Count(); }

private:
  TBlobFile* blobFile;
  TOwnedList<TBlock> blocks;
};
