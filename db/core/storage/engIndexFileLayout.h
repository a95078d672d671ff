#pragma once
// Byte positions of the index file header that only the index file itself
// reads and writes.

#include <cstdint>

inline constexpr int HdrChangeCount = 0;
inline constexpr int HdrFormat = 8;
inline constexpr int HdrEndOffset = 9;
inline constexpr int HdrSecondaryCount = 13;
inline constexpr int HdrSlots = 14;
inline constexpr int HdrRecordCount = 3974;
inline constexpr int HdrNoPrimary = 3978;
inline constexpr int HdrModified = 3979;

inline constexpr int IdxDescZero = 94;  // a descriptor byte kept zero
inline constexpr uint16_t DeletedKeyLength = 5;  // status byte and row number
inline constexpr const char* DeletedIndexName = "Sys Deleted";
