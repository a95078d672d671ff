#pragma once
// Engine errors of the field constraints a stored record must meet.

#include <cstdint>

inline constexpr uint16_t CurErrBelowMinimum = 9730;
inline constexpr uint16_t CurErrAboveMaximum = 9731;
inline constexpr uint16_t CurErrValueRequired = 9732;
