#include "engDirectory.h"

#include <memory>

#include "engErrors.h"
#include "engFileList.h"
#include "engOsErrors.h"
#include "engPaths.h"
#include "engScopeGuard.h"
#include "engSession.h"
#include "engTable.h"
#include "osFile.h"
#include "osThreadContext.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"

namespace {

constexpr int32_t InvalidName = -11010;
constexpr int32_t AccessDenied = -11013;

std::string DataFileName(const std::string& tableName) { return ChangeFileExtension(tableName, ".DAT"); }

}  // namespace

TDataDirectory::TDataDirectory(TDataSession* session, const std::string& name, const std::string& localPath,
                               const std::string& universalPath)
    : session(session), name(name), localPath(localPath), universalPath(universalPath) {}

TDataDirectory::~TDataDirectory() {
  if (transactionActive) ReleaseQuietly([this] { Rollback(); });
  tables.Clear();
}

TDataTable* TDataDirectory::FindTable(const std::string& tableName, bool inMemory) const {
  const std::string wanted = Trim(DataFileName(tableName));
  for (int32_t i = 0; i < tables.Count(); ++i) {
    TDataTable* table = Table(i);
    if (table->IsInMemory() == inMemory && SameText(Trim(table->Name()), wanted)) return table;
  }
  return nullptr;
}

void TDataDirectory::ReleaseIfUnused(TDataTable* table) {
  if (table->UseCount() > 0 || table->InTransaction()) return;
  const int32_t index = tables.IndexOf(table);
  if (index >= 0)
    tables.Delete(index);
  else
    delete table;
}

int32_t TDataDirectory::CreateTable(const std::string& tableName, const TTableCreateOptions& options,
                                    const TTableFilesDefinition& definition, TDataTable*& table) {
  table = nullptr;
  // Only a blank name has nothing left once made absolute; a table in
  // memory lies in no folder, so its name is not made so.
  if (Trim(options.InMemory ? tableName : FullNameWithoutExt(tableName)).empty()) return InvalidName;
  TDataTable* created = FindTable(tableName, options.InMemory);
  if (created && created->UseCount() > 0) return AccessDenied;
  if (!created) {
    std::unique_ptr<TDataTable> owned = options.InMemory && options.Temporary ? TakeSpareTable(tableName, definition)
                                                                              : nullptr;
    if (!owned) {
      owned = std::make_unique<TDataTable>(this);
      owned->SetName(tableName);
    }
    created = tables.Add(std::move(owned));
  }
  created->SetExclusive(true);
  created->SetInMemory(options.InMemory);
  created->SetTemporary(options.Temporary);
  TScopeGuard releaseOnFailure([this, created] { ReleaseIfUnused(created); });
  created->CreateFiles(definition);
  releaseOnFailure.Dismiss();
  table = created;
  return 0;
}

void TDataDirectory::KeepCreatedTable(TDataTable* table, const TTableOpenOptions& options) {
  ORV_ASSERT(table->IsInMemory() && options.InMemory && table->IsOpen() && table->UseCount() == 1 &&
             table->IsExclusive() == options.Exclusive && tables.IndexOf(table) >= 0);
  table->SetTemporary(options.Temporary);
  table->SetSequentialAccess(options.SequentialAccess);
  table->SetNoFilterUpdate(options.NoFilterUpdate);
  table->SetSqlSource(options.SqlSource);
  if (transactionActive) table->StartTransaction(transactionOptions);
}

int32_t TDataDirectory::OpenTable(const std::string& tableName, const TTableOpenOptions& options,
                                  TDataTable*& table) {
  table = nullptr;
  TDataTable* found = FindTable(tableName, options.InMemory);
  if (found && found->UseCount() >= 1) {
    if ((found->IsExclusive() || options.Exclusive) && !options.OverrideExclusive) return AccessDenied;
    found->AddUse();
    table = found;
    return 0;
  }
  std::unique_ptr<TDataTable> created;
  TDataTable* opening = found;
  if (!opening) {
    created.reset(new TDataTable(this));
    opening = created.get();
    opening->SetName(tableName);
  }
  if (!opening->IsOpen()) {
    opening->SetExclusive(options.Exclusive);
    opening->SetInMemory(options.InMemory);
    opening->SetTemporary(options.Temporary);
    opening->SetSequentialAccess(options.SequentialAccess);
    opening->SetNoFilterUpdate(options.NoFilterUpdate);
    opening->SetSqlSource(options.SqlSource);
  } else if (options.Exclusive && !opening->IsExclusive()) {
    // Kept open, shared, by the transaction: other processes may have it.
    return AccessDenied;
  }
  TScopeGuard closeOnFailure([&] {
    ReleaseQuietly([opening] { opening->Close(true); });
    if (found) ReleaseIfUnused(found);
  });
  opening->Open();
  if (transactionActive) opening->StartTransaction(transactionOptions);
  closeOnFailure.Dismiss();
  if (created) tables.Add(std::move(created));
  table = opening;
  return 0;
}

