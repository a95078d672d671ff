#pragma once
// The dataset over one table of a database: opens the engine cursor on the
// table's files, keeps the field and index definitions, selects indexes by
// name or by field names, follows a master dataset by key range, and
// creates, empties, deletes, renames and restructures the table.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MDBDBDataSet.h"
#include "MDBRestructureDefs.h"
#include "MDBSession.h"
#include "dbDataSource.h"

class TMDBTable;

// The link of a detail table to its master's data source.
class TMDBMasterDataLink : public TDataLink {
  RTL_DECLARE_CLASS(TMDBMasterDataLink, TDataLink)

  explicit TMDBMasterDataLink(TDataSet* detail);

  const std::string& FieldNames() const { return fieldNames; }
  void SetFieldNames(const std::string& value);
  // The master's fields named by FieldNames, while the link is active.
  const std::vector<TField*>& Fields() const { return fields; }
  TDataSet* GetDetailDataSet() const override { return detail; }

  std::function<void()> OnMasterChange;
  std::function<void()> OnMasterDisable;

protected:
  void ActiveChanged() override;
  void LayoutChanged() override { ActiveChanged(); }
  void RecordChanged(TField* field) override;

private:
  TDataSet* detail;
  std::string fieldNames;
  std::vector<TField*> fields;
};

// What a restructure could not carry over (the engine's causes).
enum TDataLossCause { dlcInsertFailed = 0, dlcDuplicateKey = 1, dlcConstraint = 2, dlcFieldDropped = 3,
                      dlcValueNotConverted = 4 };
using TProgressEvent = TEvent<void(TObject* sender, int currentRecord, uint16_t percentDone)>;
using TDataLostEvent = TEvent<void(TObject* sender, TDataLossCause cause, const std::string& contextInfo,
                                   bool& continueRestructure, bool& stopAsking)>;

// The arguments of RestructureTable.
struct TMDBRestructureOptions {
  uint16_t LanguageID = 0;
  uint16_t SortID = 0;
  uint16_t UserMajorVersion = 0;
  uint16_t UserMinorVersion = 0;
  bool Encrypted = false;
  std::string Password;
  std::string Description;
  uint16_t BlobBlockSize = 512;
  // The new table's last auto-increment value; -1 keeps the current one.
  int32_t LastAutoIncValue = -1;
  // Whether the old table's backup files go afterwards.
  bool DeleteBackup = true;
};

class TMDBTable : public TMDBDBDataSet, public TMDBStructureSource {
  RTL_DECLARE_CLASS(TMDBTable, TMDBDBDataSet)

  explicit TMDBTable(TComponent* owner);
  ~TMDBTable() override;

  // Table operations; the dataset must be closed unless said otherwise.
  void CreateTable();
  void DeleteTable();
  // Also on an open dataset, which must then hold the table exclusively.
  void EmptyTable();
  void RenameTable(const std::string& newName);
  bool Exists();
  uint32_t GetBlobBlockSize();

  const std::string& TableName() const { return tableName; }
  // A folder part (up to the last ':', '\' or '/') becomes DatabaseName.
  void SetTableName(const std::string& value);
  bool Exclusive() const { return exclusive; }
  void SetExclusive(bool value);
  bool ReadOnly() const { return readOnly; }
  void SetReadOnly(bool value);
  bool InMemory() const { return inMemory; }
  // On, DatabaseName becomes "Memory".
  void SetInMemory(bool value);
  void SetDatabaseName(const std::string& value) override;

  // Index selection: by name, or by field names ("A;B"; empty: natural
  // order). Each reads empty while the other chose the index.
  std::string IndexName() const { return indexByFieldNames ? std::string() : indexText; }
  void SetIndexName(const std::string& value);
  std::string IndexFieldNames() const { return indexByFieldNames ? indexText : std::string(); }
  void SetIndexFieldNames(const std::string& value);
  TIndexDefs& IndexDefs() { return indexDefs; }
  // Refills IndexDefs from the table unless up to date.
  void UpdateIndexDefs() override;
  // Whether streams keep FieldDefs and IndexDefs (each when not empty).
  bool StoreDefs() const { return storeDefs; }
  void SetStoreDefs(bool value) { storeDefs = value; }

  // Master and detail.
  TDataSource* MasterSource() const { return masterLink.DataSource(); }
  // "Circular datalinks are not allowed" when source is fed by this table.
  void SetMasterSource(TDataSource* source);
  const std::string& MasterFields() const { return masterLink.FieldNames(); }
  void SetMasterFields(const std::string& value);
  TDataSource* GetDataSource() const override { return masterLink.DataSource(); }

  // Restructure.
  TRestructureFieldDefs& RestructureFieldDefs() { return restructureFieldDefs; }
  TRestructureIndexDefs& RestructureIndexDefs() { return restructureIndexDefs; }
  void RestructureTable(const TMDBRestructureOptions& options);
  TProgressEvent OnRestructureProgress;
  TDataLostEvent OnDataLost;
  // Published only to be streamed: nothing fires them.
  TProgressEvent OnRepairProgress, OnUpgradeProgress, OnIndexProgress, OnCopyProgress, OnOptimizeProgress;
  TEvent<void(TObject* sender, const std::string& text)> OnRepairLog, OnUpgradeLog;
  const std::string& EngineVersion() const { return EngineVersionText(); }
  void SetEngineVersion(const std::string&) {}

  bool CanModify() const override;
  void DataEvent(TDataEvent event, intptr_t info) override;

  // TMDBStructureSource.
  void ReadTableDescriptors(TMDBTableDescriptors& descriptors) override;

protected:
  std::unique_ptr<TTableCursor> CreateHandle() override;
  void DestroyHandle() override;
  void DestroyLookupCursor() override;
  TTableCursor* GetLookupCursor(const std::string& keyFields, bool caseInsensitive) override;
  void UpdateIndex() override;
  void InternalInitFieldDefs() override;
  void DoOnNewRecord() override;
  // A change of the field or index definitions is kept with the component.
  void DefChanged(TObject* sender) override;

private:
  bool IsFieldDefsStored() const { return storeDefs && FieldDefs().Count() > 0; }
  bool IsIndexDefsStored() const { return storeDefs && indexDefs.Count() > 0; }
  TIndexDefs indexDefs;
  TMDBMasterDataLink masterLink;
  bool exclusive = false;
  bool readOnly = false;
  bool inMemory = false;
  bool indexByFieldNames = false;
  bool storeDefs = false;
  // Set while the definitions are refilled from the table itself.
  bool refillingDefs = false;
  std::string tableName;
  std::string indexText;
  std::unique_ptr<TTableCursor> lookupCursor;
  std::string lookupKeyFields;
  bool lookupCaseInsensitive = false;
  TRestructureFieldDefs restructureFieldDefs;
  TRestructureIndexDefs restructureIndexDefs;

  // How a cursor of the component takes its table: shared, exclusive, or
  // exclusive and writable whatever ReadOnly says (to create or
  // restructure the table).
  enum class TCursorAccess { Shared, Exclusive, ExclusiveWritable };
  // A new cursor on the table, set up as the component's; not opened.
  std::unique_ptr<TTableCursor> NewCursor(TCursorAccess access);
  // Runs work on the open cursor, or on a temporary opened one.
  void WithOpenCursor(const std::function<void(TTableCursor&)>& work);
  std::string ResolveIndexName();
  void SwitchIndex(const std::string& text, bool byFieldNames);
  void ApplyIndex();
  void MasterChanged();
  void MasterDisabled();
  void SetLinkRanges();
  void ApplyRange();
  void CancelRange();
  void FillIndexDefs(TTableCursor& cursor);
};
