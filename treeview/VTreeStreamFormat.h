#pragma once
// The tree stream: a 12-byte header, then one node record per top-level
// node, every piece a chunk (32-bit type, 32-bit size, data), little-endian.

#include <cstdint>

constexpr uint16_t StreamSignatureFirst = 0x2045;  // then "V", "T"
constexpr uint16_t StreamSignatureLast = 0x2046;
constexpr uint16_t StreamVersion = 1;
constexpr uint16_t StreamVersionValue = 16;  // the second value of version 1
constexpr int StreamHeaderSize = 12;

enum : uint32_t { NodeChunk = 1, BaseChunk = 2, CaptionChunk = 3, UserChunk = 4 };
constexpr int ChunkHeaderSize = 8;
constexpr int BaseChunkDataSize = 12;
// The smallest node record: an anchor with a base chunk inside.
constexpr int MinimalNodeRecordSize = 2 * ChunkHeaderSize + BaseChunkDataSize;

class TStream;
// Writes the 12-byte header.
void WriteTreeStreamHeader(TStream& Stream);

// The messages of the stream and clipboard errors.
inline constexpr const char* SWrongStreamFormat = "Unable to load tree structure, the format is wrong.";
inline constexpr const char* SWrongStreamVersion = "Unable to load tree structure, the version is unknown.";
inline constexpr const char* SStreamTooSmall = "Stream data corrupt. A node's anchor chunk is missing.";
inline constexpr const char* SCorruptStream = "Stream data corrupt. Unexpected data after node's end position.";
inline constexpr const char* SClipboardFailed = "Clipboard operation failed.";
inline constexpr const char* SInvalidFormatIndex = "FormatEtcList: Invalid item index.";
inline constexpr const char* STargetInsideSource = "Target node cannot be a child node of the node to be moved.";
