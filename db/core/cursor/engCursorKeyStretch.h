#pragma once
// A stretch of one index's keys in index order, between two bounds
// compared over their first Length bytes: what an index-served condition
// or a range selects.

#include <cstdint>

#include "engIndexPage.h"

struct TKeyStretch {
  bool HasFrom = false;  // without: from the first key
  bool FromInclusive = true;
  uint8_t From[MaxIndexKeyLength] = {};
  bool HasTo = false;  // without: to the last key
  bool ToInclusive = true;
  uint8_t To[MaxIndexKeyLength] = {};
  int Length = 0;
  // Keys whose first byte is NullByte (the first field is null) are
  // passed over.
  bool SkipNulls = false;
  uint8_t NullByte = 0;
};

// A read met another user's change while a bitmap was built: the build
// starts over.
struct TBitmapRestart {};

inline void RequireUnchanged(bool unchanged) {
  if (!unchanged) throw TBitmapRestart{};
}
