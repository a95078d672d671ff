#include "engBlobBlock.h"

#include <cstring>

#include "engBlobFile.h"
#include "engBlobLayout.h"
#include "engErrorCodes.h"
#include "engLittleEndian.h"

namespace {

constexpr int32_t StackReserve = 4095;

}  // namespace

TBlock::TBlock(TBlobFile* blobFile)
    : blobFile(blobFile), dataSize(blobFile->BlockDataSize()), data(size_t(blobFile->BlockDataSize())) {}

TBlock::~TBlock() = default;

void TBlock::SetValue(uint32_t& field, uint32_t value) {
  if (field == value) return;
  field = value;
  modified = true;
}

void TBlock::SetSequence(uint32_t value) { SetValue(sequence, value); }
void TBlock::SetTotalSize(uint32_t value) { SetValue(totalSize, value); }
void TBlock::SetPrevious(uint32_t value) { SetValue(previous, value); }
void TBlock::SetNext(uint32_t value) { SetValue(next, value); }

void TBlock::Reset() {
  std::memset(data.Get(), 0, size_t(dataSize));
  bytesUsed = 0;
  sequence = 0;
  totalSize = 0;
  previous = 0;
  next = 0;
  modified = false;
  fresh = false;
}

void TBlock::Load(const uint8_t* image) {
  uint8_t header[BlockHeaderSize];
  std::memcpy(header, image, BlockHeaderSize);
  std::memcpy(data.Get(), image + BlockHeaderSize, size_t(dataSize));
  if (blobFile->IsEncrypted()) {
    blobFile->Decipher(header, BlockHeaderSize);
    blobFile->Decipher(data.Get(), uint32_t(dataSize));
  }
  TakeHeader(header);
}

void TBlock::LoadDeciphered(const uint8_t* image) {
  std::memcpy(data.Get(), image + BlockHeaderSize, size_t(dataSize));
  TakeHeader(image);
}

void TBlock::TakeHeader(const uint8_t* header) {
  previous = GetLE32(header + BlkPrevious);
  next = GetLE32(header + BlkNext);
  bytesUsed = GetLE16(header + BlkBytesUsed);
  sequence = GetLE32(header + BlkSequence);
  totalSize = GetLE32(header + BlkTotalSize);
  modified = false;
  fresh = false;
}

void TBlock::Save(uint8_t* image) {
  PutLE32(image + BlkPrevious, previous);
  PutLE32(image + BlkNext, next);
  PutLE16(image + BlkBytesUsed, bytesUsed);
  PutLE32(image + BlkSequence, sequence);
  PutLE32(image + BlkTotalSize, totalSize);
  std::memcpy(image + BlockHeaderSize, data.Get(), size_t(dataSize));
  if (blobFile->IsEncrypted()) {
    blobFile->Encipher(image, BlockHeaderSize);
    blobFile->Encipher(image + BlockHeaderSize, uint32_t(dataSize));
  }
  modified = false;
}

void TBlock::CheckDataSpan(int32_t dataOffset, int32_t count) const {
  if (dataOffset < 0 || count < 0 || int64_t(dataOffset) + count > dataSize)
    blobFile->RaiseBlobError(EngErrBlobLength);
}

int32_t TBlock::ReadData(int32_t dataOffset, int32_t count, void* destination) const {
  CheckDataSpan(dataOffset, count);
  // The stored count of used bytes comes from the file: never past the area.
  const int32_t used = bytesUsed < dataSize ? bytesUsed : dataSize;
  const int32_t available = used > dataOffset ? used - dataOffset : 0;
  const int32_t n = count < available ? count : available;
  std::memcpy(destination, data.Get() + dataOffset, size_t(n));
  return n;
}

int32_t TBlock::WriteData(int32_t dataOffset, int32_t count, const void* source) {
  CheckDataSpan(dataOffset, count);
  bytesUsed = uint16_t(dataOffset + count);
  std::memcpy(data.Get() + dataOffset, source, size_t(count));
  modified = true;
  return count;
}

TBlockStack::TBlockStack(TBlobFile* blobFile) : blobFile(blobFile) { blocks.Reserve(StackReserve); }

TBlockStack::~TBlockStack() = default;

TBlock* TBlockStack::Take() {
  while (!blocks.Empty()) {
    std::unique_ptr<TBlock> block = blocks.ExtractLast();
    if (block->DataSize() != blobFile->BlockDataSize()) continue;  // of a former block size: freed
    block->Reset();
    block->ClearUse();
    return block.release();
  }
  return new TBlock(blobFile);
}

void TBlockStack::Give(TBlock*& block) {
  block->Newer = block->Older = nullptr;
  block->Orphaned = false;
  block->ClearUse();
  blocks.Adopt(block);
  block = nullptr;
}
