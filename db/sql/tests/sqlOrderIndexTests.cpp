// A canned answer read in the order of an index that gives its ORDER BY
// instead of sorted: the same rows in the same order as the sort of a
// natural-order fill, ties included, checked against a twin table without
// indexes that is filled by the same statements.

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
  struct TTables {
    const char* Label;
    const char* Indexed;
    const char* Plain;
    TFill Fill;
  };
  const TTables tables[] = {{"cycled", "ix", "plain", TFill::Cycled},
                            {"reused", "ixr", "plainr", TFill::Reused},
                            {"in date order", "ixd", "plaind", TFill::InDateOrder}};
  for (const TTables& pair : tables) {
    MakeTable(pair.Indexed, true, pair.Fill);
    MakeTable(pair.Plain, false, pair.Fill);
  }
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

}  // namespace
