#pragma once
// One database directory of a session, on disk or the in-memory directory
// "MEMORY", with the registry of its open tables: one table object per
// table name and kind, shared by every cursor that opens the table.
// Operations return 0 or a negative engine error code unless said
// otherwise; failures of the files are raised by the file layer.

#include <cstdint>
#include <memory>
#include <string>

#include "engHeap.h"
#include "engOwnedList.h"
#include "engTransactionOptions.h"

class TDataSession;
class TDataTable;
struct TTableFilesDefinition;

// How a table is opened. A table another user holds exclusively, or one
// asked for exclusively while others have it, is refused unless
// OverrideExclusive.
struct TTableOpenOptions {
  bool Exclusive = false;
  bool OverrideExclusive = false;
  bool InMemory = false;
  bool Temporary = false;
  bool SequentialAccess = false;
  bool NoFilterUpdate = false;
  bool SqlSource = false;
};

// The kind of a new table.
struct TTableCreateOptions {
  bool InMemory = false;
  bool Temporary = false;
};

class TDataDirectory : public TEngineObject {
public:
  TDataDirectory(TDataSession* session, const std::string& name, const std::string& localPath,
                 const std::string& universalPath);
  // Rolls a running transaction back, then frees every table.
  ~TDataDirectory() override;

  TDataSession* Session() const { return session; }
  const std::string& Name() const { return name; }
  // Ending in "/"; empty for the in-memory directory.
  const std::string& LocalPath() const { return localPath; }
  const std::string& UniversalPath() const { return universalPath; }
  uint32_t UseCount() const { return useCount; }
  void AddUse() { ++useCount; }
  // The use count left.
  uint32_t ReleaseUse() { return useCount > 0 ? --useCount : 0; }

  // The registered table of that name (".DAT" added, any case) and kind.
  TDataTable* FindTable(const std::string& tableName, bool inMemory) const;
  int32_t TableCount() const { return tables.Count(); }

  // Creates the files of a new table, which is then open and exclusive
  // with a use count of 1, for the caller to close with CloseTable.
  int32_t CreateTable(const std::string& tableName, const TTableCreateOptions& options,
                      const TTableFilesDefinition& definition, TDataTable*& table);
  // Keeps a table CreateTable has just made in memory (where no one else
  // can have reached it since) for its creator as OpenTable would have
  // opened it with these options; a running transaction takes it in.
  void KeepCreatedTable(TDataTable* table, const TTableOpenOptions& options);
  // Opens the table, or shares the open one; -11013 when either side is
  // exclusive and OverrideExclusive is not set.
  int32_t OpenTable(const std::string& tableName, const TTableOpenOptions& options, TDataTable*& table);
  // -11010 for a table not registered here. The last user frees it, unless
  // a transaction still holds it.
  int32_t CloseTable(TDataTable* table, bool discardTemporary);
  // -11013 while the table is in use.
  int32_t RenameTable(const std::string& tableName, const std::string& newName, bool asBackup, bool inMemory);
  int32_t DeleteTable(const std::string& tableName, bool inMemory);
  bool TableExists(const std::string& tableName, bool inMemory) const;
  // A name no table of that kind has yet: thread id digits, a counter, ".DAT".
  // On disk the name's data file is created empty, so that no other process
  // can take the same name before the caller creates the table over it.
  std::string GetTempTableName(bool inMemory) const;

  // A transaction over every registered table; a table opened meanwhile
  // joins it. A table whose last user left is closed when it ends.
  void StartTransaction(const TTransactionOptions& options = {});
  void Rollback();
  // Without release the changes are written and the transaction goes on.
  void Commit(bool release);
  bool InTransaction() const { return transactionActive; }

private:
  TDataSession* session;
  std::string name;
  std::string localPath;
  std::string universalPath;
  TOwnedList<TDataTable> tables;
  uint32_t useCount = 0;
  bool transactionActive = false;
  TTransactionOptions transactionOptions;

  TDataTable* Table(int32_t index) const { return tables.Get(index); }
  // A table of the session set aside that fits the definition, taken into
  // this directory under tableName; nothing when none fits or its names are
  // taken.
  std::unique_ptr<TDataTable> TakeSpareTable(const std::string& tableName, const TTableFilesDefinition& definition);
  // Frees a table that has no user and no transaction.
  void ReleaseIfUnused(TDataTable* table);
};
