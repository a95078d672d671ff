#pragma once
// What a field's name and its texts (description, limits, default) may
// hold, in bytes: the data file keeps no more.

inline constexpr int FieldNameLimit = 30;
inline constexpr int FieldTextLimit = 50;
