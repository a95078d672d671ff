#pragma once
// One BLOB value open through a cursor: the whole value in memory, read
// from its chain in the BLOB file when opened and written back as a chain
// when the record it belongs to is posted. A record's BLOB field holds the
// negated handle of the buffer while it is open.

#include <cstdint>
#include <memory>

#include "engHeap.h"
#include "engReadContext.h"
#include "engTableCursor.h"

class TBlobFile;

// Reads the value of the chain at first, owned by sequence, for reader
// into room, starting over whenever a block read meets another user's
// change; its length. The errors of TBlobBuffer::Load.
int32_t LoadChainValue(TReadContext* reader, TBlobFile& file, uint32_t first, uint32_t sequence,
                       TBlobValueRoom& room);

class TBlobBuffer : public TEngineObject {
public:
  // Blocks are read for reader (the cursor), which the table's change check knows.
  TBlobBuffer(TReadContext* reader, TBlobFile* blobFile);
  ~TBlobBuffer() override;
  TBlobBuffer(const TBlobBuffer&) = delete;
  TBlobBuffer& operator=(const TBlobBuffer&) = delete;

  // A new size marks the buffer modified; the common part stays and bytes
  // beyond it start zero. Below 1 the data is freed.
  void SetSize(int32_t newSize);
  int32_t Size() const { return size; }
  // Bytes the value may take without allocating.
  int32_t Room() const { return capacity; }
  // Empty and closed again, as a new buffer of the same file, keeping its
  // room for the next value.
  void Recycle();
  uint8_t* GetData() { return bytes.get(); }
  const uint8_t* GetData() const { return bytes.get(); }
  // The value becomes length bytes that the caller writes whole, without
  // being cleared first; marks the buffer modified.
  uint8_t* Overwrite(int32_t length);

  // Reads the value from the chain at FirstOffset, starting over whenever
  // a block read meets another user's change. 8708 for a block of another
  // BLOB, 8963 for a broken or circular chain, 8711 for a chain shorter
  // than the value's length or a length the file cannot hold.
  void Load();
  // Writes a modified value of 1 byte or more over the old chain, taking
  // new blocks where it is too short and freeing what is left of it. A
  // value without a chain goes straight to the end of the file when the
  // file appends chains there.
  void Save();
  // Frees the chain of a modified value emptied to 0 bytes.
  void FreeBlocks();

  int32_t Handle = 0;  // positive; the field holds its negation
  bool Modified = false;
  uint32_t Sequence = 0;
  uint32_t PhysicalRecordNo = 0;
  uint16_t FieldNo = 0;
  int32_t FirstOffset = 0;  // 0 while the value has no chain
  bool Release = false;  // freed by the cursor's next record change

private:
  TReadContext* reader;
  TBlobFile* blobFile;
  // The value in the first size bytes of capacity; grown by doubling, as
  // WriteBlob appends piece by piece, and filled by a load without being
  // zeroed first.
  std::unique_ptr<uint8_t[]> bytes;
  int32_t size = 0;
  int32_t capacity = 0;

  // Room for at least count bytes, keeping the first size.
  void Reserve(int32_t count);
};

// Room for a value in a buffer, which takes it whole as its new value.
class TBlobBufferRoom final : public TBlobValueRoom {
public:
  explicit TBlobBufferRoom(TBlobBuffer& buffer) : buffer(buffer) {}
  uint8_t* Room(int32_t length) override { return buffer.Overwrite(length); }

private:
  TBlobBuffer& buffer;
};
