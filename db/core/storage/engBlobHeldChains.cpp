#include "engBlobHeldChains.h"

#include <algorithm>
#include <cstring>

#include "rtlAssert.h"
#include "engBlobLayout.h"
#include "engLittleEndian.h"

namespace {

// Values go end to end into pieces of this size, the pool's, so that the
// next answer's values find them in memory; a value of more than a quarter
// of one takes a piece of its own, so no piece is mostly waste.
constexpr int64_t PieceBytes = int64_t(PooledBlockBytes);

}  // namespace

void PutChainBlock(uint8_t* image, uint16_t blockSize, uint32_t first, int64_t index, uint32_t sequence,
                   const uint8_t* value, int32_t size) {
  const int32_t dataSize = int32_t(blockSize) - BlockHeaderSize;
  const int64_t blocks = (int64_t(size) + dataSize - 1) / dataSize;
  ORV_ASSERT(index >= 0 && index < blocks);
  const uint32_t offset = first + uint32_t(index) * blockSize;
  const int64_t from = index * dataSize;
  const int32_t used = int32_t(std::min<int64_t>(dataSize, size - from));
  PutLE32(image + BlkPrevious, index == 0 ? 0 : offset - blockSize);
  PutLE32(image + BlkNext, index + 1 == blocks ? 0 : offset + blockSize);
  PutLE16(image + BlkBytesUsed, uint16_t(used));
  PutLE32(image + BlkSequence, sequence);
  PutLE32(image + BlkTotalSize, index == 0 ? uint32_t(size) : 0);
  std::memcpy(image + BlockHeaderSize, value + from, size_t(used));
  std::memset(image + BlockHeaderSize + used, 0, size_t(dataSize - used));
}

int64_t THeldChains::BlocksOf(int32_t size) const {
  const int32_t dataSize = int32_t(blockSize) - BlockHeaderSize;
  return (int64_t(size) + dataSize - 1) / dataSize;
}

uint32_t THeldChains::End() const {
  const TChain& last = chains.back();
  return last.Offset + uint32_t(BlocksOf(last.Size)) * blockSize;
}

bool THeldChains::Holds(uint32_t offset, int32_t count) const {
  return !Empty() && offset >= Start() && int64_t(offset) + int64_t(count) * blockSize <= int64_t(End());
}

bool THeldChains::Overlaps(uint32_t offset, int32_t count) const {
  return !Empty() && int64_t(offset) + int64_t(count) * blockSize > int64_t(Start()) && offset < End();
}

uint8_t* THeldChains::Room(int32_t size) {
  if (size > PieceBytes / 4) {
    return pieces.emplace_back(size_t(size)).Get();
  }
  if (pieceUsed + size > pieceRoom) {
    // The piece being filled stays last, behind any value's own piece.
    if (spare.empty()) {
      current = pieces.emplace_back(size_t(PieceBytes)).Get();
    } else {
      current = pieces.emplace_back(std::move(spare.back())).Get();
      spare.pop_back();
    }
    pieceRoom = PieceBytes;
    pieceUsed = 0;
  }
  uint8_t* room = current + pieceUsed;
  pieceUsed += size;
  return room;
}

void THeldChains::Add(uint32_t offset, uint32_t sequence, const uint8_t* value, int32_t size) {
  ORV_ASSERT(size > 0 && (Empty() || offset == End()));
  uint8_t* room = Room(size);
  std::memcpy(room, value, size_t(size));
  chains.push_back({offset, sequence, size, room});
  bytes += size + int64_t(sizeof(TChain));
}

void THeldChains::Images(uint32_t offset, int32_t count, uint8_t* images) const {
  ORV_ASSERT(count >= 0 && (count == 0 || Holds(offset, count)));
  if (count == 0) return;
  // The last chain starting at or before the offset holds its block.
  auto chain = std::upper_bound(chains.begin(), chains.end(), offset,
                                [](uint32_t at, const TChain& c) { return at < c.Offset; }) - 1;
  int64_t index = (offset - chain->Offset) / blockSize;
  for (int32_t i = 0; i < count; ++i) {
    if (index == BlocksOf(chain->Size)) {
      ++chain;
      index = 0;
    }
    PutChainBlock(images + size_t(i) * blockSize, blockSize, chain->Offset, index, chain->Sequence, chain->Value,
                  chain->Size);
    ++index;
  }
}

void THeldChains::Restart(int64_t keptBytes) {
  for (TPooledBlock& piece : pieces)
    if (piece.Size() == size_t(PieceBytes) && int64_t(spare.size()) * PieceBytes < keptBytes)
      spare.push_back(std::move(piece));
  pieces.clear();
  chains.clear();
  kept = 0;
  current = nullptr;
  pieceRoom = 0;
  pieceUsed = 0;
  bytes = 0;
}

void THeldChains::DropUnkept() {
  for (size_t i = kept; i < chains.size(); ++i) bytes -= chains[i].Size + int64_t(sizeof(TChain));
  chains.resize(kept);
}
