#pragma once
// What a table's definition may hold: a field's name and its texts
// (description, limits, default) in bytes, as the data file keeps them,
// and the BLOB block size a table takes unless told otherwise.

#include <cstdint>

inline constexpr int FieldNameLimit = 30;
inline constexpr int FieldTextLimit = 50;
inline constexpr uint32_t DefaultBlobBlockSize = 512;
