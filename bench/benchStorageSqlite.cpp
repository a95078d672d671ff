// The workloads' operations over SQLite: one database file per table, WAL
// with synchronous off, the jobs table's indexes with NOCASE text columns.

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <stdexcept>

#include "benchStorageEngine.h"

namespace {

constexpr const char* CreateStatements[] = {
    "CREATE TABLE jobs (RecRef INTEGER PRIMARY KEY AUTOINCREMENT, JobDate INTEGER NOT NULL,"
    " JobTime INTEGER NOT NULL, JobID INTEGER NOT NULL, MachineName TEXT COLLATE NOCASE,"
    " PrinterName TEXT COLLATE NOCASE, JobOwner TEXT COLLATE NOCASE, PagesPrinted INTEGER, TotalPages INTEGER,"
    " BytesPrinted INTEGER, JobSize INTEGER, Document TEXT, JobStatus INTEGER, JobPrinted INTEGER)",
    "CREATE INDEX ByDate ON jobs (JobDate, JobTime, JobID)",
    "CREATE UNIQUE INDEX ByOwner ON jobs (JobOwner, JobDate, JobTime, JobID, PrinterName)",
    "CREATE UNIQUE INDEX ByPrinter ON jobs (PrinterName, JobDate, JobTime, JobID, JobOwner)",
    "CREATE UNIQUE INDEX ByComputer ON jobs (MachineName, JobDate, JobTime, JobID, JobOwner, PrinterName)",
};

constexpr const char* Columns =
    "RecRef, JobDate, JobTime, JobID, MachineName, PrinterName, JobOwner, PagesPrinted, TotalPages,"
    " BytesPrinted, JobSize, JobStatus, JobPrinted, Document";
constexpr int DocumentColumn = 13;

std::string Select(const std::string& tail, bool withDocument) {
  std::string columns = Columns;
  if (!withDocument) columns.resize(columns.rfind(','));
  return "SELECT " + columns + " FROM jobs " + tail;
}

// Equality on every field of the index, so that the index serves it.
std::string KeyCondition(TJobOrder index) {
  switch (index) {
    case TJobOrder::Primary: return "WHERE RecRef = ?1";
    case TJobOrder::ByDate: return "WHERE JobDate = ?2 AND JobTime = ?3 AND JobID = ?4";
    case TJobOrder::ByOwner:
      return "WHERE JobOwner = ?7 AND JobDate = ?2 AND JobTime = ?3 AND JobID = ?4 AND PrinterName = ?6";
    case TJobOrder::ByPrinter:
      return "WHERE PrinterName = ?6 AND JobDate = ?2 AND JobTime = ?3 AND JobID = ?4 AND JobOwner = ?7";
    case TJobOrder::ByComputer:
      return "WHERE MachineName = ?5 AND JobDate = ?2 AND JobTime = ?3 AND JobID = ?4 AND JobOwner = ?7"
             " AND PrinterName = ?6";
    case TJobOrder::Natural: break;
  }
  throw std::logic_error("no key for natural order");
}

std::string OrderClause(TJobOrder order) {
  switch (order) {
    case TJobOrder::Natural: return "";
    case TJobOrder::Primary: return "ORDER BY RecRef";
    case TJobOrder::ByDate: return "ORDER BY JobDate, JobTime, JobID";
    case TJobOrder::ByOwner: return "ORDER BY JobOwner, JobDate, JobTime, JobID, PrinterName";
    case TJobOrder::ByPrinter: return "ORDER BY PrinterName, JobDate, JobTime, JobID, JobOwner";
    case TJobOrder::ByComputer: return "ORDER BY MachineName, JobDate, JobTime, JobID, JobOwner, PrinterName";
  }
  return "";
}

class TSqliteEngine : public TStorageEngine {
public:
  explicit TSqliteEngine(const std::string& folder) : folder(folder) {}
  ~TSqliteEngine() override { Close(); }

  void Create(const std::string& table) override {
    Close();
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(PathOf(table) + suffix);
    Open(table, false);
    for (const char* statement : CreateStatements) Execute(statement);
    Close();
  }

