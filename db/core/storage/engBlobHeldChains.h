#pragma once
// A temporary BLOB file's appended chains waiting in memory as their values
// rather than as block images: an answer's memo of a hundred bytes fills a
// block of 512, so its images were five times its bytes, all written to a
// file that is read little and deleted at the statement's end. A chain's
// images are made again, byte for byte what its write would have put on
// disk, when they are read or written.

#include <cstdint>
#include <vector>

#include "engBlockPool.h"

class THeldChains {
public:
  THeldChains() = default;
  explicit THeldChains(uint16_t blockSize) : blockSize(blockSize) {}

  bool Empty() const { return chains.empty(); }
  // The blocks held, [Start(), End()); meaningless when empty.
  uint32_t Start() const { return chains.front().Offset; }
  uint32_t End() const;
  // What the held chains take in memory.
  int64_t Bytes() const { return bytes; }
  // Whether count blocks from offset are all held.
  bool Holds(uint32_t offset, int32_t count) const;
  bool Overlaps(uint32_t offset, int32_t count) const;

  // The chain of a value at offset, which is End() unless nothing is held.
  void Add(uint32_t offset, uint32_t sequence, const uint8_t* value, int32_t size);
  // The plain images of count held blocks from offset.
  void Images(uint32_t offset, int32_t count, uint8_t* images) const;

  // The chains added so far stay when the later ones are dropped.
  void Keep() { kept = chains.size(); }
  // Drops the chains added since the last Keep.
  void DropUnkept();
  // Drops every chain (written by then); the memory of their values takes
  // the next ones, up to keptBytes of it.
  void Restart(int64_t keptBytes);

private:
  struct TChain {
    uint32_t Offset;
    uint32_t Sequence;
    int32_t Size;
    const uint8_t* Value;
  };
  uint16_t blockSize = 512;
  std::vector<TChain> chains;  // by offset, each starting where the last ends
  size_t kept = 0;
  // The values, end to end in pieces that never move.
  std::vector<TPooledBlock> pieces;
  // Pieces of dropped chains, for the next values.
  std::vector<TPooledBlock> spare;
  uint8_t* current = nullptr;  // the piece being filled
  int64_t pieceRoom = 0;
  int64_t pieceUsed = 0;
  int64_t bytes = 0;

  int64_t BlocksOf(int32_t size) const;
  uint8_t* Room(int32_t size);
};

// The image of block index of a chain holding value (size bytes) from
// first on, as the BLOB file stores it, before any cipher.
void PutChainBlock(uint8_t* image, uint16_t blockSize, uint32_t first, int64_t index, uint32_t sequence,
                   const uint8_t* value, int32_t size);
