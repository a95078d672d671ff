// INSERT, UPDATE and DELETE: values and their checks, auto-increment,
// INSERT ... SELECT, commit intervals and the statement's transaction.

#include <filesystem>
#include <memory>
#include <utility>

#include "sqlDataChange.h"
#include "sqlTestSupport.h"

namespace {

class SqlDataChangeTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE item (id AUTOINC, name CHAR(10) NOT NULL, qty INTEGER, made DATE, note BLOB(1, 1), "
         "PRIMARY KEY (id))");
  }
};

// A statement's commit leaves the index file to the system's writing back:
// after a power loss it may hold the pages of an earlier state. The first
// open finds its trees out of step with the records and builds them again,
// so every committed row is found through the indexes as by a scan.
TEST_F(SqlDataChangeTest, CommittedRowsOutliveAnIndexFileOfAnEarlierState) {
  const char* const changes[] = {
      "INSERT INTO kept (name, qty) VALUES ('late', 4)",
      "DELETE FROM kept WHERE qty = 2",
      "UPDATE kept SET name = 'moved' WHERE qty = 3",
      "UPDATE kept SET qty = 7 - qty",
  };
  // Served by an index, and the same asked so that no index can serve it.
  const std::pair<const char*, const char*> conditions[] = {
      {"name = 'late'", "name || '' = 'late'"},
      {"name = 'moved'", "name || '' = 'moved'"},
      {"name >= 'c'", "name || '' >= 'c'"},
      {"qty = 3", "qty + 0 = 3"},
      {"qty BETWEEN 2 AND 5", "qty + 0 BETWEEN 2 AND 5"},
  };
  const std::filesystem::path index = std::filesystem::path(folder) / "kept.IDX";
  const std::filesystem::path earlier = std::filesystem::path(folder) / "earlier.bytes";
  for (const char* change : changes) {
    Exec("CREATE TABLE kept (id AUTOINC, name CHAR(10), qty INTEGER, PRIMARY KEY (id))");
    Exec("CREATE INDEX byname ON kept (name)");
    Exec("CREATE INDEX byqty ON kept (qty)");
    for (const char* row : {"('a', 1)", "('b', 2)", "('c', 3)", "('d', 2)", "('e', 5)", "('f', 6)"})
      Exec(std::string("INSERT INTO kept (name, qty) VALUES ") + row);
    ASSERT_TRUE(std::filesystem::exists(index));
    std::filesystem::copy_file(index, earlier, std::filesystem::copy_options::overwrite_existing);
    Exec(change);
    std::filesystem::copy_file(earlier, index, std::filesystem::copy_options::overwrite_existing);
    for (const auto& [served, scanned] : conditions)
      EXPECT_EQ(Query(std::string("SELECT id, name, qty FROM kept WHERE ") + served + " ORDER BY id"),
                Query(std::string("SELECT id, name, qty FROM kept WHERE ") + scanned + " ORDER BY id"))
          << change << ": " << served;
    EXPECT_EQ(Query("SELECT COUNT(*) FROM kept WHERE qty > 0"), Query("SELECT COUNT(*) FROM kept WHERE qty + 0 > 0"))
        << change;
    Exec("DROP TABLE kept");
  }
}

TEST_F(SqlDataChangeTest, InsertValuesAndDefaults) {
  Exec("CREATE TABLE d (a INTEGER DEFAULT 7, b CHAR(5))");
  EXPECT_EQ(Exec("INSERT INTO d (b) VALUES ('x')"), 1);
  EXPECT_EQ(Exec("INSERT INTO d VALUES (NULL, 'y')"), 1);
  EXPECT_EQ(Query("SELECT a, b FROM d"), (TRows{"7|x", "NULL|y"}));
  // Texts longer than the column are cut; numbers convert to the column.
  Exec("INSERT INTO d VALUES (2.0, 'abcdefgh')");
  EXPECT_EQ(Query("SELECT a, b FROM d WHERE a = 2"), (TRows{"2|abcde"}));
}

