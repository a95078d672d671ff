#pragma once
// The jobs database of the road benchmark: a scratch data folder with the
// jobs table, the data module over it installed as the pending list's
// writer. Apart from the thread side, whose headers cannot meet the
// database components' in one unit.

#include <memory>
#include <string>

class TBenchJobsDatabase {
public:
  // Creates the table in a new scratch folder and installs the module.
  TBenchJobsDatabase();
  // Uninstalls the module, closes the session and removes the folder.
  ~TBenchJobsDatabase();
  TBenchJobsDatabase(const TBenchJobsDatabase&) = delete;
  TBenchJobsDatabase& operator=(const TBenchJobsDatabase&) = delete;

  int RowCount();

private:
  struct TState;
  std::unique_ptr<TState> state;
};
