#pragma once
// One engine's side of the SQL benchmark: it runs a statement, reads every
// row and answers the row count and a checksum over the chosen columns
// (a sum of row hashes, so that the order of equal keys does not matter).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TSqlAnswer {
  int64_t Rows = 0;
  uint64_t Checksum = 0;
};

class TSqlSide {
public:
  virtual ~TSqlSide() = default;
  // columns: 0-based result columns whose values go into the checksum,
  // as text (numbers in decimal, dates as day numbers).
  virtual TSqlAnswer Run(const std::string& sql, const std::vector<int>& columns) = 0;
  // count single-row INSERTs of rows first.. into the jobs table, each its
  // own statement execution, prepared once.
  virtual void InsertJobs(int32_t first, int32_t count, int32_t total) = 0;
};

// The jobs table is already filled (the storage benchmark's engines made
// it); the printers table is made here.
std::unique_ptr<TSqlSide> MakeOurSqlSide(const std::string& folder);
std::unique_ptr<TSqlSide> MakeSqliteSqlSide(const std::string& databasePath);

uint64_t SqlRowHash(const std::vector<std::string>& values);
