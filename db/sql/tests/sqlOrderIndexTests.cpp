// A canned answer read in the order of an index that gives its ORDER BY
// instead of sorted: the same rows in the same order as the sort of a
// natural-order fill, ties included, checked against a twin table without
// indexes that is filled by the same statements.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "sqlTestSupport.h"

namespace {

class SqlOrderIndexTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE digit (n INTEGER)");
    for (int n = 0; n < 10; ++n) Exec("INSERT INTO digit VALUES (" + std::to_string(n) + ")");
    Exec("CREATE TABLE days (n INTEGER, day DATE)");
    for (int day = 1; day <= 7; ++day)
      Exec("INSERT INTO days VALUES (" + std::to_string(day) + ", '2025-01-0" + std::to_string(day) + "')");
    Exec("INSERT INTO days VALUES (0, NULL)");
    Exec("CREATE TABLE names (n INTEGER, name CHAR(10))");
    int n = 0;
    for (const char* name : {"ann", "Ann", "ANN", "bob", "Bob"})
      Exec("INSERT INTO names VALUES (" + std::to_string(n++) + ", '" + name + "')");
  }

  // 4,000 rows, each date (and NULL) 500 times, a date's rows five side by
  // side in every forty; reused: half of them deleted and their places
  // taken by rows appended after (a table with a primary key reuses them),
  // so that rows of one date no longer lie in the order they were given
  // in; in date order: appended by date, as a jobs table is.
  enum class TFill { Cycled, Reused, InDateOrder };
  void MakeTable(const std::string& name, bool indexed, TFill fill) {
    Exec("CREATE TABLE " + name + " (id INTEGER, k INTEGER, d DATE, name CHAR(10), PRIMARY KEY (id))");
    if (indexed) {
      Exec("CREATE INDEX bydate ON " + name + " (d)");
      Exec("CREATE NOCASE INDEX byname ON " + name + " (name)");
      // A descending key field in an ascending index (SQL makes only
      // wholly descending ones).
      auto cursor = NewTableCursor(directory);
      cursor->SetOpenOptions({.TableName = name, .Exclusive = true});
      cursor->Open();
      TIndexDefinition down;
      down.Name = "bydatedown";
      down.FieldNumbers = {3};
      down.FieldDescending[0] = true;
      cursor->Admin().AddIndex(down);
      cursor->Close(TTemporaryContents::Keep);
    }
    const std::string rows =
        " SELECT a.n * 1000 + b.n * 100 + y.n * 10 + m.n, b.n, y.day, m.name FROM digit a, digit b, days y, names m";
    if (fill == TFill::InDateOrder) {
      Exec("CREATE TABLE " + name + "_rows (id INTEGER, k INTEGER, d DATE, name CHAR(10))");
      Exec("INSERT INTO " + name + "_rows" + rows);
      Exec("INSERT INTO " + name + " SELECT * FROM " + name + "_rows ORDER BY d, id");
      return;
    }
    Exec("INSERT INTO " + name + rows);
    if (fill != TFill::Reused) return;
    Exec("DELETE FROM " + name + " WHERE id < 5000");
    Exec("INSERT INTO " + name + " SELECT 20000 + a.n * 10 + y.n, a.n, y.day, 'cy' FROM digit a, days y");
  }
  // Each kind of table twice, with the indexes and without, filled alike.
  struct TTables {
    const char* Label;
    const char* Indexed;
    const char* Plain;
    TFill Fill;
  };
  std::array<TTables, 3> MakeTwinTables() {
    const std::array<TTables, 3> tables = {{{"cycled", "ix", "plain", TFill::Cycled},
                                            {"reused", "ixr", "plainr", TFill::Reused},
                                            {"in date order", "ixd", "plaind", TFill::InDateOrder}}};
    for (const TTables& pair : tables) {
      MakeTable(pair.Indexed, true, pair.Fill);
      MakeTable(pair.Plain, false, pair.Fill);
    }
    return tables;
  }
};

