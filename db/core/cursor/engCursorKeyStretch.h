#pragma once
// A stretch of one index's keys in index order, between two bounds
// compared over their first Length bytes: what an index-served condition
// or a range selects.

#include <cstdint>

#include "engIndexPage.h"

class TDataCursor;
class TExpToken;

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

// A condition leaf an index may serve: a null test, a comparison, an IN
// list or a BETWEEN.
bool IsIndexLeaf(const TExpToken& node);

// Two value stretches of one index, compared over the same length and
// ANDed: the keys from the later start to the earlier end. False when a
// or b is no such stretch (nulls among its keys, another length).
bool IntersectValueStretches(const TDataCursor& cursor, const TKeyStretch& a, const TKeyStretch& b,
                             TKeyStretch& both);

// Makes an index current for keys and comparisons, and the old one again
// on the way out.
class TIndexSwitch {
public:
  TIndexSwitch(TDataCursor& cursor, uint8_t n);
  ~TIndexSwitch();
  TIndexSwitch(const TIndexSwitch&) = delete;
  TIndexSwitch& operator=(const TIndexSwitch&) = delete;

private:
  TDataCursor& cursor;
  uint8_t saved;
};
