// A canned answer read in the order of an index that gives its ORDER BY
// instead of sorted: the same rows in the same order as the sort of a
// natural-order fill, ties included, checked against a twin table without
// indexes that is filled by the same statements.

#include <string>

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

  // 4,000 rows, each date (and NULL) 500 times; reused: half of them
  // deleted and their places taken by rows appended after (a table with a
  // primary key reuses them), so that rows of one date no longer lie in
  // the order they were given in.
  void MakeTable(const std::string& name, bool indexed, bool reused) {
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
    Exec("INSERT INTO " + name +
         " SELECT a.n * 1000 + b.n * 100 + y.n * 10 + m.n, b.n, y.day, m.name FROM digit a, digit b, days y, names m");
    if (!reused) return;
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
  MakeTable("ix", true, false);
  MakeTable("plain", false, false);
  MakeTable("ixr", true, true);
  MakeTable("plainr", false, true);
  auto text = [](std::string statement, const std::string& table) {
    return statement.replace(statement.find("{T}"), 3, table);
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Label);
    for (const bool reused : {false, true}) {
      SCOPED_TRACE(reused ? "reused" : "appended");
      const TRows sorted = Query(text(test.Statement, reused ? "plainr" : "plain"));
      TQueryStatement& statement = Prepare(text(test.Statement, reused ? "ixr" : "ix"));
      // As if its answer were sorted through a work file, which alone makes
      // the walk pay.
      statement.MainQuery().Run.InMemorySortBytes = 0;
      // Executed again, as a report's query is.
      for (int execution = 0; execution < 2; ++execution) EXPECT_EQ(Rows(statement.Execute()), sorted);
      if (!reused) {
        EXPECT_EQ(statement.MainQuery().Plan.Joins.WalkOrder, test.Walked);
        EXPECT_EQ(statement.MainQuery().Run.Joins.Ordered, test.InOrder);
      }
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
