#pragma once
// Milliseconds since an arbitrary start, from the monotonic clock; wraps
// after 49.7 days like the Windows tick count.

#include <cstdint>

uint32_t GetTickCount();
