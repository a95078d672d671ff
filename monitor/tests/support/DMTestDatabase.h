#pragma once
// The jobs database of a test, for units that cannot include the database
// components beside the thread framework: a data folder with the jobs
// table, the data module over it installed as the pending list's writer,
// and the rows read back.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TTestJobsDatabase {
public:
  // Creates the table and installs the module.
  TTestJobsDatabase();
  // Uninstalls and frees the module, removes the folder.
  ~TTestJobsDatabase();
  TTestJobsDatabase(const TTestJobsDatabase&) = delete;
  TTestJobsDatabase& operator=(const TTestJobsDatabase&) = delete;

  const std::string& Folder() const;
  int RowCount();
  // Rows in natural order, "value|value|..." of the fields.
  std::vector<std::string> Rows(const std::vector<std::string>& fields);
  // Frees the module (the table closes) and makes it again.
  void ReopenModule();
  // The session's lock settings: how often and how long apart a lock that
  // another user holds is tried again. The defaults come back at the end.
  void SetLockSettings(uint8_t retryCount, uint16_t waitTimeMs);

private:
  struct TState;
  std::unique_ptr<TState> state;
};
