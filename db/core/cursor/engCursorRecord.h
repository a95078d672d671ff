#pragma once
// The record a cursor stands on, copied out of the data file's cache so
// that it stays put while the cache moves on, at the cursor's record size
// (the table's record and the fields the cursor computes after it).

#include <cstdint>

class TDataFile;
class TRecord;

// Invariant: it holds a record exactly while it has an owner, the data
// file whose record stack gave it and takes it back; the record is of the
// size last set.
class TCursorRecord {
public:
  TCursorRecord() = default;
  TCursorRecord(const TCursorRecord&) = delete;
  TCursorRecord& operator=(const TCursorRecord&) = delete;

  // From file's record stack, cleared, of size bytes.
  void Take(TDataFile& file, uint16_t size);
  // Back to the stack it came from; nothing when none is held.
  void Release();
  bool Held() const { return record != nullptr; }
  void Resize(uint16_t size);
  uint8_t* Buffer();
  const uint8_t* Buffer() const;
  // A record read from the file; bytes past it (computed fields) blank.
  void CopyFrom(const TRecord& stored);
  // A stored record's image of storedSize bytes, as CopyFrom takes a
  // cached record.
  void CopyStored(const uint8_t* image, uint16_t storedSize, uint32_t number);
  // A whole image of record number, computed fields included, made at
  // size bytes.
  void CopyImage(const uint8_t* image, uint16_t size, uint32_t number);

private:
  TDataFile* owner = nullptr;
  TRecord* record = nullptr;

  void CheckInvariant() const;
};
