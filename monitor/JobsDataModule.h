#pragma once
// The jobs data module: the jobs table with its persistent fields, the two
// distinct lists the windows offer as filters, and the module's lock, under
// which every open, close, empty and append of the table runs. It is the
// only writer of the jobs table.
//
// Start-up (OpenOrCreateDatabase) runs before the module exists and after
// the single-instance test: it creates the jobs table from the definition
// text after asking, or brings an existing table to the definition's
// structure keeping its rows.
//
// Lock order: the pending job list's lock, then the module's.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MDBQuery.h"
#include "MDBTable.h"
#include "JobsStore.h"
#include "osSyncCriticalSection.h"
#include "dbDataSource.h"
#include "rtlExceptions.h"

struct QueueJob;
class TDateField;
class TTimeField;
class TIntegerField;
class TStringField;
class TMemoField;
class TBooleanField;

// The jobs table's names.
inline constexpr const char* JobsTableName = "JOBS.DAT";
inline constexpr const char* JobsDefinitionName = "jobs.dat";
inline constexpr const char* JobsDefinitionResource = "DBDEF";
inline constexpr const char* JobsDefaultIndex = "ByDate";
inline constexpr const char* SDatabaseNotFound = "Database not found. Do wish to create new database?";
inline constexpr const char* SPleaseConfirm = "Please Confirm";
inline constexpr const char* SNoTableDefinition = "The table definition \"%s\" is missing from the program.";
inline constexpr const char* SDatabaseRestructured = "Database was restructured.";
inline constexpr const char* SRestructureLosses = "Database restructure lost data: %d value(s) or row(s) (%s).";

class TDataModule1 {
public:
  // dataPath: the folder of the jobs table. Opens the table exclusively,
  // then shared; another program holding the table leaves it closed, and
  // OpenRefusal saying why, until a write opens it.
  explicit TDataModule1(const std::string& dataPath);
  // Closes the table.
  ~TDataModule1();
  TDataModule1(const TDataModule1&) = delete;
  TDataModule1& operator=(const TDataModule1&) = delete;

  void ReopenJobsTable(bool exclusive);
  // Why the table stayed closed at the start; empty once it is open.
  const std::string& OpenRefusal() const { return openRefusal; }
  void EmptyJobsTable();
  // One new row for job on printerName; raises when the row could not be
  // stored (the table keeps no part of it). A job is the same when its
  // printer, submission time, id and owner are: a row of it that the table
  // holds already is not written again, but one written unfinished takes
  // the end of a job that has ended (status, pages, bytes, printed).
  TJobWriteResult WriteJobRecord(const QueueJob& job, const std::string& printerName);
  // Every index but the primary one, in definition order.
  void GetIndexNames(std::vector<std::string>& list);
  // A step of the windows' shutdown: there is nothing to pack.
  void PackJobsTable() {}

  TMDBTable& Table1() { return *table1; }
  TMDBQuery& qryUsers() { return *users; }
  TMDBQuery& qryPrinters() { return *printers; }
  TDataSource& DataSource1() { return *dataSource1; }
  TDataSource& dsUsers() { return *dsUsersSource; }
  TDataSource& dsPrinters() { return *dsPrintersSource; }
  // Guards the table; take it around reads that must not meet a reopen.
  TOsCriticalSection& Lock() { return lock; }

  TDateField* Table1JobDate = nullptr;
  TTimeField* Table1JobTime = nullptr;
  TIntegerField* Table1JobID = nullptr;
  TStringField* Table1MachineName = nullptr;
  TStringField* Table1PrinterName = nullptr;
  TStringField* Table1JobOwner = nullptr;
  TIntegerField* Table1PagesPrinted = nullptr;
  TIntegerField* Table1TotalPages = nullptr;
  TIntegerField* Table1BytesPrinted = nullptr;
  TIntegerField* Table1JobSize = nullptr;
  TMemoField* Table1Document = nullptr;
  TStringField* Table1Doc = nullptr;
  TIntegerField* Table1JobStatus = nullptr;
  TStringField* Table1strStatus = nullptr;
  TBooleanField* Table1JobPrinted = nullptr;

  // The calculated fields of the current record.
  void MDBTable1CalcFields(TDataSet* dataSet);

private:
  TOsCriticalSection lock;
  // Owns the components (and the persistent fields through the table).
  std::unique_ptr<TComponent> owner;
  TMDBTable* table1 = nullptr;
  TMDBQuery* users = nullptr;
  TMDBQuery* printers = nullptr;
  TDataSource* dataSource1 = nullptr;
  TDataSource* dsUsersSource = nullptr;
  TDataSource* dsPrintersSource = nullptr;
  std::string openRefusal;

  void CreatePersistentFields();
  void OpenAtStart();
};

// The process's data module; nullptr while none exists. Setting one makes
// it the pending list's writer.
TDataModule1* DataModule1();
void SetDataModule1(TDataModule1* dataModule);

