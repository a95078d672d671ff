#pragma once
// What each file of a table (data, index, BLOB) needs of the table that
// owns it. Each file's own interface adds what only that file asks; the
// base is virtual, so the table object implements one set for all three.

#include <cstdint>
#include <string>

#include "engReadContext.h"

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

protected:
  ~TFileTable() = default;
};
