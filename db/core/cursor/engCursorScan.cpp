// A scan's step over several records: one read of the data file hands out
// the visible records it took, without placing each in the table's record
// cache, copying it to the current record and again to the caller. In
// index order the step takes the rest of the leaf it lands in, as far as
// the records of its entries lie close together (a table appended in key
// order has them side by side).

#include <algorithm>
#include <cstring>

#include "rtlAssert.h"
#include "engCursor.h"
#include "engCursorWalk.h"
#include "engDataFile.h"
#include "engErrorCodes.h"
#include "engTable.h"

int32_t TDataCursor::GetNextRecords(TRecordBatch& batch) {
  RequireOpen();
  TOperationBracket bracket(*this);
  // The last batch's records are no longer in use: a step that hands out
  // none (the end) leaves no window for the read lock's release to keep.
  // Those shown in place are checked for a cut by another program first.
  DataFile().HideRun(scanRun);
  const size_t size = CursorRecordSize();
  batch.size = size;
  batch.count = 0;
  batch.read = nullptr;
  batch.fromFile = false;
  auto single = [&]() -> int32_t {
    batch.images.resize(size);
    batch.numbers.resize(1);
    if (!StepInto(1, batch.images.data())) return AtEnd() ? EngErrEndOfFile : CrackResult();
    batch.numbers[0] = position.Record();
    batch.count = 1;
    return 0;
  };
  if (!IsNaturalOrder()) return NextIndexRecords(batch);
  movingForward = true;
  for (;;) {
    const TRecordsBitmap& visible = filtering.Visible();
    if (filtering.VisibleCount() == 0) {
      SetEmptyPosition();
      LoadCurrentRecord();
      return EngErrEndOfFile;
    }
    int32_t record = 0;
    int32_t counter = 0;
    if (AtEnd()) {
      record = visible.RecordCount() + 1;
      counter = filtering.VisibleCount() + 1;
    } else if (!AtBeginning()) {
      record = int32_t(position.Record());
      counter = position.Logical();
      if (!RecordVisible(position.Record())) counter = visible.CountSetBefore(record);
    }
    if (!visible.FindNext(record, 1, counter)) {
      SetNaturalEnd();
      LoadCurrentRecord();
      return EngErrEndOfFile;
    }
    TDataFile& data = DataFile();
    // A record past the file's end (one being appended) is the cache's:
    // the single step reads it.
    if (uint32_t(record) > data.PhysicalRecordCount()) return single();
    const int32_t limit = int32_t(std::min<int64_t>(data.ReadAheadRecords(),
                                                    int64_t(data.PhysicalRecordCount()) - record + 1));
    const int32_t length = visible.SetRunLength(record, limit, TDataFile::MaxReadGap);
    if (!data.ReadRecordRun(this, uint32_t(record), length, scanRun, {.Wanted = &visible, .InPlace = true})) {
      // Another user's change: the cursor finds its place again and the
      // step starts over from there.
      AfterChangeSeen();
      continue;
    }
    ORV_ASSERT(!scanRun.InPlace() || table->FilesHeldStill());
    const size_t stored = data.RecordSize();
    const int32_t taken = scanRun.Count();
    // Records as stored are what the cursor shows: the batch shows them
    // where the read put them.
    const bool inPlace = size == stored && !HasComputedFields();
    if (!inPlace) batch.images.resize(size * size_t(taken));
    batch.numbers.resize(size_t(taken));
    int32_t last = record;
    int32_t lastCounter = counter;
    for (int32_t i = 0; i < taken; ++i) {
      const int32_t number = record + i;
      if (i > 0 && !visible.IsSet(number)) continue;
      if (i > 0) ++lastCounter;
      if (!inPlace) {
        uint8_t* image = batch.images.data() + size * size_t(batch.count);
        std::memcpy(image, scanRun.Record(uint32_t(number)), std::min(stored, size));
        if (size > stored) std::memset(image + stored, 0, size - stored);
        if (HasComputedFields()) ComputeFields(image);
      }
      batch.numbers[size_t(batch.count++)] = uint32_t(number);
      last = number;
    }
    if (inPlace) {
      batch.read = scanRun.Record(uint32_t(record));
      batch.readFirst = uint32_t(record);
      batch.fromFile = scanRun.InPlace();
    }
    SetNaturalPosition(uint32_t(last), lastCounter);
    // The current record is the last one handed out, as a step leaves it.
    if (currentRecord.Held()) currentRecord.CopyImage(batch.Record(batch.count - 1), uint16_t(size), uint32_t(last));
    return 0;
  }
}

