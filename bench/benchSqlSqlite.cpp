// SQLite's side: WAL with synchronous=NORMAL, statements prepared and
// stepped to the end, column values read as text. Single-row INSERTs run
// with synchronous=FULL: each commit is on disk when it returns, as ours.

#include <sqlite3.h>

#include <stdexcept>

#include "benchSqlSide.h"
#include "benchStorageData.h"

namespace {

class TSqliteSqlSide : public TSqlSide {
public:
  explicit TSqliteSqlSide(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) Fail("open");
    Execute("PRAGMA journal_mode = WAL");
    Execute("PRAGMA synchronous = NORMAL");
    Execute("CREATE TABLE printers (PrinterName TEXT COLLATE NOCASE, Floor INTEGER)");
    Execute("INSERT INTO printers SELECT DISTINCT PrinterName, 1 FROM jobs");
  }
  ~TSqliteSqlSide() override { sqlite3_close(db); }

  TSqlAnswer Run(const std::string& sql, const std::vector<int>& columns) override {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail(sql);
    TSqlAnswer answer;
    std::vector<std::string> values(columns.size());
    int result;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
      for (size_t i = 0; i < columns.size(); ++i) {
        const unsigned char* text = sqlite3_column_text(statement, columns[i]);
        values[i] = text ? reinterpret_cast<const char*>(text) : "NULL";
      }
      ++answer.Rows;
      answer.Checksum += SqlRowHash(values);
    }
    sqlite3_finalize(statement);
    if (result != SQLITE_DONE) Fail(sql);
    return answer;
  }

  void InsertJobs(int32_t first, int32_t count, int32_t total) override {
    Execute("PRAGMA synchronous = FULL");
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db,
                           "INSERT INTO jobs (JobDate, JobTime, JobID, MachineName, PrinterName, JobOwner, "
                           "PagesPrinted, TotalPages, BytesPrinted, JobSize, Document, JobStatus, JobPrinted) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                           -1, &insert, nullptr) != SQLITE_OK)
      Fail("prepare insert");
    for (int32_t n = first; n < first + count; ++n) {
      const TJobRow row = GenerateJob(n, total);
      sqlite3_bind_int(insert, 1, row.JobDate);
      sqlite3_bind_int(insert, 2, row.JobTime);
      sqlite3_bind_int(insert, 3, row.JobID);
      sqlite3_bind_text(insert, 4, row.MachineName.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 5, row.PrinterName.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 6, row.JobOwner.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 7, row.PagesPrinted);
      sqlite3_bind_int(insert, 8, row.TotalPages);
      sqlite3_bind_int(insert, 9, row.BytesPrinted);
      sqlite3_bind_int(insert, 10, row.JobSize);
      sqlite3_bind_text(insert, 11, row.Document.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 12, row.JobStatus);
      sqlite3_bind_int(insert, 13, row.JobPrinted ? 1 : 0);
      if (sqlite3_step(insert) != SQLITE_DONE) Fail("insert");
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Execute("PRAGMA synchronous = NORMAL");
  }

private:
  sqlite3* db = nullptr;

  void Execute(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error("SQLite: " + message + " in " + sql);
    }
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("SQLite: " + std::string(sqlite3_errmsg(db)) + " (" + what + ")");
  }
};

}  // namespace

std::unique_ptr<TSqlSide> MakeSqliteSqlSide(const std::string& databasePath) {
  return std::make_unique<TSqliteSqlSide>(databasePath);
}
