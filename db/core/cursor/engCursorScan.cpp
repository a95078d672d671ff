// A scan's step over several records: one read of the data file hands out
// the visible records it took, without placing each in the table's record
// cache, copying it to the current record and again to the caller.

#include <algorithm>
#include <cstring>

#include "engCursor.h"
#include "engDataFile.h"
#include "engErrorCodes.h"

int32_t TDataCursor::GetNextRecords(TRecordBatch& batch) {
  RequireOpen();
  TOperationBracket bracket(*this);
  const size_t size = CursorRecordSize();
  batch.size = size;
  batch.count = 0;
  batch.read = nullptr;
  auto single = [&]() -> int32_t {
    batch.images.resize(size);
    batch.numbers.resize(1);
    if (!StepInto(1, batch.images.data())) return AtEnd() ? EngErrEndOfFile : CrackResult();
    batch.numbers[0] = position.Record();
    batch.count = 1;
    return 0;
  };
  if (!IsNaturalOrder()) return single();
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
    if (!data.ReadRecordRun(this, uint32_t(record), length, scanRun)) {
      // Another user's change: the cursor finds its place again and the
      // step starts over from there.
      AfterChangeSeen();
      continue;
    }
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
    }
    SetNaturalPosition(uint32_t(last), lastCounter);
    // The current record is the last one handed out, as a step leaves it.
    if (currentRecord.Held()) currentRecord.CopyImage(batch.Record(batch.count - 1), uint16_t(size), uint32_t(last));
    return 0;
  }
}