  void Open(const std::string& table, bool) override {
    Close();
    if (sqlite3_open_v2(PathOf(table).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
      Fail("open");
    sqlite3_busy_timeout(db, 10000);
    Execute("PRAGMA journal_mode = WAL");
    Execute("PRAGMA synchronous = OFF");
  }
  void Close() override {
    for (auto& [text, statement] : statements) sqlite3_finalize(statement);
    statements.clear();
    if (db) sqlite3_close(db);
    db = nullptr;
  }
  void BeginBatch() override { Execute("BEGIN"); }
  void EndBatch() override { Execute("COMMIT"); }
  // Each statement reads the newest committed state anyway.
  void WatchOtherWriters() override {}
  // Every open starts from the files alone.
  void ForgetEarlierOpens() override {}

  void Append(const TJobRow& row) override {
    sqlite3_stmt* insert = Prepare(
        "INSERT INTO jobs (JobDate, JobTime, JobID, MachineName, PrinterName, JobOwner, PagesPrinted, TotalPages,"
        " BytesPrinted, JobSize, Document, JobStatus, JobPrinted) VALUES (?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11,"
        " ?12, ?13, ?14)");
    BindRow(insert, row);
    sqlite3_bind_text(insert, 12, row.Document.data(), int(row.Document.size()), SQLITE_STATIC);
    sqlite3_bind_int(insert, 13, row.JobStatus);
    sqlite3_bind_int(insert, 14, row.JobPrinted);
    Done(insert);
  }

  bool Find(TJobOrder index, const TJobRow& key, TJobRow& found) override {
    sqlite3_stmt* select = Prepare(Select(KeyCondition(index), false));
    BindRow(select, key);
    const bool hit = sqlite3_step(select) == SQLITE_ROW;
    if (hit) Read(select, found, false);
    sqlite3_reset(select);
    return hit;
  }

  void Scan(TJobOrder order, bool withDocument, const TRowVisitor& visit) override {
    sqlite3_stmt* select = Prepare(Select(OrderClause(order), withDocument));
    TJobRow row;
    int result;
    while ((result = sqlite3_step(select)) == SQLITE_ROW) {
      Read(select, row, withDocument);
      visit(row);
    }
    sqlite3_reset(select);
    if (result != SQLITE_DONE) Fail("scan");
  }

  void ReadNewest(int count, std::vector<TJobRow>& rows) override {
    rows.clear();
    sqlite3_stmt* select = Prepare(Select("ORDER BY RecRef DESC LIMIT ?1", false));
    sqlite3_bind_int(select, 1, count);
    TJobRow row;
    while (sqlite3_step(select) == SQLITE_ROW) {
      Read(select, row, false);
      rows.push_back(row);
    }
    sqlite3_reset(select);
  }

  bool CountDates(int32_t firstDay, int32_t lastDay, int64_t& count) override {
    sqlite3_stmt* select = Prepare("SELECT COUNT(*) FROM jobs WHERE JobDate >= ?1 AND JobDate <= ?2");
    sqlite3_bind_int(select, 1, firstDay);
    sqlite3_bind_int(select, 2, lastDay);
    count = SingleInteger(select);
    return true;
  }
  bool CountNotPrinted(int64_t& count) override {
    count = SingleInteger(Prepare("SELECT COUNT(*) FROM jobs WHERE JobPrinted = 0"));
    return true;
  }

  bool ChangeOwner(int32_t recRef, const std::string& owner) override {
    sqlite3_stmt* update = Prepare("UPDATE jobs SET JobOwner = ?2 WHERE RecRef = ?1");
    sqlite3_bind_int(update, 1, recRef);
    sqlite3_bind_text(update, 2, owner.data(), int(owner.size()), SQLITE_STATIC);
    Done(update);
    return sqlite3_changes(db) == 1;
  }

  bool Delete(int32_t recRef, TJobRow& deleted) override {
    sqlite3_stmt* select = Prepare(Select("WHERE RecRef = ?1", true));
    sqlite3_bind_int(select, 1, recRef);
    const bool hit = sqlite3_step(select) == SQLITE_ROW;
    if (hit) Read(select, deleted, true);
    sqlite3_reset(select);
    if (!hit) return false;
    sqlite3_stmt* remove = Prepare("DELETE FROM jobs WHERE RecRef = ?1");
    sqlite3_bind_int(remove, 1, recRef);
    Done(remove);
    return sqlite3_changes(db) == 1;
  }

  int64_t TableBytes(const std::string& table) override {
    int64_t bytes = 0;
    for (const char* suffix : {"", "-wal"}) {
      const std::filesystem::path path = PathOf(table) + suffix;
      if (std::filesystem::exists(path)) bytes += int64_t(std::filesystem::file_size(path));
    }
    return bytes;
  }

private:
  std::string folder;
  sqlite3* db = nullptr;
  std::map<std::string, sqlite3_stmt*> statements;

  std::string PathOf(const std::string& table) const { return folder + "/" + table + ".db"; }

  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("SQLite " + what + ": " + (db ? sqlite3_errmsg(db) : "no database"));
  }
  void Execute(const char* text) {
    if (sqlite3_exec(db, text, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(text);
  }
  sqlite3_stmt* Prepare(const std::string& text) {
    auto found = statements.find(text);
    if (found != statements.end()) return found->second;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, text.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail("prepare " + text);
    statements.emplace(text, statement);
    return statement;
  }
  void Done(sqlite3_stmt* statement) {
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (result != SQLITE_DONE) Fail("step");
  }
  int64_t SingleInteger(sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_ROW) Fail("count");
    const int64_t value = sqlite3_column_int64(statement, 0);
    sqlite3_reset(statement);
    return value;
  }

  // Parameters by position: ?1 RecRef to ?11 JobSize, where the statement
  // uses them.
  static void BindRow(sqlite3_stmt* statement, const TJobRow& row) {
    const int used = sqlite3_bind_parameter_count(statement);
    auto bindInt = [&](int n, int32_t value) {
      if (n <= used) sqlite3_bind_int(statement, n, value);
    };
    auto bindText = [&](int n, const std::string& text) {
      if (n <= used) sqlite3_bind_text(statement, n, text.data(), int(text.size()), SQLITE_STATIC);
    };
    bindInt(1, row.RecRef);
    bindInt(2, row.JobDate);
    bindInt(3, row.JobTime);
    bindInt(4, row.JobID);
    bindText(5, row.MachineName);
    bindText(6, row.PrinterName);
    bindText(7, row.JobOwner);
    bindInt(8, row.PagesPrinted);
    bindInt(9, row.TotalPages);
    bindInt(10, row.BytesPrinted);
    bindInt(11, row.JobSize);
  }

  static std::string Text(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? std::string(text, size_t(sqlite3_column_bytes(statement, column))) : std::string();
  }

  static void Read(sqlite3_stmt* statement, TJobRow& row, bool withDocument) {
    row.RecRef = sqlite3_column_int(statement, 0);
    row.JobDate = sqlite3_column_int(statement, 1);
    row.JobTime = sqlite3_column_int(statement, 2);
    row.JobID = sqlite3_column_int(statement, 3);
    row.MachineName = Text(statement, 4);
    row.PrinterName = Text(statement, 5);
    row.JobOwner = Text(statement, 6);
    row.PagesPrinted = sqlite3_column_int(statement, 7);
    row.TotalPages = sqlite3_column_int(statement, 8);
    row.BytesPrinted = sqlite3_column_int(statement, 9);
    row.JobSize = sqlite3_column_int(statement, 10);
    row.JobStatus = sqlite3_column_int(statement, 11);
    row.JobPrinted = sqlite3_column_int(statement, 12) != 0;
    row.Document = withDocument ? Text(statement, DocumentColumn) : std::string();
  }
};

}  // namespace

std::unique_ptr<TStorageEngine> MakeSqliteEngine(const std::string& folder) {
  return std::make_unique<TSqliteEngine>(folder);
}
