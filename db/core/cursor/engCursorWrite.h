#pragma once
// The one handle on a record of the data file that a change or a
// restructure holds: it gives the record back to the file's cache on every
// way out, so that a failed change leaves no record in use.

#include <cstdint>

class TDataFile;
class TRecord;

// How a held record is read: alone, as a change wants it, or taking the
// records after it along, as a pass over every record wants them.
enum class TRecordRead : uint8_t { Alone, WithFollowing };

class THeldRecord {
public:
  explicit THeldRecord(TDataFile& file) : file(file) {}
  ~THeldRecord() { Release(); }
  THeldRecord(const THeldRecord&) = delete;
  THeldRecord& operator=(const THeldRecord&) = delete;

  // Holds record number (which must exist) of the file.
  void Read(uint32_t number, TRecordRead how);
  // Holds the record an insert fills; false when the file gave none.
  bool TakeNew();
  // Hands the record back, for the data file to write with its cache.
  void Release();

  TRecord* Get() const { return record; }
  TRecord* operator->() const { return record; }

private:
  TDataFile& file;
  TRecord* record = nullptr;
};
