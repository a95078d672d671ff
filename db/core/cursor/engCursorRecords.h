#pragma once
// Result codes of the cursor's record reads (returned, not raised) and
// the error of a record read for editing that has changed since.

#include <cstdint>

inline constexpr int32_t CurResultBeginOfFile = 8705;
inline constexpr int32_t CurResultEndOfFile = 8706;
inline constexpr int32_t CurResultNoRecord = 8709;
inline constexpr int32_t CurResultNotFound = 8710;
inline constexpr uint16_t CurErrRecordChanged = 8708;