TEST_F(SqlOrderIndexTest, IndexOrderedAnswersAreTheSortedOnes) {
  struct TCase {
    const char* Label;
    std::string Statement;  // "{T}" for the table
    bool Walked;            // the plan walks the index (table not reused)
    bool InOrder;           // and the answer was taken in its order
  };
  const TCase cases[] = {
      {"ascending, equal dates and nulls", "SELECT id, d, name FROM {T} ORDER BY d", true, true},
      {"descending key field", "SELECT id, d FROM {T} ORDER BY d DESC", true, true},
      {"date range", "SELECT id, d, name FROM {T} WHERE d BETWEEN '2025-01-03' AND '2025-01-05' ORDER BY d", true,
       true},
      {"open range, nulls left out", "SELECT id, d FROM {T} WHERE d < '2025-01-03' ORDER BY d", true, true},
      {"one date: sorted", "SELECT id, d FROM {T} WHERE d = '2025-01-02' ORDER BY d", false, false},
      {"condition on another field", "SELECT id, d FROM {T} WHERE k < 6 ORDER BY d", true, true},
      {"few rows of another field: sorted", "SELECT id, d FROM {T} WHERE k < 1 ORDER BY d", true, false},
      {"a field another index serves: sorted", "SELECT id, d FROM {T} WHERE name = 'ann' ORDER BY d", false, false},
      {"exact-case order, index ignoring case", "SELECT id, name FROM {T} ORDER BY name", false, false},
      {"order ignoring case: ties unproven", "SELECT id, name FROM {T} ORDER BY name NOCASE", true, false},
      {"distinct", "SELECT DISTINCT d FROM {T} ORDER BY d", false, false},
  };
  const std::array<TTables, 3> tables = MakeTwinTables();
  auto text = [](std::string statement, const std::string& table) {
    return statement.replace(statement.find("{T}"), 3, table);
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Label);
    for (const TTables& pair : tables) {
      SCOPED_TRACE(pair.Label);
      const TRows sorted = Query(text(test.Statement, pair.Plain));
      TQueryStatement& statement = Prepare(text(test.Statement, pair.Indexed));
      // Executed again, as a report's query is.
      for (int execution = 0; execution < 2; ++execution) EXPECT_EQ(Rows(statement.Execute()), sorted);
      if (pair.Fill != TFill::Reused) {
        EXPECT_EQ(statement.MainQuery().Plan.Joins.WalkOrder, test.Walked);
        EXPECT_EQ(statement.MainQuery().Run.Joins.Ordered, test.InOrder);
      }
    }
  }
  // Changed between two executions by another session, and then inside a
  // transaction, whose changed records wait in memory: renamed rows, rows
  // deleted and rows added in their places, each twin alike.
  TDataSession* other = nullptr;
  CreateEngineSession(other);
  const std::unique_ptr<TDataSession, void (*)(TDataSession*)> owned(other, FreeEngineSession);
  other->SetPrivateDirectory(folder + "/");
  TDataDirectory* otherDirectory = other->OpenDirectory("", folder);
  // The rows added take dates of their own, so that the places they reuse
  // leave the ties in the order a fill gives them and the walk holds.
  auto change = [&](const std::string& table, int round, bool inOtherSession) {
    std::vector<std::string> changes = {
        "UPDATE " + table + " SET name = 'changed" + std::to_string(round) + "' WHERE k = " + std::to_string(round),
        "DELETE FROM " + table + " WHERE k = " + std::to_string(round + 4) + " AND d > '2025-01-03'"};
    for (int day = 1; day <= 9; ++day)
      changes.push_back("INSERT INTO " + table + " VALUES (" + std::to_string(30000 + round * 100 + day) + ", " +
                        std::to_string(day) + ", '2025-0" + std::to_string(round + 2) + "-0" + std::to_string(day) +
                        "', 'new')");
    for (const std::string& text : changes) {
      if (!inOtherSession) {
        Exec(text);
        continue;
      }
      TQueryStatement statement(otherDirectory);
      int32_t position = 0;
      statement.Prepare(text, position);
      statement.Execute();
    }
  };
  for (const TTables& pair : tables) {
    SCOPED_TRACE(pair.Label);
    const std::string walked = "SELECT id, d, name FROM {T} ORDER BY d";
    TQueryStatement& statement = Prepare(text(walked, pair.Indexed));
    EXPECT_EQ(Rows(statement.Execute()), Query(text(walked, pair.Plain)));
    for (const bool inTransaction : {false, true}) {
      SCOPED_TRACE(inTransaction ? "in a transaction" : "by another session");
      if (inTransaction) directory->StartTransaction();
      for (const char* table : {pair.Indexed, pair.Plain}) change(table, inTransaction ? 2 : 1, !inTransaction);
      EXPECT_EQ(Rows(statement.Execute()), Query(text(walked, pair.Plain)));
      if (pair.Fill != TFill::Reused) {
        EXPECT_TRUE(statement.MainQuery().Run.Joins.Ordered);
      }
      if (inTransaction) directory->Commit(true);
    }
  }
  // The reused table's rows of one date are out of their given order: an
  // index walk gives them in that order, so the rows above were equal only
  // because the walk saw the ties disagree and the answer was sorted.
  const TRows sorted = Query("SELECT id, d FROM plainr ORDER BY d");
  bool outOfOrder = false;
  for (size_t i = 1; i < sorted.size(); ++i) {
    const auto bar = sorted[i].find('|');
    outOfOrder = outOfOrder || (sorted[i].substr(bar) == sorted[i - 1].substr(sorted[i - 1].find('|')) &&
                                std::stoi(sorted[i]) < std::stoi(sorted[i - 1]));
  }
  EXPECT_TRUE(outOfOrder);
}


