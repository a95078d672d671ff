#pragma once
// The one handle on a record of the data file that a change or a
// restructure holds: it gives the record back to the file's cache on every
// way out, so that a failed change leaves no record in use.

#include <cstdint>
#include <vector>

#include "engIndexTree.h"
#include "engKeyCompare.h"

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

// One index's key of a record being written, built once for the uniqueness
// check and for the index change after it.
struct TChangeKey {
  // Not zero-filled first, as a value-initialized one would be: every key
  // byte is built before it is read, so clearing its 2 KiB bought nothing.
  TChangeKey() {}
  uint8_t IndexNo = 0;
  // Unique index, or "Sys Deleted" for a row number the caller gave.
  bool Unique = false;
  // The check's descent found the key's place, for the insert to use,
  // and, for a change, the old key's way, for its delete; both hold their
  // pages until the change takes them.
  bool Placed = false;
  uint16_t Length = 0;
  // The index's comparison, so that the check and the change work on the
  // index without the cursor switching to it again.
  TKeyComparer Comparer;
  uint8_t Key[MaxIndexKeyLength];
  // The key of the record a change replaces.
  uint8_t OldKey[MaxIndexKeyLength];
  TTreePath Place;
  TTreePath OldWay;
};

struct TChangeKeys {
  std::vector<TChangeKey> Keys;
  // The record replaces one whose keys are OldKey.
  bool Replacing = false;
};
