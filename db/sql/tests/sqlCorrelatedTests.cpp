// Sub-selects that read the enclosing row: references to an enclosing
// query's tables take that row's values, in SELECT (one table and joins),
// DELETE and UPDATE, two levels deep, with parameters.

#include <algorithm>

#include "sqlCorrelation.h"
#include "sqlTestSupport.h"

namespace {

class SqlCorrelatedTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE emp (id INTEGER, name CHAR(20), dept INTEGER, pay INTEGER)");
    Exec("CREATE TABLE grade (dept INTEGER, low INTEGER, title CHAR(10))");
    Exec("CREATE TABLE dept (no INTEGER, head INTEGER)");
    const char* people[] = {"(1, 'Ann', 10, 50)", "(2, 'Bob', 20, 70)", "(3, 'Cy', 10, 90)", "(4, 'Di', 30, 40)",
                            "(5, 'Ed', 20, 30)"};
    for (const char* row : people) Exec(std::string("INSERT INTO emp VALUES ") + row);
    const char* grades[] = {"(10, 60, 'senior')", "(20, 50, 'senior')", "(20, 0, 'any')", "(40, 0, 'any')"};
    for (const char* row : grades) Exec(std::string("INSERT INTO grade VALUES ") + row);
    Exec("INSERT INTO dept VALUES (10, 3)");
    Exec("INSERT INTO dept VALUES (20, 5)");
  }

  TRows SortedQuery(const std::string& text) {
    TRows rows = Query(text);
    std::sort(rows.begin(), rows.end());
    return rows;
  }
};

TEST_F(SqlCorrelatedTest, SubSelectReadsTheEnclosingRow) {
  // The people paid at least their own department's senior grade.
  const std::string text =
      "SELECT name FROM emp e WHERE dept IN (SELECT g.dept FROM grade g WHERE g.dept = e.dept AND g.low <= e.pay "
      "AND g.title = 'senior')";
  EXPECT_EQ(SortedQuery(text), (TRows{"Bob", "Cy"}));
  // The same without qualifiers: dept is grade's own column, pay only the
  // enclosing table's.
  EXPECT_EQ(SortedQuery("SELECT name FROM emp WHERE dept IN (SELECT dept FROM grade WHERE low <= pay AND low > 0)"),
            (TRows{"Bob", "Cy"}));
  EXPECT_EQ(SortedQuery("SELECT name FROM emp e WHERE dept NOT IN (SELECT g.dept FROM grade g WHERE g.low > e.pay)"),
            (TRows{"Bob", "Cy", "Di"}));
  TQueryStatement& statement = Prepare(text);
  EXPECT_FALSE(statement.MainQuery().Plan.Correlated);
  EXPECT_TRUE(statement.QueryAt(1).Plan.Correlated);
  // Run again after a change: the sub-select reads the rows as they are now.
  EXPECT_EQ(Rows(statement.Execute()).size(), 2u);
  Exec("UPDATE emp SET pay = 10 WHERE name = 'Cy'");
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"Bob"}));
}

TEST_F(SqlCorrelatedTest, RunsAgainOnlyWhenTheEnclosingValuesChange) {
  Exec("CREATE TABLE k (v INTEGER)");
  for (int v : {10, 10, 10, 20, 20, 10, 30}) Exec("INSERT INTO k VALUES (" + std::to_string(v) + ")");
  TQueryStatement& statement = Prepare("SELECT v FROM k WHERE v IN (SELECT dept FROM grade WHERE grade.dept = k.v)");
  // Every run of a row loop ends with one report of 100 percent.
  struct TRuns {
    int Count = 0;
  } runs;
  TDataQuery& nested = statement.QueryAt(1);
  nested.Run.ProgressProc = [&runs](int32_t, int32_t percent, bool&) {
    if (percent == 100) ++runs.Count;
  };
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"10", "10", "10", "20", "20", "10"}));
  EXPECT_EQ(runs.Count, 4);  // 10, 20, 10, 30
  runs.Count = 0;
  statement.Execute();
  EXPECT_EQ(runs.Count, 4);
}