TEST_F(SqlDataChangeTest, AutoIncrementAndNoAutoInc) {
  Exec("INSERT INTO item (name) VALUES ('a')");
  Exec("INSERT INTO item (name) VALUES ('b')");
  Exec("INSERT INTO item (id, name) VALUES (50, 'c')");
  Exec("INSERT INTO item (id, name) VALUES (60, 'd') NOAUTOINC");
  EXPECT_EQ(Query("SELECT id, name FROM item ORDER BY name"), (TRows{"1|a", "2|b", "3|c", "60|d"}));
}

TEST_F(SqlDataChangeTest, BlobValuesAreWrittenAndRead) {
  Exec("INSERT INTO item (name, note) VALUES ('a', 'a memo text')");
  EXPECT_EQ(Query("SELECT note FROM item"), (TRows{"a memo text"}));
  Exec("UPDATE item SET note = 'changed'");
  EXPECT_EQ(Query("SELECT name, note FROM item"), (TRows{"a|changed"}));
}

TEST_F(SqlDataChangeTest, ValueChecks) {
  EXPECT_EQ(SqlError("INSERT INTO item (name, qty, made) VALUES ('a', 1)"),
            "The number of values must match the number of table columns");
  EXPECT_EQ(SqlError("INSERT INTO item (name, made) VALUES ('a', 'abc')"),
            "Date, time, or timestamp expression expected, instead found ''abc'' in update values");
  EXPECT_EQ(SqlError("INSERT INTO item (name, qty) VALUES ('a', TRUE)"),
            "Type mismatch between column 'qty' and constant 'TRUE' in update values");
  EXPECT_EQ(SqlError("INSERT INTO item (nope) VALUES (1)"),
            "Invalid column name 'nope' or table correlation name '' specified in table columns");
  EXPECT_EQ(SqlError("UPDATE item SET qty = 'many'"),
            "Type mismatch between column 'qty' and constant ''many'' in update values");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM item"), (TRows{"0"}));
  // A required column left blank is the engine's constraint error.
  EXPECT_EQ(ErrorOf("INSERT INTO item (qty) VALUES (1)").substr(0, 6), "9732: ");
  // Date texts are read by the table's language, for every value.
  Exec("CREATE TABLE g (a DATE, b DATE, LANGUAGE 'German (Standard)')");
  EXPECT_EQ(Exec("INSERT INTO g VALUES ('24.12.2025', '01.02.2026')"), 1);
  EXPECT_EQ(Exec("UPDATE g SET b = '02.03.2026'"), 1);
  EXPECT_EQ(Query("SELECT EXTRACT(MONTH FROM a), EXTRACT(DAY FROM b) FROM g"), (TRows{"12|2"}));
}

TEST_F(SqlDataChangeTest, UpdateReadsTheCurrentRecord) {
  for (int i = 1; i <= 5; ++i) Exec("INSERT INTO item (name, qty) VALUES ('n" + std::to_string(i) + "', " + std::to_string(i) + ")");
  EXPECT_EQ(Exec("UPDATE item SET qty = qty * 10, name = name || 'x' WHERE qty >= 4"), 2);
  EXPECT_EQ(Query("SELECT name, qty FROM item ORDER BY qty"), (TRows{"n1|1", "n2|2", "n3|3", "n4x|40", "n5x|50"}));
  // A change that takes the record out of the WHERE still walks on.
  EXPECT_EQ(Exec("UPDATE item SET qty = 0 WHERE qty < 10"), 3);
  EXPECT_EQ(Query("SELECT COUNT(*) FROM item WHERE qty = 0"), (TRows{"3"}));
}

