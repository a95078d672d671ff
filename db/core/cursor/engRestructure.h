#pragma once
// Changing the definition of an existing table by the cheapest way that
// serves: descriptors updated in place, the changed indexes rebuilt, or
// every record copied into a new table that then takes the old one's
// place. Whatever stops a restructure leaves the old table's data whole.

#include <cstdint>
#include <string>
#include <vector>

#include "engCursor.h"
#include "rtlFormatSettings.h"

class TTableFileOps;

// Why a record could not be carried over.
enum TRestructureLoss : int {
  rlInsertFailed = 0,     // another engine error of the insert
  rlDuplicateKey = 1,     // text: the index name
  rlConstraint = 2,       // text: the field name
  rlFieldDropped = 3,     // text: the old field's name
  rlValueNotConverted = 4 // text: the old field's name
};

class TRestructure {
public:
  TRestructure(TDataCursor& cursor, TTableDefinition& definition, bool deleteBackup);
  TRestructure(const TRestructure&) = delete;
  TRestructure& operator=(const TRestructure&) = delete;

  // The cursor is open and checked; it is closed on every way out.
  void Run(TTableFileOps& fileOps);

private:
  enum class TWay { InPlace, RebuildIndexes, Copy };

  TDataCursor& cursor;
  TTableDefinition& definition;
  // The new definition's fields as the data file stores them, once checked.
  std::vector<uint8_t> fieldDescs;
  bool deleteBackup;
  // Of the new definition's language, for the values carried over.
  TFormatSettings settings;
  struct TCarriedBlob {
    uint32_t RecordNo;
    uint32_t Sequence;
    uint32_t FirstOffset;
  };
  // The chains written for the record being copied.
  std::vector<TCarriedBlob> carriedBlobs;
  bool stopAsking = false;
  bool carryOn = true;

  TWay ChooseWay();
  bool RecordLayoutChanged();
  int OldIndexCount();
  int NewFieldCount() const { return int(definition.Fields.size()); }
  const uint8_t* NewFieldDesc(int position) const { return fieldDescs.data() + size_t(position - 1) * FieldDescSize; }
  // The new descriptor of index n, or nullptr beyond the new count.
  uint8_t* NewIndexDesc(int n) const;
  bool IndexChanged(int n);

  void UpdateInPlace();
  void StoreTableInfo(TDataCursor& target);

  // engRestructureIndexes.
  void RebuildIndexes();
  std::vector<bool> ReplaceChangedIndexes();
  void BuildMarkedIndexes(const std::vector<bool>& marked, std::vector<uint32_t>& duplicates);
  void RemoveRecords(const std::vector<bool>& marked, const std::vector<uint32_t>& records);

  // engRestructureCopy.
  void CopyTable(TTableFileOps& fileOps);
  void CopyRecords(TDataCursor& work);
  void CopyFields(TDataCursor& work, uint32_t oldRecordNo, const uint8_t* oldRecord, uint8_t* newRecord, bool& autoIncGiven);
  void CarryBlob(TDataCursor& work, uint32_t oldRecordNo, const uint8_t* oldDesc, const uint8_t* oldRecord,
                 const uint8_t* newDesc, uint8_t* newRecord);
  void FreeCarriedBlobs(TDataCursor& work);
  bool ConvertValue(const uint8_t* oldDesc, const uint8_t* oldValue, const uint8_t* newDesc, uint8_t* value);
  void InsertCopy(TDataCursor& work, uint8_t* newRecord);

  // Tells the data-lost handler; carryOn says whether to go on.
  void ReportLoss(TRestructureLoss cause, const std::string& text);
  void ReportProgress(uint32_t record, uint32_t total);
};