// A BETWEEN on the order index's first field is that index's range: the
// walk reads the stretch alone, the other conditions tested as it reads
// each record, and nothing is sorted. Where the ties of a reused table
// break the walk's order, the stretch holds as a filter in natural order.
TEST_F(SqlOrderIndexTest, ARangeOfTheOrderIndexWalkedAloneGivesTheSortedRows) {
  const std::array<TTables, 3> tables = MakeTwinTables();
  // Where the answer goes: its records against the bound of what an answer
  // in memory holds, the served stretch's records (S) at R bytes each.
  enum class TBound { Program, StretchFits, StretchJustPast, StretchFarPast };
  struct TCase {
    const char* Label;
    std::string Statement;  // "{T}" for the table
    bool Stretch;           // the walk takes the BETWEEN as its range
    TBound Bound = TBound::Program;
  };
  const std::string middle = "d BETWEEN '2025-01-02' AND '2025-01-06'";
  const TCase cases[] = {
      {"inside, the edges' dates included", "SELECT id, d, name FROM {T} WHERE " + middle + " ORDER BY d", true},
      {"every date, nulls left out", "SELECT id, d FROM {T} WHERE d BETWEEN '2025-01-01' AND '2025-01-07' ORDER BY d",
       true},
      {"bounds past both ends", "SELECT id, d FROM {T} WHERE d BETWEEN '2024-01-01' AND '2026-01-01' ORDER BY d", true},
      {"one date", "SELECT id, d, k FROM {T} WHERE d BETWEEN '2025-01-04' AND '2025-01-04' ORDER BY d", true},
      {"empty: bounds turned round", "SELECT id, d FROM {T} WHERE d BETWEEN '2025-01-05' AND '2025-01-03' ORDER BY d",
       true},
      {"empty: between two dates", "SELECT id, d FROM {T} WHERE d BETWEEN '2025-01-08' AND '2025-02-28' ORDER BY d",
       true},
      {"empty: below every date, where the nulls' keys are",
       "SELECT id, d FROM {T} WHERE d BETWEEN '1900-01-01' AND '2024-12-31' ORDER BY d", true},
      {"other conditions tested in the loop",
       "SELECT id, d, name FROM {T} WHERE k < 6 AND " + middle + " AND k <> 3 ORDER BY d", true},
      {"a loop test that passes nothing", "SELECT id, d FROM {T} WHERE k > 20 AND " + middle + " ORDER BY d", true},
      {"descending key field: sorted", "SELECT id, d FROM {T} WHERE " + middle + " ORDER BY d DESC", false},
      {"no ORDER BY: natural order", "SELECT id, d, name FROM {T} WHERE " + middle, false},
      {"an OR beside the range: sorted",
       "SELECT id, d FROM {T} WHERE " + middle + " AND (d = '2025-01-02' OR d = '2025-01-05') ORDER BY d", false},
      {"stretch fits memory", "SELECT id, d, name FROM {T} WHERE k >= 0 AND " + middle + " ORDER BY d", true,
       TBound::StretchFits},
      {"stretch just past: moves at its last row",
       "SELECT id, d, name FROM {T} WHERE k >= 0 AND " + middle + " ORDER BY d", true, TBound::StretchJustPast},
      {"stretch far past: on disk at once", "SELECT id, d, name FROM {T} WHERE k >= 0 AND " + middle + " ORDER BY d",
       true, TBound::StretchFarPast},
  };
  auto text = [](std::string statement, const std::string& table) {
    return statement.replace(statement.find("{T}"), 3, table);
  };
  auto shape = [](TTableCursor* cursor) {
    std::string types;
    for (int position = 1; position <= cursor->Fields().FieldListCount(); ++position)
      types += std::to_string(cursor->Fields().FieldAt(position)->Type) + " ";
    return FieldNames(cursor) + " " + types;
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Label);
    for (const TTables& pair : tables) {
      SCOPED_TRACE(pair.Label);
      TQueryStatement& plain = Prepare(text(test.Statement, pair.Plain));
      const TRows sorted = Rows(plain.Execute());
      TQueryStatement& statement = Prepare(text(test.Statement, pair.Indexed));
      TDataQuery& query = statement.MainQuery();
      if (test.Bound != TBound::Program) {
        const int64_t stretch = std::stoll(
            Query(text("SELECT COUNT(*) FROM {T} WHERE " + middle, pair.Plain)).front());
        const int64_t bytes = stretch * query.Run.Answer->Fields().CursorRecordSize();
        query.Run.MaxAnswerFillBytes = test.Bound == TBound::StretchFits       ? 4 * bytes
                                       : test.Bound == TBound::StretchJustPast ? 4 * bytes - 4
                                                                               : 2 * bytes;
      }
      for (int execution = 0; execution < 2; ++execution) {
        TTableCursor* answer = statement.Execute();
        EXPECT_EQ(Rows(answer), sorted);
        EXPECT_EQ(shape(answer), shape(plain.MainQuery().Run.ResultCursor));
        EXPECT_EQ(query.Plan.Live, plain.MainQuery().Plan.Live);
        EXPECT_EQ(query.Run.Joins.StretchFilter != nullptr, test.Stretch);
        if (test.Stretch && pair.Fill != TFill::Reused) {
          EXPECT_TRUE(query.Run.Joins.Ordered);
        }
      }
    }
  }
  // Rows moved across the range's edges, deleted inside it and added in
  // it by another session between two executions, each twin alike.
  for (const TTables& pair : tables) {
    SCOPED_TRACE(pair.Label);
    const std::string walked = "SELECT id, d, name FROM {T} WHERE k < 8 AND " + middle + " ORDER BY d";
    TQueryStatement& statement = Prepare(text(walked, pair.Indexed));
    EXPECT_EQ(Rows(statement.Execute()), Query(text(walked, pair.Plain)));
    for (const char* table : {pair.Indexed, pair.Plain}) {
      const std::string name = table;
      ExecInAnotherSession({"UPDATE " + name + " SET d = '2025-01-06' WHERE k = 1 AND d = '2025-01-07'",
                            "UPDATE " + name + " SET d = '2025-01-01' WHERE k = 2 AND d = '2025-01-02'",
                            "DELETE FROM " + name + " WHERE k = 3 AND d = '2025-01-04'",
                            "INSERT INTO " + name + " VALUES (40001, 4, '2025-01-03', 'new')",
                            "INSERT INTO " + name + " VALUES (40002, 9, '2025-01-03', 'new')"});
    }
    EXPECT_EQ(Rows(statement.Execute()), Query(text(walked, pair.Plain)));
  }
}

}  // namespace