int32_t TDataCursor::HandOutCurrent(TRecordBatch& batch, bool loaded) {
  if (!loaded && !RefreshInto(nullptr)) return AtEnd() ? EngErrEndOfFile : CrackResult();
  batch.images.resize(batch.size);
  std::memcpy(batch.images.data(), GetCurrentRecordBuffer(), batch.size);
  batch.numbers.resize(1);
  batch.numbers[0] = position.Record();
  batch.count = 1;
  return 0;
}

// Under the same checks as a step of one: the landing's page reads look
// for other users' changes, and so does the run's read of what memory does
// not hold; a record changed in memory (cached, or held) is taken from
// there. Records past the file's end (one being appended) are the cache's,
// and a lone record is read as a step reads it, through the cache.
int32_t TDataCursor::NextIndexRecords(TRecordBatch& batch) {
  movingForward = true;
  TLeafWalker walker(*this, indexNo, indexState.Comparer);
  while (!TryMoveIndex(walker, 1)) AfterChangeSeen();
  if (!OnRecord()) {
    LoadCurrentRecord();
    return AtEnd() ? EngErrEndOfFile : CrackResult();
  }
  TDataFile& data = DataFile();
  const uint32_t onFile = data.PhysicalRecordCount();
  const uint32_t first = walker.Record();
  if (first > onFile) return HandOutCurrent(batch, LoadCurrentRecord());
  // Each record taken lies within the read's gap of those taken before, so
  // the run read holds at most that gap for each record handed out.
  const uint32_t limit = uint32_t(data.ReadAheadRecords());
  const int after = walker.EntriesAfterInLeaf();
  batch.numbers.resize(size_t(after) + 1);
  batch.numbers[0] = first;
  int32_t taken = 1;
  int lastTaken = 0;
  uint32_t low = first, high = first;
  for (int distance = 1; distance <= after; ++distance) {
    if (range.Outside(walker.KeyAfter(distance), indexState.Comparer, indexState.KeyLength)) break;
    uint32_t number = 0;
    walker.RecordBeside(distance, number);
    if (!RecordVisible(number)) continue;
    if (number > onFile || number + TDataFile::MaxReadGap < low || number > high + TDataFile::MaxReadGap) break;
    const uint32_t newLow = std::min(low, number), newHigh = std::max(high, number);
    if (newHigh - newLow >= limit) break;
    low = newLow;
    high = newHigh;
    batch.numbers[size_t(taken++)] = number;
    lastTaken = distance;
  }
  if (taken == 1) return HandOutCurrent(batch, LoadCurrentRecord());
  const int32_t length = int32_t(high - low + 1);
  if (!data.ReadRecordRun(this, low, length, scanRun, {.InPlace = true})) {
    // Another user's change: the cursor finds the landing's key again and
    // hands out what stands there, as a step's load does.
    AfterChangeSeen();
    return HandOutCurrent(batch, false);
  }
  ORV_ASSERT(scanRun.First() == low && scanRun.Count() == length);
  const size_t size = batch.size;
  const size_t stored = data.RecordSize();
  batch.count = taken;
  if (size == stored && !HasComputedFields()) {
    batch.read = scanRun.Record(low);
    batch.readFirst = low;
    batch.fromFile = scanRun.InPlace();
  } else {
    batch.images.resize(size * size_t(taken));
    for (int32_t i = 0; i < taken; ++i) {
      uint8_t* image = batch.images.data() + size * size_t(i);
      std::memcpy(image, scanRun.Record(batch.numbers[size_t(i)]), std::min(stored, size));
      if (size > stored) std::memset(image + stored, 0, size - stored);
      if (HasComputedFields()) ComputeFields(image);
    }
  }
  walker.AdvanceInLeaf(lastTaken);
  SetIndexPosition(walker, TCursorPlace::OnRecord, TRunCount::AtFirstStep);
  if (currentRecord.Held()) currentRecord.CopyImage(batch.Record(taken - 1), uint16_t(size), position.Record());
  return 0;
}
