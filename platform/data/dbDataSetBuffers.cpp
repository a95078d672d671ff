// The buffer ring and navigation of TDataSet.

#include <algorithm>
#include <cstring>

#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbDataSource.h"
#include "rtlAssert.h"

namespace {

// A ring of this many records is more than any control shows; a link
// asking for more gets this many.
constexpr int MaxBufferCount = 1024;

}  // namespace

void TDataSet::CheckInvariants() const {
  ORV_ASSERT(recordCount >= 0 && recordCount <= bufferCount);
  ORV_ASSERT(recordCount == 0 ? activeRecord == 0 : (activeRecord >= 0 && activeRecord < recordCount));
  ORV_ASSERT(currentRecord >= -1 && currentRecord <= bufferCount);
  ORV_ASSERT(buffers.empty() || static_cast<int>(buffers.size()) == bufferCount + 1);
}

TRecordBuffer TDataSet::ActiveBuffer() const {
  return buffers.empty() ? nullptr : buffers[static_cast<size_t>(activeRecord)].get();
}

void TDataSet::AllocateBuffers(int count) {
  // Grows or shrinks the list; surviving buffers keep their records.
  while (static_cast<int>(buffers.size()) > count) buffers.pop_back();
  while (static_cast<int>(buffers.size()) < count) {
    buffers.push_back(std::make_unique<uint8_t[]>(recordBufferSize));  // zero-filled
  }
}

void TDataSet::FreeBuffers() {
  buffers.clear();
  tempBuffer.reset();
  oldValueBuffer.reset();
  calcBuffer = nullptr;
  filterBuffer = nullptr;
}

void TDataSet::RebuildRecordBuffers() {
  const int count = bufferCount;
  FreeBuffers();
  ClearBuffers();
  recordBufferSize = RecordBufferSize();
  AllocateBuffers(count + 1);
  tempBuffer = std::make_unique<uint8_t[]>(recordBufferSize);
  oldValueBuffer = std::make_unique<uint8_t[]>(recordBufferSize);
}

void TDataSet::ClearBuffers() {
  recordCount = 0;
  activeRecord = 0;
  currentRecord = -1;
  bof = true;
  eof = true;
}

void TDataSet::ActivateBuffers() {
  recordCount = 1;
  activeRecord = 0;
  currentRecord = 0;
  bof = false;
  eof = false;
}

void TDataSet::MoveBuffer(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  auto source = std::move(buffers[static_cast<size_t>(curIndex)]);
  if (curIndex < newIndex) {
    std::move(buffers.begin() + curIndex + 1, buffers.begin() + newIndex + 1, buffers.begin() + curIndex);
  } else {
    std::move_backward(buffers.begin() + newIndex, buffers.begin() + curIndex, buffers.begin() + curIndex + 1);
  }
  buffers[static_cast<size_t>(newIndex)] = std::move(source);
}

void TDataSet::SetCurrentRecord(int index) {
  if (currentRecord == index) return;
  TRecordBuffer buffer = buffers[static_cast<size_t>(index)].get();
  switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted: InternalSetToRecord(buffer); break;
    case bfBOF: InternalFirst(); break;
    case bfEOF: InternalLast(); break;
  }
  currentRecord = index;
}

