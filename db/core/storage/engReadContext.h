#pragma once
// What a file asks of the reader it reads for. The cursor implements it, so
// the files never see the cursor; a null reader is the engine's own read
// (a write, a rebuild, a check), which no cursor's position or repair pass
// shapes.

#include <cstdint>
#include <string>

class TReadContext {
public:
  // How many records, at most limit and at least 1, a read-ahead from
  // recordNumber may take in the reader's direction of travel.
  virtual int32_t ReadAheadCount(uint32_t recordNumber, bool forward, int32_t limit) = 0;
  // Records the reader is about to read after recordNumber, in its
  // direction of travel, wherever they lie (an index's leaf names them):
  // at most limit, written to numbers, their count returned. Read with the
  // record, under the lock its read holds, they spare each later read its
  // own lock and change check.
  virtual int32_t UpcomingRecords(uint32_t recordNumber, bool forward, uint32_t* numbers, int32_t limit) {
    (void)recordNumber, (void)forward, (void)numbers, (void)limit;
    return 0;
  }
  // The reader runs the table's verify-and-repair pass: damage found in a
  // BLOB chain is reported to it instead of raised.
  virtual bool InRepairMode() const = 0;
  virtual void ReportRepair(const std::string& text) = 0;

protected:
  ~TReadContext() = default;
};
