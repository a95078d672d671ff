// Bookmarks: a record number in natural order, the key in index order.

#include <cstring>

#include "engCursor.h"
#include "engLittleEndian.h"
#include "engRecordsBitmap.h"

int TDataCursor::GetBookmarkSize() const { return IsNaturalOrder() ? 4 : indexState.KeyLength; }

void TDataCursor::GetBookmark(uint8_t* bookmark) const {
  filtering.SettleEdge();
  if (IsNaturalOrder()) PutLE32(bookmark, position.Record());
  else std::memcpy(bookmark, position.Key(), indexState.KeyLength);
}

int TDataCursor::CompareBookmarks(const uint8_t* a, const uint8_t* b) const {
  if (!IsNaturalOrder()) return CompareKeys(a, b, indexState.KeyLength);
  const int32_t first = int32_t(GetLE32(a));
  const int32_t second = int32_t(GetLE32(b));
  return first > second ? 1 : first < second ? -1 : 0;
}

// Stands on the record when it is visible, else on the next visible one,
// else on the one before.
void TDataCursor::GotoNaturalRecord(uint32_t wanted) {
  if (filtering.VisibleCount() == 0) {
    SetEmptyPosition();
    return;
  }
  const int32_t limit = filtering.Visible().RecordCount() + 1;
  int32_t record = wanted > uint32_t(limit) ? limit : int32_t(wanted);
  if (!RecordVisible(uint32_t(record))) {
    int32_t counter = 0;
    int32_t next = record;
    if (filtering.Visible().FindNext(next, 1, counter)) {
      record = next;
    } else {
      filtering.Visible().FindPrior(record, 1, counter);
    }
  }
  SetNaturalPosition(uint32_t(record), filtering.Visible().CountSetBefore(record) + 1);
}

// The record reached must carry the bookmark unless a near one will do.
bool TDataCursor::GotoBookmark(const uint8_t* bookmark, TKeyMatch match) {
  RequireOpen();
  {
    TOperationBracket bracket(*this);
    if (IsNaturalOrder()) {
      GotoNaturalRecord(GetLE32(bookmark));
      LoadCurrentRecord();
    } else {
      SearchKey(bookmark);
    }
  }
  if (!SeesRecords() || !OnRecord()) return false;
  if (match == TKeyMatch::Nearest) return true;
  uint8_t reached[MaxBookmarkSize];
  GetBookmark(reached);
  return CompareBookmarks(reached, bookmark) == 0;
}