TEST_F(SqlDataChangeTest, DeleteWalksEveryQualifyingRecord) {
  for (int i = 1; i <= 6; ++i) Exec("INSERT INTO item (name, qty) VALUES ('n', " + std::to_string(i) + ")");
  EXPECT_EQ(Exec("DELETE FROM item WHERE qty <= 3 OR qty = 5"), 4);
  EXPECT_EQ(Query("SELECT qty FROM item ORDER BY qty"), (TRows{"4", "6"}));
  EXPECT_EQ(Exec("DELETE FROM item x"), 2);
  EXPECT_EQ(Query("SELECT COUNT(*) FROM item"), (TRows{"0"}));
}

// Which field each value goes to: columns in any order, qualified by the
// table's own name, named twice (the last value stays); the mismatches are
// refused before a row is written.
TEST_F(SqlDataChangeTest, EachValueGoesToTheFieldItsColumnNames) {
  EXPECT_EQ(Exec("INSERT INTO item (qty, name) VALUES (3, 'a')"), 1);
  EXPECT_EQ(Exec("INSERT INTO item i (i.qty, name, qty) VALUES (4, 'b', 5)"), 1);
  EXPECT_EQ(Exec("INSERT INTO item (name, qty) SELECT name || 'c', qty * 10 FROM item WHERE qty = 3"), 1);
  EXPECT_EQ(Exec("UPDATE item SET qty = 6, qty = qty + 1 WHERE name = 'a'"), 1);
  EXPECT_EQ(Query("SELECT name, qty FROM item ORDER BY name"), (TRows{"a|4", "ac|30", "b|5"}));
  const std::pair<const char*, const char*> refused[] = {
      {"INSERT INTO item i (x.qty) VALUES (1)",
       "Invalid column name 'qty' or table correlation name 'x' specified in table columns"},
      {"INSERT INTO item (name, qty) SELECT name FROM item",
       "The number of values must match the number of table columns"},
      {"INSERT INTO item SELECT name, qty FROM item",
       "The number of values must match the number of table columns"},
  };
  for (const auto& [sql, message] : refused) EXPECT_EQ(SqlError(sql), message) << sql;
  EXPECT_EQ(Query("SELECT COUNT(*) FROM item"), (TRows{"3"}));
}

TEST_F(SqlDataChangeTest, InsertFromASelectOfTheSameTableReadsACopy) {
  for (int i = 1; i <= 3; ++i) Exec("INSERT INTO item (name, qty) VALUES ('n', " + std::to_string(i) + ")");
  EXPECT_EQ(Exec("INSERT INTO item (name, qty) SELECT name, qty + 100 FROM item"), 3);
  EXPECT_EQ(Query("SELECT qty FROM item ORDER BY qty"), (TRows{"1", "2", "3", "101", "102", "103"}));
  EXPECT_EQ(SqlError("INSERT INTO item (name) SELECT name, qty FROM item"),
            "The number of values must match the number of table columns");
}

TEST_F(SqlDataChangeTest, DefaultCommitIntervalKeepsAboutQuarterMegabyte) {
  EXPECT_EQ(DefaultCommitInterval(100), 2621);
  EXPECT_EQ(DefaultCommitInterval(10), 8191);
  EXPECT_EQ(DefaultCommitInterval(300000), 1);
}

TEST_F(SqlDataChangeTest, AFailedRowLeavesTheTableAsBefore) {
  Exec("CREATE TABLE u (k INTEGER, v INTEGER, PRIMARY KEY (k))");
  for (int i = 1; i <= 5; ++i) Exec("INSERT INTO u VALUES (" + std::to_string(i) + ", " + std::to_string(i) + ")");
  // The third row's new key collides: nothing of the statement stays.
  EXPECT_EQ(ErrorOf("UPDATE u SET k = 4 WHERE k >= 2").substr(0, 6), "9729: ");
  EXPECT_EQ(Query("SELECT k, v FROM u ORDER BY k"), (TRows{"1|1", "2|2", "3|3", "4|4", "5|5"}));
}

