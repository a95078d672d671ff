#pragma once
// Byte layout of the BLOB file (".BLB"): a 512-byte header, then blocks of
// the table's BLOB block size. Each block starts with an 18-byte header;
// the rest is data. Integers are little-endian.

#include <cstdint>

inline constexpr uint32_t BlobHeaderSize = 512;
inline constexpr uint8_t BlobFileFormat = 4;

// Header.
inline constexpr int BlbHdrChangeCount = 0;  // u32
inline constexpr int BlbHdrFormat = 8;       // u8
inline constexpr int BlbHdrFirstFree = 9;    // u32: the block freed last, 0 for none
inline constexpr int BlbHdrEndOffset = 13;   // u32: where the next new block goes
inline constexpr int BlbHdrModified = 17;    // u8, meaningful in memory only

// Block header.
inline constexpr int BlockHeaderSize = 18;
inline constexpr int BlkPrevious = 0;   // u32
inline constexpr int BlkNext = 4;       // u32: next of the chain, or of the free list
inline constexpr int BlkBytesUsed = 8;  // u16
inline constexpr int BlkSequence = 10;  // u32: the owning BLOB's sequence number
inline constexpr int BlkTotalSize = 14; // u32: the BLOB's length, first block only

// A BLOB field's value bytes in a record: u32 the offset of the value's
// first block (0 for none), then u32 the value's sequence number.
inline constexpr int BlobFieldSequenceOffset = 4;

inline constexpr uint16_t DefaultBlobBlock = 512;
inline constexpr uint16_t MinBlobBlockSize = 64;
// Appending at an end offset above this finds the file full.
inline constexpr uint32_t MaxBlobFileEnd = 2000000000;

// Byte-range locks of the multi-user protocol.
inline constexpr int32_t BlobExclusiveLockOffset = 2147418112;  // 0x7FFF0000
inline constexpr int32_t BlobExclusiveLockLength = 65535;
inline constexpr int32_t BlobSharedLockTop = 2147483647;  // shared lock r takes the byte top - r

// Engine errors raised by the BLOB file.
