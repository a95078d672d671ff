#pragma once
// What each file of a table (data, index, BLOB) needs of the table that
// owns it. Each file's own interface adds what only that file asks; the
// base is virtual, so the table object implements one set for all three.

#include <cstdint>
#include <string>

#include "engReadContext.h"

// How many bytes each cache of one open table may hold; the session sets
// them for its tables. A cache never holds less than one operation pins at
// once, and a transaction grows it past its size until it ends.
struct TCacheSizes {
  static constexpr int64_t MiB = 1024 * 1024;
  // Records of the data file.
  int64_t RecordBytes = 4 * MiB;
  // Index pages of all the table's indexes together, counted by what they
  // take in memory (a page of long keys takes several times its 4 KiB).
  int64_t IndexBytes = 8 * MiB;
  // Blocks of the BLOB file.
  int64_t BlobBytes = 4 * MiB;
};

class TFileTable {
public:
  virtual std::string TableName() const = 0;
  virtual void Encipher(uint8_t* buffer, uint32_t length) = 0;
  virtual void Decipher(uint8_t* buffer, uint32_t length) = 0;
  virtual bool HoldsTransactionLock() const = 0;
  virtual bool DataChanged() const = 0;
  virtual void SetDataChanged() = 0;
  // Before a file reads from disk for a reader (never null): looks for
  // other users' changes, dropping the caches and resynchronising the
  // cursors; true when there were some.
  virtual bool CheckChangesBeforeRead(TReadContext* reader) = 0;
  // Read when a file opens; the default sizes unless the table has others.
  virtual TCacheSizes CacheSizes() const { return {}; }

protected:
  ~TFileTable() = default;
};