TEST_F(SqlDataChangeTest, CommitStepsKeepWhatWasWritten) {
  Exec("CREATE TABLE u (k INTEGER, PRIMARY KEY (k))");
  Exec("INSERT INTO u VALUES (3)");
  Exec("CREATE TABLE src (k INTEGER)");
  for (int k : {1, 2, 3, 4}) Exec("INSERT INTO src VALUES (" + std::to_string(k) + ")");
  EXPECT_EQ(ErrorOf("INSERT INTO u SELECT k FROM src COMMIT INTERVAL 1").substr(0, 6), "9729: ");
  EXPECT_EQ(Query("SELECT k FROM u ORDER BY k"), (TRows{"1", "2", "3"}));
  Exec("DELETE FROM u WHERE k <> 3");
  EXPECT_EQ(ErrorOf("INSERT INTO u SELECT k FROM src").substr(0, 6), "9729: ");
  EXPECT_EQ(Query("SELECT k FROM u ORDER BY k"), (TRows{"3"}));
}

// A single-row INSERT keeps the table's write lock from its row to its
// commit. Another session, which meets this one only through the locks as
// another process would, must find the table free as soon as each
// statement returns, after one refused by a duplicate key too, while the
// statements keep the table open; each session sees the other's rows.
TEST_F(SqlDataChangeTest, ASingleRowInsertLeavesTheTableFreeWhenItReturns) {
  Exec("CREATE TABLE u (k INTEGER, v INTEGER, PRIMARY KEY (k))");
  TDataSession* other = nullptr;
  CreateEngineSession(other);
  const std::unique_ptr<TDataSession, void (*)(TDataSession*)> owned(other, FreeEngineSession);
  other->LockRetryCount = 1;
  other->LockWaitTime = 5;
  other->SetPrivateDirectory(folder + "/");
  TDataDirectory* otherDirectory = other->OpenDirectory("", folder);
  auto otherExec = [&](const std::string& text) {
    TQueryStatement statement(otherDirectory);
    int32_t position = 0;
    statement.Prepare(text, position);
    return Rows(statement.Execute());
  };
  for (int k = 1; k <= 4; ++k) {
    SCOPED_TRACE(k);
    const std::string row = std::to_string(k);
    Prepare("INSERT INTO u VALUES (" + row + ", " + row + ")").Execute();
    TQueryStatement& duplicate = Prepare("INSERT INTO u VALUES (" + row + ", 0)");
    EXPECT_THROW(duplicate.Execute(), EEngineError);
    EXPECT_NO_THROW(otherExec("INSERT INTO u VALUES (" + std::to_string(100 + k) + ", " + row + ")"));
    EXPECT_EQ(Query("SELECT COUNT(*) FROM u"), (TRows{std::to_string(2 * k)}));
    EXPECT_EQ(otherExec("SELECT SUM(v) FROM u"), (TRows{std::to_string(k * (k + 1))}));
  }
  statements.clear();
}

TEST_F(SqlDataChangeTest, AnOpenTransactionIsLeftToItsOwner) {
  Exec("CREATE TABLE u (k INTEGER)");
  directory->StartTransaction();
  TQueryStatement& insert = Prepare("INSERT INTO u VALUES (1)");
  insert.Execute();
  EXPECT_EQ(insert.GetRecordCount(), 1);
  EXPECT_TRUE(directory->InTransaction());
  directory->Rollback();
  statements.clear();
  EXPECT_EQ(Query("SELECT COUNT(*) FROM u"), (TRows{"0"}));
}

}  // namespace