std::unique_ptr<TDataTable> TDataDirectory::TakeSpareTable(const std::string& tableName,
                                                            const TTableFilesDefinition& definition) {
  std::unique_ptr<TDataTable> spare = session->TakeSpareTable(definition);
  if (!spare) return nullptr;
  try {
    spare->TakeBack(this, tableName);
  } catch (const EEngineError&) {
    // Its names are taken: the table goes, and a creation of its own meets
    // what took them.
    return nullptr;
  }
  return spare;
}

int32_t TDataDirectory::CloseTable(TDataTable* table, bool discardTemporary) {
  const int32_t index = tables.IndexOf(table);
  if (index < 0) return InvalidName;
  if (discardTemporary && table->MayBeSetAside()) {
    try {
      table->SetAside();
    } catch (...) {
      TScopeGuard release([this, table] { ReleaseIfUnused(table); });
      table->Close(true);
      throw;
    }
    session->KeepSpareTable(tables.Extract(index));
    return 0;
  }
  {
    TScopeGuard release([this, table] { ReleaseIfUnused(table); });
    // Also closes a table that a transaction kept open after its last user.
    table->Close(discardTemporary);
  }
  return 0;
}

int32_t TDataDirectory::RenameTable(const std::string& tableName, const std::string& newName, bool asBackup,
                                    bool inMemory) {
  if (TDataTable* registered = FindTable(tableName, inMemory)) {
    if (registered->UseCount() > 0) return AccessDenied;
    registered->RenameTo(newName, asBackup);
    return 0;
  }
  std::unique_ptr<TDataTable> transient(new TDataTable(this));
  transient->SetName(tableName);
  transient->SetInMemory(inMemory);
  transient->RenameTo(newName, asBackup);
  return 0;
}

int32_t TDataDirectory::DeleteTable(const std::string& tableName, bool inMemory) {
  if (TDataTable* registered = FindTable(tableName, inMemory)) {
    if (registered->UseCount() > 0) return AccessDenied;
    registered->DeleteFiles();
    tables.Delete(tables.IndexOf(registered));
    return 0;
  }
  std::unique_ptr<TDataTable> transient(new TDataTable(this));
  transient->SetName(tableName);
  transient->SetInMemory(inMemory);
  transient->DeleteFiles();
  return 0;
}

bool TDataDirectory::TableExists(const std::string& tableName, bool inMemory) const {
  if (FindTable(tableName, inMemory)) return true;
  // In-memory tables are named without a path, as their files are.
  const std::string fileName = inMemory ? DataFileName(tableName) : universalPath + DataFileName(tableName);
  return FileList && FileList->Exists(fileName, inMemory);
}

std::string TDataDirectory::GetTempTableName(bool inMemory) const {
  const std::string prefix = std::to_string(GetCurrentThreadId()).substr(0, 5);
  for (uint32_t counter = 0;; ++counter) {
    std::string candidate = prefix + std::to_string(counter) + ".DAT";
    if (TableExists(candidate, inMemory)) continue;
    if (inMemory) return candidate;
    // Thread ids are numbered per process, so another process sharing this
    // folder asks for the same names: the data file is claimed at once and
    // the table's creation later empties and takes it.
    const OsError claimed = OsFile::CreateNew(universalPath + candidate);
    if (claimed == ERROR_SUCCESS) return candidate;
    if (claimed != ERROR_FILE_EXISTS) RaiseEngineError(EngineErrorFromOsError(claimed), universalPath + candidate);
  }
}

void TDataDirectory::StartTransaction(const TTransactionOptions& options) {
  if (transactionActive) return;
  int32_t started = 0;
  TScopeGuard rollBackStarted([&] {
    while (started > 0) ReleaseQuietly([&] { Table(--started)->Rollback(); });
  });
  for (; started < tables.Count(); ++started) Table(started)->StartTransaction(options);
  rollBackStarted.Dismiss();
  transactionActive = true;
  transactionOptions = options;
}

void TDataDirectory::Rollback() {
  for (int32_t i = tables.Count() - 1; i >= 0; --i) {
    TDataTable* table = Table(i);
    table->Rollback();
    if (table->UseCount() == 0) CloseTable(table, true);
  }
  transactionActive = false;
}

void TDataDirectory::Commit(bool release) {
  for (int32_t i = tables.Count() - 1; i >= 0; --i) {
    TDataTable* table = Table(i);
    table->Commit(release);
    if (table->UseCount() == 0) CloseTable(table, true);
  }
  if (release) transactionActive = false;
}
