#pragma once
// Puts a rebuilt table's files in the place of the old table's without
// ever holding the only copy of the data in a state that a failure could
// lose: the old files move to their backup names first, the new ones move
// in (copied where a rename cannot cross file systems), and any failure
// puts the old files back before it is raised.

#include <cstdint>
#include <string>

// The file operations the exchange uses, each returning 0 or a negative
// engine error code. The default goes through the process's file list.
class TTableFileOps {
public:
  virtual ~TTableFileOps() = default;
  virtual int32_t Rename(const std::string& name, const std::string& newName, bool inMemory);
  virtual int32_t Copy(const std::string& name, const std::string& newName, bool inMemory);
  virtual int32_t Delete(const std::string& name, bool inMemory);
  virtual bool Exists(const std::string& name, bool inMemory);
};

// A rename across file systems.

// What becomes of the old files' backups once the new files are in place.
enum class TBackupFiles : uint8_t { Keep, Delete };

// oldTable and newTable name the data files (".DAT"), with their paths
// unless in memory. Raises the first failure after the old files are back.
void ExchangeTableFiles(const std::string& oldTable, const std::string& newTable, bool inMemory,
                        TBackupFiles backups, TTableFileOps& ops);

// Deletes whichever of the table's files exist, each attempted; raises the
// first failure.
void DeleteTableFiles(const std::string& table, bool inMemory, TTableFileOps& ops);
