#pragma once
// The change counts at the heads of a table's data, index and BLOB files
// (0 without a BLOB file), as this process last read or wrote them: every
// header write moves its file's count by one. A table held exclusively
// writes no header before its commit or close, so its changes are counted
// apart as well, for the twins that share it in this process.

#include <cstdint>

struct TChangeCounts {
  uint32_t Data = 0;
  uint32_t Index = 0;
  uint32_t Blob = 0;
  uint32_t Held = 0;
  bool operator==(const TChangeCounts&) const = default;
};
