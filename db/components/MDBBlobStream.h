#pragma once
// A stream over one BLOB field of a dataset's record buffer for the
// dataset's current state. bmRead reads; bmWrite starts the value empty;
// bmReadWrite edits it in place. Writes stay in the record's open BLOB
// until the record is posted.

#include <cstdint>

#include "dbTypes.h"
#include "rtlStreams.h"

class TBlobField;
class TField;
class TMDBDataSet;

class TMDBBlobStream : public TStream {
public:
  // "Field '%s' cannot be modified" or "Dataset not in edit or insert mode"
  // for writing modes the field or dataset does not allow.
  TMDBBlobStream(TField* field, TBlobStreamMode mode);
  ~TMDBBlobStream() override;

  // Past the end gives the bytes there are; no record buffer gives 0.
  int64_t Read(void* buffer, int64_t count) override;
  // A failed write raises and discards what this record's BLOB held
  // unposted, so Post never stores half a value.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;
  // Cuts the value at the position.
  void Truncate();

private:
  TBlobField* field;
  TMDBDataSet* dataSet;
  uint8_t* record = nullptr;
  uint16_t fieldNo = 0;
  bool opened = false;
  bool modified = false;
  int32_t position = 0;

  // Raises the engine's failure after the open value was given up.
  void CheckWriteResult(int32_t result);
};
