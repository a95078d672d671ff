#pragma once
// Byte layout of the data file (".DAT"): a 127-byte header, one 768-byte
// descriptor per field, then the fixed-size records. Integers are
// little-endian; names and texts are short strings (a length byte and up
// to a fixed number of characters).

#include <cstdint>

#include "engTableLimits.h"
#include "engFieldTypes.h"
#include "engKeyEncoding.h"

inline constexpr int32_t DataHeaderSize = 127;
inline constexpr int32_t FieldDescSize = 768;
inline constexpr int MaxDataFields = 1024;
inline constexpr int MaxBlobFields = 64;
inline constexpr int32_t MaxRecordSize = 65535;
inline constexpr uint8_t DataFileFormat = 4;
inline constexpr int64_t DataEngineVersion = 20800;  // 2.08 with four decimals
// Appending record number MaxRecordNumber or above, or letting the record
// area pass MaxRecordAreaBytes, finds the table full.
inline constexpr uint32_t MaxRecordNumber = 100000000;
inline constexpr int64_t MaxRecordAreaBytes = 2000000000;
inline constexpr int32_t MaxAutoIncValue = 2147483647;

// Header.
inline constexpr int DatHdrChangeCount = 0;        // u32
inline constexpr int DatHdrBlobBlockSize = 4;      // u32, read as u16
inline constexpr int DatHdrFormat = 8;             // u8
inline constexpr int DatHdrFirstFree = 9;          // u32
inline constexpr int DatHdrNextRecord = 13;        // u32
inline constexpr int DatHdrLastAutoInc = 17;       // u32
inline constexpr int DatHdrRecordSize = 21;        // u16
inline constexpr int DatHdrFieldCount = 23;        // u16
inline constexpr int DatHdrBlobFieldCount = 25;    // u16
inline constexpr int DatHdrWriteTime = 27;         // double
inline constexpr int DatHdrDescription = 35;       // short string
inline constexpr int DatHdrEncrypted = 86;         // u8
inline constexpr int DatHdrPassword = 87;          // short string
inline constexpr int DatHdrLanguageId = 103;       // u16
inline constexpr int DatHdrSortId = 105;           // u16
inline constexpr int DatHdrUserMajor = 107;        // u16
inline constexpr int DatHdrUserMinor = 109;        // u16
inline constexpr int DatHdrModified = 111;         // u8, meaningful in memory only
inline constexpr int DatHdrBlobSequence = 112;     // u32
inline constexpr int DatHdrEngineVersion = 116;    // i64
inline constexpr int DescriptionLimit = 50;
inline constexpr int PasswordLimit = 15;
// The stored write time is the local date-time less this many days.
inline constexpr double WriteTimeBias = 693594.0;

// Field descriptor (the type, declared size, scale, stored size and scale
// copy offsets come with the key encoding).
inline constexpr int FieldDescNumberOffset = 0;       // u16
inline constexpr int FieldDescNameOffset = 2;         // short string
inline constexpr int FieldDescDescriptionOffset = 33; // short string
inline constexpr int FieldDescSubtypeOffset = 85;
inline constexpr int FieldDescRecordOffset = 90;      // u16
inline constexpr int FieldDescRequiredOffset = 92;
inline constexpr int FieldDescCaseOffset = 93;
inline constexpr int FieldDescMinOffset = 94;         // short string
inline constexpr int FieldDescMaxOffset = 145;        // short string
inline constexpr int FieldDescDefaultOffset = 196;    // short string
inline constexpr int FieldDescNotStoredOffset = 247;

inline constexpr uint8_t BlobFieldType = 3;
inline constexpr uint8_t AutoIncFieldType = 6;
inline constexpr uint8_t DecimalFieldType = 8;

// Record.
inline constexpr int RecordDeletedOffset = 0;   // u8
inline constexpr int RecordLinkOffset = 1;      // u32: own number, or next free
inline constexpr int RecordAutoIncOffset = 5;   // u32: the row number
inline constexpr int RecordFirstFieldOffset = 9;

// Byte-range lock offsets of the data file.
inline constexpr int32_t HeaderLockOffset = 2147483647;
inline constexpr int32_t RecordLockTop = 2147483646;  // record n locks RecordLockTop - n

// Engine errors raised by the data file.