TEST_F(SqlCorrelatedTest, UncorrelatedSubSelectsStillRunOnce) {
  TQueryStatement& statement = Prepare("SELECT name FROM emp WHERE dept IN (SELECT dept FROM grade WHERE low = 0)");
  EXPECT_FALSE(statement.QueryAt(1).Plan.Correlated);
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"Bob", "Ed"}));
  EXPECT_EQ(SqlError("SELECT name FROM emp e WHERE dept IN (SELECT dept FROM grade g WHERE g.nope = e.dept)"),
            "Invalid column name 'nope' or table correlation name 'g' specified in WHERE or JOIN clause");
  EXPECT_EQ(SqlError("SELECT name FROM emp e WHERE dept IN (SELECT dept FROM grade g WHERE x.dept = 1)"),
            "Table correlation name 'x' referenced in WHERE clause is not defined in the FROM clause");
  // A qualifier means the nearest table of that name, even when an
  // enclosing table of the same name has the column.
  EXPECT_EQ(SqlError("SELECT name FROM emp g WHERE dept IN (SELECT g.dept FROM grade g WHERE g.pay > 0)"),
            "Invalid column name 'pay' or table correlation name 'g' specified in WHERE or JOIN clause");
}

TEST_F(SqlCorrelatedTest, EnclosingJoinsAndUnmatchedLeftRows) {
  // The head of each person's department, and whether the person earns
  // less than the head.
  EXPECT_EQ(SortedQuery("SELECT e.name FROM emp e JOIN dept d ON e.dept = d.no WHERE e.id IN "
                        "(SELECT h.id FROM emp h WHERE h.id <> d.head AND h.dept = d.no)"),
            (TRows{"Ann", "Bob"}));
  // Di has no department: the reference reads NULL, which matches nothing.
  EXPECT_EQ(SortedQuery("SELECT e.name, d.head FROM emp e LEFT JOIN dept d ON e.dept = d.no WHERE e.id NOT IN "
                        "(SELECT h.id FROM emp h WHERE h.id = d.head)"),
            (TRows{"Ann|3", "Bob|5", "Di|NULL"}));
}

TEST_F(SqlCorrelatedTest, TwoLevelsDeep) {
  // People in a department whose head earns more than they do; the
  // innermost query reads the outermost row.
  EXPECT_EQ(SortedQuery("SELECT name FROM emp e WHERE dept IN (SELECT d.no FROM dept d WHERE d.head IN "
                        "(SELECT h.id FROM emp h WHERE h.pay > e.pay))"),
            (TRows{"Ann"}));
  TQueryStatement& statement = Prepare(
      "SELECT name FROM emp e WHERE dept IN (SELECT d.no FROM dept d WHERE d.head IN "
      "(SELECT h.id FROM emp h WHERE h.pay > e.pay))");
  EXPECT_TRUE(statement.QueryAt(1).Plan.Correlated);
  EXPECT_TRUE(statement.QueryAt(2).Plan.Correlated);
}

TEST_F(SqlCorrelatedTest, DeleteAndUpdateWithCorrelatedConditions) {
  // Remove everyone but the heads who earns less than someone of the
  // same department.
  EXPECT_EQ(Exec("DELETE FROM emp WHERE id NOT IN (SELECT head FROM dept) AND dept IN "
                 "(SELECT o.dept FROM emp o WHERE o.dept = emp.dept AND o.pay > emp.pay)"),
            1);
  EXPECT_EQ(SortedQuery("SELECT name FROM emp"), (TRows{"Bob", "Cy", "Di", "Ed"}));
  EXPECT_EQ(Exec("UPDATE emp SET pay = pay + 1 WHERE dept IN (SELECT no FROM dept WHERE head = emp.id)"), 2);
  EXPECT_EQ(SortedQuery("SELECT name, pay FROM emp"), (TRows{"Bob|70", "Cy|91", "Di|40", "Ed|31"}));
}

TEST_F(SqlCorrelatedTest, ParametersInsideACorrelatedSubSelect) {
  TQueryStatement& statement =
      Prepare("SELECT name FROM emp e WHERE ? < pay AND dept IN (SELECT g.dept FROM grade g WHERE g.dept = e.dept "
              "AND g.title = ?)");
  auto integer = [](int32_t value) {
    TSqlParamValue param;
    param.DataType = dtInteger;
    param.IsNull = false;
    param.Bytes.assign(reinterpret_cast<const char*>(&value), sizeof value);
    return param;
  };
  TSqlParamValue title;
  title.DataType = dtString;
  title.IsNull = false;
  title.Bytes = "any";
  statement.SetParams({integer(40), title});
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"Bob"}));
  title.Bytes = "senior";
  statement.SetParams({integer(0), title});
  TRows rows = Rows(statement.Execute());
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (TRows{"Ann", "Bob", "Cy", "Ed"}));
}

}  // namespace