// A change that moves a row out of its WHERE (or further along the index
// the filter uses) reaches every qualifying row once, whatever the index or
// the commit interval.
TEST_F(SqlDataChangeTest, EveryQualifyingRowChangesOnce) {
  struct TStep {
    const char* statement;
    int32_t changed;
    const char* check;
    const char* expected;
  };
  const TStep steps[] = {
      {"UPDATE t SET k = 'x' WHERE k IS NULL", 10, "SELECT COUNT(*) FROM t WHERE k = 'x'", "10"},
      {"UPDATE t SET n = n + 100 WHERE n < 50", 9, "SELECT COUNT(*) FROM t WHERE n > 100", "9"},
      {"UPDATE t SET n = n + 1 WHERE n < 1000", 10, "SELECT SUM(n) FROM t", "1185"},
      {"UPDATE t SET k = 'a' WHERE k > 'b'", 10, "SELECT COUNT(*) FROM t WHERE k = 'a'", "10"},
      {"INSERT INTO t (id, k, n) SELECT id + 100, k, n FROM t", 10, "SELECT COUNT(*) FROM t", "20"},
      {"INSERT INTO t SELECT * FROM t WHERE id > 100", 10, "SELECT COUNT(*) FROM t WHERE id > 100", "20"},
      {"DELETE FROM t WHERE n > 100", 27, "SELECT COUNT(*) FROM t", "3"},
      {"DELETE FROM t WHERE k = 'a'", 3, "SELECT COUNT(*) FROM t", "0"},
  };
  for (const char* index : {"", "CREATE INDEX byk ON t (k)", "CREATE INDEX byn ON t (n)"})
    for (const char* interval : {"", " COMMIT INTERVAL 3"}) {
      SCOPED_TRACE(std::string(index) + interval);
      Exec("CREATE TABLE t (id INTEGER, k CHAR(5), n INTEGER)");
      if (*index) Exec(index);
      for (int i = 1; i <= 10; ++i)
        Exec("INSERT INTO t (id, n) VALUES (" + std::to_string(i) + ", " + std::to_string(i * 5) + ")");
      for (const TStep& step : steps) {
        SCOPED_TRACE(step.statement);
        EXPECT_EQ(Exec(step.statement + std::string(interval)), step.changed);
        EXPECT_EQ(Query(step.check), (TRows{step.expected}));
      }
      Exec("DROP TABLE t");
    }
}

namespace {

// A value a column cannot hold is refused with the statement's message and
// nothing of the statement stays; a number is never wrapped into another.
TEST_F(SqlDataChangeTest, ValuesAColumnCannotHoldAreRefused) {
  Exec("CREATE TABLE v (id INTEGER, small SMALLINT, made DATE)");
  Exec("INSERT INTO v VALUES (40000, 1, '2024-01-01')");
  const std::pair<const char*, const char*> cases[] = {
      {"INSERT INTO v (small) VALUES (100000)",
       "Type mismatch between column small and constant value 100000 in INSERT statement"},
      {"INSERT INTO v (small) VALUES (-32769)",
       "Type mismatch between column small and constant value -32769 in INSERT statement"},
      {"INSERT INTO v (small) SELECT id FROM v", "Type mismatch between column small and constant value id in INSERT statement"},
      {"INSERT INTO v (made) SELECT name FROM item", ""},
      {"UPDATE v SET small = id", "Type mismatch between column small and constant value id in UPDATE statement"},
      {"UPDATE v SET small = small * 40000", "Type mismatch between column small and constant value small * 40000 in UPDATE statement"},
  };
  Exec("INSERT INTO item (name) VALUES ('x')");
  for (const auto& [text, message] : cases) {
    if (*message) EXPECT_EQ(SqlError(text), message);
    else EXPECT_EQ(SqlError(text), "Type mismatch between column made and constant value name in INSERT statement");
  }
  EXPECT_EQ(Query("SELECT id, small FROM v"), (TRows{"40000|1"}));
  EXPECT_EQ(Exec("INSERT INTO v (small) VALUES (-32768)"), 1);
  EXPECT_EQ(Query("SELECT small FROM v WHERE id IS NULL"), (TRows{"-32768"}));
}

}  // namespace