void TDataSet::UpdateCursorPos() {
  if (recordCount > 0) SetCurrentRecord(activeRecord);
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = gmNext;
  if (recordCount > 0) {
    SetCurrentRecord(recordCount - 1);
    // A record being inserted at the end is not in the data yet: the
    // cursor already stands on the record that follows it.
    if (state == dsInsert && currentRecord == activeRecord && GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
      mode = gmCurrent;
  }
  TRecordBuffer slot = buffers[static_cast<size_t>(recordCount)].get();
  if (GetRecord(slot, mode, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (recordCount == 0) {
    ActivateBuffers();
  } else if (recordCount < bufferCount) {
    ++recordCount;
  } else {
    MoveBuffer(0, recordCount);
    // The slot that came free from the front is the new spare.
  }
  currentRecord = recordCount - 1;
  CheckInvariants();
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (recordCount > 0) SetCurrentRecord(0);
  TRecordBuffer slot = buffers[static_cast<size_t>(recordCount)].get();
  if (GetRecord(slot, gmPrior, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (recordCount == 0) {
    ActivateBuffers();
  } else {
    MoveBuffer(recordCount, 0);
    if (recordCount < bufferCount) {
      ++recordCount;
      ++activeRecord;
    }
  }
  currentRecord = 0;
  CheckInvariants();
  return true;
}

int TDataSet::GetNextRecords() {
  int count = 0;
  while (recordCount < bufferCount && GetNextRecord()) ++count;
  return count;
}

int TDataSet::GetPriorRecords() {
  int count = 0;
  while (recordCount < bufferCount && GetPriorRecord()) ++count;
  return count;
}

void TDataSet::AdjustFirstRecords(int delta) {
  if (delta == 0) return;
  for (TDataLink* link : DataLinks())
    if (link->Active()) link->firstRecord = std::max(0, link->firstRecord + delta);
}

void TDataSet::SetBufferCount(int value) {
  value = std::clamp(value, 1, MaxBufferCount);
  if (value == bufferCount) return;
  if (value < bufferCount && recordCount > 0) {
    // Keep the records the links show: drop from the front as little as
    // keeps the active record and every link's first record.
    int delta = activeRecord;
    for (TDataLink* link : DataLinks())
      if (link->Active()) delta = std::min(delta, link->firstRecord);
    delta = std::max(delta, activeRecord - value + 1);
    for (int i = 0; i < value; ++i) {
      if (i + delta < static_cast<int>(buffers.size())) MoveBuffer(i + delta, i);
    }
    activeRecord -= delta;
    // A cursor on a record that dropped out of the ring is lost track of.
    if (currentRecord != -1) currentRecord -= delta;
    if (currentRecord < 0 || currentRecord >= value) currentRecord = -1;
    recordCount = std::min(recordCount - delta, value);
    AdjustFirstRecords(-delta);
  }
  AllocateBuffers(value + 1);
  bufferCount = value;
  CheckInvariants();
  if (!ComponentState().Contains(csDestroying)) {
    GetNextRecords();
    AdjustFirstRecords(GetPriorRecords());
  }
  // Every window stays inside the ring, so a grid shows all the rows the
  // ring holds for it.
  for (TDataLink* link : DataLinks())
    if (link->Active()) link->UpdateRange();
}

void TDataSet::UpdateBufferCount() {
  if (!IsCursorOpen()) return;
  int count = 1;
  for (TDataLink* link : DataLinks()) count = std::max(count, link->BufferCount());
  SetBufferCount(count);
}

void TDataSet::DoBeforeScroll() {
  if (BeforeScroll) BeforeScroll(this);
}

void TDataSet::DoAfterScroll() {
  if (AfterScroll) AfterScroll(this);
}

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    bof = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  bof = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    eof = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  eof = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  int moved = 0;
  DoBeforeScroll();
  if ((distance > 0 && !eof) || (distance < 0 && !bof)) {
    bof = false;
    eof = false;
    const int oldRecordCount = recordCount;
    int scrollCount = 0;
    // The links learn of the move even when reading a record fails.
    auto notify = [&] {
      if (recordCount != oldRecordCount)
        DataEvent(deDataSetChange, 0);
      else
        DataEvent(deDataSetScroll, scrollCount);
    };
    try {
      while (distance > 0) {
        if (activeRecord < recordCount - 1) {
          ++activeRecord;
        } else {
          const int shift = recordCount < bufferCount ? 0 : 1;
          if (!GetNextRecord()) {
            eof = true;
            break;
          }
          scrollCount -= shift;
        }
        --distance;
        ++moved;
      }
      while (distance < 0) {
        if (activeRecord > 0) {
          --activeRecord;
        } else {
          const int shift = recordCount < bufferCount ? 0 : 1;
          if (!GetPriorRecord()) {
            bof = true;
            break;
          }
          scrollCount += shift;
        }
        ++distance;
        --moved;
      }
    } catch (...) {
      notify();
      throw;
    }
    notify();
    DoAfterScroll();
  }
  return moved;
}

bool TDataSet::IsEmpty() const { return Active() && recordCount == 0 && bof && eof; }

void TDataSet::Resync(TResyncMode mode) {
  if (buffers.empty()) throw EDatabaseError(SDataSetClosed);
  TRecordBuffer slot = buffers[static_cast<size_t>(recordCount)].get();
  if (mode.Contains(rmExact)) {
    CursorPosChanged();
    if (GetRecord(slot, gmCurrent, true) != grOK) throw EDatabaseError(SRecordNotFound);
  } else if (GetRecord(slot, gmCurrent, false) != grOK && GetRecord(slot, gmNext, false) != grOK &&
             GetRecord(slot, gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  int count = mode.Contains(rmCenter) ? (bufferCount - 1) / 2 : activeRecord;
  MoveBuffer(recordCount, 0);
  ActivateBuffers();
  try {
    while (count > 0 && GetPriorRecord()) --count;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(deDataSetChange, 0);
    throw;
  }
  DataEvent(deDataSetChange, 0);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  UpdateCursorPos();
  InternalRefresh();
  Resync({});
}

bool TDataSet::GetCurrentRecord(TRecordBuffer /*buffer*/) { return false; }

int TDataSet::RecordCount() { return -1; }

int TDataSet::RecNo() { return -1; }

void TDataSet::SetRecNo(int /*value*/) {}

bool TDataSet::IsSequenced() { return true; }

bool TDataSet::BookmarkAvailable() {
  return (state == dsBrowse || state == dsEdit || state == dsInsert) && recordCount > 0 &&
         GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() {
  TBookmark bookmark;
  if (BookmarkAvailable()) {
    bookmark.resize(static_cast<size_t>(BookmarkSize()));
    GetBookmarkData(ActiveBuffer(), bookmark.data());
  }
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  if (static_cast<int>(bookmark.size()) != BookmarkSize()) throw EDatabaseError(SBookmarkNotFound);
  DoBeforeScroll();
  try {
    InternalGotoBookmark(bookmark.data());
  } catch (...) {
    CursorPosChanged();
    throw;
  }
  Resync({rmExact, rmCenter});
  DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark& /*bookmark*/) { return false; }

int TDataSet::CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2) {
  if (bookmark1.empty() && bookmark2.empty()) return 0;
  if (bookmark2.empty()) return -1;
  if (bookmark1.empty()) return 1;
  return CompareBookmarkData(bookmark1, bookmark2);
}

int TDataSet::CompareBookmarkData(const TBookmark& /*bookmark1*/, const TBookmark& /*bookmark2*/) { return 0; }
