// SELECT on one table and over joins: live and canned results, filters on
// the source cursors, naming, limits, sub-selects and the join planner.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "engCursor.h"
#include "engDataFile.h"
#include "engDataLayout.h"
#include "engTableTestSupport.h"
#include "sqlClockPace.h"
#include "sqlPlanner.h"
#include "sqlTestSupport.h"

namespace {

class SqlSelectTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE emp (id INTEGER, name CHAR(20), dept INTEGER, hired DATE, PRIMARY KEY (id))");
    Exec("CREATE INDEX bydept ON emp (dept)");
    Exec("CREATE TABLE dept (no INTEGER, title CHAR(20))");
    Exec("CREATE TABLE site (dept INTEGER, city CHAR(20))");
    Exec("INSERT INTO emp VALUES (1, 'Ann', 10, '2024-01-15')");
    Exec("INSERT INTO emp VALUES (2, 'Bob', 20, '2024-02-20')");
    Exec("INSERT INTO emp VALUES (3, 'Cy', 10, '2024-03-05')");
    Exec("INSERT INTO emp VALUES (4, 'Di', 30, NULL)");
    Exec("INSERT INTO dept VALUES (10, 'Sales')");
    Exec("INSERT INTO dept VALUES (20, 'Labs')");
    Exec("INSERT INTO dept VALUES (40, 'Empty')");
    Exec("INSERT INTO site VALUES (10, 'Oslo')");
    Exec("INSERT INTO site VALUES (20, 'Rome')");
  }

  // An execution's rows and where its answer was kept, having checked
  // whether its row loop tested the filter.
  struct TRun {
    TRows Rows;
    bool InMemory = false;
  };
  static TRun Run(TQueryStatement& statement, bool rowLoop) {
    TRun result;
    result.Rows = Rows(statement.Execute());
    result.InMemory = statement.MainQuery().Run.AnswerInMemory;
    EXPECT_EQ(statement.MainQuery().Run.Joins.RowTest != nullptr, rowLoop);
    return result;
  }

  static TRows Sorted(TRows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
  }
};

// One node reads field after field of a row, as a caller reading an
// answer back does: each value is its field's alone, whatever a wider or
// longer field left in the node before it. Texts that fill their fields
// end just where the node's cleared span might: at widths about a whole
// number's widest read and about twice it.
TEST_F(SqlSelectTest, OneNodeReadsEachFieldAsItself) {
  Exec("CREATE TABLE mixed (longer CHAR(30), shorter CHAR(4), small SMALLINT, big INTEGER, x FLOAT, d DATE, "
       "b7 CHAR(7), b8 CHAR(8), b9 CHAR(9), b15 CHAR(15), b16 CHAR(16), b17 CHAR(17))");
  Exec("INSERT INTO mixed VALUES ('abcdefghijklmnopqrstuvwxyz0123', 'wxyz', -5, -70000, 2.5, '2024-02-03', "
       "'1234567', '12345678', '123456789', '123456789abcdef', '123456789abcdefg', '123456789abcdefgh')");
  Exec("INSERT INTO mixed VALUES ('A', NULL, 7, NULL, NULL, NULL, 'q', NULL, '', 'r', 's', NULL)");
  const std::string select =
      "SELECT longer, shorter, small, longer, big, x, longer, d, small, longer, b7, longer, b8, longer, b9, "
      "longer, b15, longer, b16, longer, b17, b16, b15, b9, b8, b7 FROM mixed";
  TQueryStatement& statement = Prepare(select);
  TTableCursor* cursor = statement.Execute();
  std::vector<uint8_t> record(cursor->Fields().CursorRecordSize(), 0);
  TExpTreePtr value(NewToken());
  TRows rows;
  cursor->SetToBegin();
  while (cursor->GetNextRecord(record.data()) == 0) {
    std::string row;
    for (int position = 1; position <= cursor->Fields().FieldListCount(); ++position) {
      const TFieldDefinition& field = *cursor->Fields().FieldAt(position);
      TypeNodeFromField(field, *value);
      ReadFieldValue(*cursor, record.data(), field, *value);
      row += (position > 1 ? "|" : "") + ValueText(*value);
    }
    rows.push_back(row);
  }
  EXPECT_EQ(rows, Query(select));
  ASSERT_EQ(rows.size(), 2u);
  const std::string longer = "abcdefghijklmnopqrstuvwxyz0123";
  EXPECT_TRUE(rows[0].starts_with(longer + "|wxyz|-5|" + longer + "|-70000|")) << rows[0];
  EXPECT_TRUE(rows[0].ends_with("|" + longer + "|1234567|" + longer + "|12345678|" + longer + "|123456789|" + longer +
                                "|123456789abcdef|" + longer + "|123456789abcdefg|" + longer +
                                "|123456789abcdefgh|123456789abcdefg|123456789abcdef|123456789|12345678|1234567"))
      << rows[0];
  EXPECT_TRUE(rows[1].starts_with("A|NULL|7|A|NULL|NULL|A|NULL|7")) << rows[1];
}

TEST_F(SqlSelectTest, ConditionsOnOneTableBecomeItsFilter) {
  TQueryStatement& statement = Prepare("SELECT name FROM emp WHERE dept = 10 AND id > 1");
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"Cy"}));
  TTableCursor& source = *statement.MainQuery().Run.Tables.front()->Cursor;
  EXPECT_EQ(source.Filters().FilterCount(), 1);
  EXPECT_EQ(source.GetRecordCount(), 1);
  EXPECT_FALSE(statement.MainQuery().Plan.Joins.RowWhere);
}

TEST_F(SqlSelectTest, LiveResultIsTheSourceCursorAndCannedAnAnswerTable) {
  TQueryStatement& live = Prepare("SELECT id, name FROM emp WHERE dept = 10", true);
  TTableCursor* cursor = live.Execute();
  EXPECT_EQ(cursor, live.MainQuery().Run.Tables.front()->Cursor.get());
  EXPECT_EQ(Rows(cursor), (TRows{"1|Ann", "3|Cy"}));
  EXPECT_EQ(live.GetRecordCount(), 2);
  // Ordered by an index that serves it: still live, in that order.
  TQueryStatement& ordered = Prepare("SELECT name, dept FROM emp ORDER BY dept", true);
  EXPECT_TRUE(ordered.MainQuery().Plan.Live);
  EXPECT_EQ(Rows(ordered.Execute()), (TRows{"Ann|10", "Cy|10", "Bob|20", "Di|30"}));
  // No index on name: canned, in a temporary table of the private folder.
  TQueryStatement& canned = Prepare("SELECT name FROM emp ORDER BY name DESC", true);
  TTableCursor* answer = canned.Execute();
  EXPECT_FALSE(canned.MainQuery().Plan.Live);
  EXPECT_TRUE(answer->OpenOptions().TemporaryTable);
  EXPECT_EQ(Rows(answer), (TRows{"Di", "Cy", "Bob", "Ann"}));
}

TEST_F(SqlSelectTest, ConditionsWithoutColumnsHoldForAllRowsOrNone) {
  EXPECT_EQ(Query("SELECT name FROM emp WHERE 1 = 0", true), TRows{});
  EXPECT_EQ(Query("SELECT name FROM emp WHERE 1 = 1 AND id = 2", true), (TRows{"Bob"}));
  EXPECT_EQ(Query("SELECT COUNT(*) FROM emp, dept WHERE 2 < 1"), (TRows{"0"}));
}

TEST_F(SqlSelectTest, ComputedColumnsOfALiveResult) {
  TQueryStatement& statement = Prepare("SELECT id * 10 AS big, name || '!' FROM emp WHERE id < 3", true);
  TTableCursor* cursor = statement.Execute();
  EXPECT_TRUE(statement.MainQuery().Plan.Live);
  EXPECT_EQ(Rows(cursor), (TRows{"10|Ann!", "20|Bob!"}));
}

// site and emp share the name "dept": each column "*" gives is its own
// table's field, with that field's type, whatever the order of the tables.
TEST_F(SqlSelectTest, EveryStarColumnIsItsOwnTablesField) {
  const std::string join = " FROM site s, emp e WHERE s.dept = e.dept AND e.id < 3 ORDER BY e.id";
  EXPECT_EQ(Query("SELECT *" + join), (TRows{"10|Oslo|1|Ann|10|2024-01-15", "20|Rome|2|Bob|20|2024-02-20"}));
  EXPECT_EQ(Query("SELECT e.*, s.*" + join), (TRows{"1|Ann|10|2024-01-15|10|Oslo", "2|Bob|20|2024-02-20|20|Rome"}));
  TQueryStatement& statement = Prepare("SELECT s.*, e.*" + join);
  const auto& columns = statement.MainQuery().Plan.ResultFields;
  const std::pair<const char*, uint8_t> expected[] = {{"dept", dtInteger}, {"city", dtString},  {"id", dtInteger},
                                                      {"name", dtString},  {"dept_1", dtInteger}, {"hired", dtDate}};
  ASSERT_EQ(columns.size(), std::size(expected));
  for (size_t i = 0; i < columns.size(); ++i) {
    EXPECT_EQ(columns[i]->Name, expected[i].first) << i;
    EXPECT_EQ(columns[i]->DataType, expected[i].second) << i;
    EXPECT_EQ(columns[i]->Source, i < 2 ? 0 : 1) << i;
  }
}

TEST_F(SqlSelectTest, ColumnNamesAreMadeUnique) {
  TQueryStatement& statement = Prepare("SELECT name, name, id + 1, id + 2, COUNT(*) FROM emp GROUP BY name");
  const auto& columns = statement.MainQuery().Plan.ResultFields;
  EXPECT_EQ(columns[0]->Name, "name");
  EXPECT_EQ(columns[1]->Name, "name_1");
  EXPECT_EQ(columns[2]->Name, "Expression");
  EXPECT_EQ(columns[3]->Name, "Expression_1");
  EXPECT_EQ(columns[4]->Name, "Count Of *");
  TQueryStatement& longName = Prepare(
      "SELECT id AS abcdefghijklmnopqrstuvwxyz0123456789, name abcdefghijklmnopqrstuvwxyz0123, "
      "dept AS zyxwvutsrqponmlkjihgfedcba98765 FROM emp");
  EXPECT_EQ(longName.MainQuery().Plan.ResultFields[0]->Name, "abcdefghijklmnopqrstuvwxyz0123");
  EXPECT_EQ(longName.MainQuery().Plan.ResultFields[1]->Name, "abcdefghijklmnopqrstuvwxyz01_1");
  // One character past the limit.
  EXPECT_EQ(longName.MainQuery().Plan.ResultFields[2]->Name, "zyxwvutsrqponmlkjihgfedcba9876");
}

TEST_F(SqlSelectTest, ValidationMessages) {
  EXPECT_EQ(SqlError("SELECT nope FROM emp"), "Invalid column name 'nope' or table correlation name '' specified in source columns");
  EXPECT_EQ(SqlError("SELECT x.id FROM emp"), "Invalid column name 'id' or table correlation name 'x' specified in source columns");
  EXPECT_EQ(SqlError("SELECT * AS all FROM emp"),
            "Invalid use of column correlation name 'all' for '*' specified in source columns");
  EXPECT_EQ(SqlError("SELECT name, COUNT(*) FROM emp"),
            "Invalid use of aggregate function(s), the necessary GROUP BY clause is missing");
  EXPECT_EQ(SqlError("SELECT name FROM emp HAVING COUNT(*) > 1"),
            "A GROUP BY clause must exist in order to use the HAVING clause");
  EXPECT_EQ(SqlError("SELECT name FROM emp ORDER BY 2"), "Invalid column number '2' specified in ORDER BY clause");
  EXPECT_EQ(SqlError("SELECT name FROM emp ORDER BY id"),
            "Invalid column name 'id' or table correlation name '' specified in ORDER BY clause");
  EXPECT_EQ(SqlError("SELECT name FROM emp GROUP BY dept"),
            "Invalid column name 'dept' or table correlation name '' specified in GROUP BY clause");
  EXPECT_EQ(SqlError("SELECT name FROM emp WHERE id"), "WHERE or JOIN clause must be a boolean expression");
  EXPECT_EQ(SqlError("SELECT name || name || name || name || name || name || name || name || name || name || name || "
                     "name || name || name FROM emp"),
            "Column expression 'name || name || name || name || name || name || name || name || name || name || name "
            "|| name || name || name' exceeds the maximum allowable field size");
}

TEST_F(SqlSelectTest, MaximumRowCountLimitsGatheredRows) {
  TQueryStatement& none = Prepare("SELECT name FROM emp");
  none.SetMaxRowCount(0);
  EXPECT_EQ(Rows(none.Execute()), TRows{});
  TQueryStatement& two = Prepare("SELECT name FROM emp ORDER BY name DESC");
  two.SetMaxRowCount(2);
  // Taken before the sort: the first two rows read, then ordered.
  EXPECT_EQ(Rows(two.Execute()), (TRows{"Bob", "Ann"}));
}

TEST_F(SqlSelectTest, DateLiteralsOfALanguageZeroTableAreIsoDates) {
  EXPECT_EQ(Query("SELECT name FROM emp WHERE hired BETWEEN '2024-02-01' AND '2024-03-31' ORDER BY name"),
            (TRows{"Bob", "Cy"}));
  EXPECT_EQ(Query("SELECT name FROM emp WHERE hired = '2024-01-15'"), (TRows{"Ann"}));
  EXPECT_EQ(SqlError("SELECT name FROM emp WHERE hired = '15/01/2024'"),
            "Date, time, or timestamp expression expected, instead found '15/01/2024' in WHERE or JOIN clause");
}

TEST_F(SqlSelectTest, InAndNotInSubSelects) {
  EXPECT_EQ(Query("SELECT name FROM emp WHERE dept IN (SELECT no FROM dept WHERE title <> 'Labs') ORDER BY name"),
            (TRows{"Ann", "Cy"}));
  EXPECT_EQ(Query("SELECT name FROM emp WHERE dept NOT IN (SELECT no FROM dept) ORDER BY name"), (TRows{"Di"}));
  EXPECT_EQ(SqlError("SELECT name FROM emp WHERE dept IN (SELECT no, title FROM dept)"),
            "More than 1 column for sub-select  specified in WHERE or JOIN clause");
  // Only after IN: a sub-select elsewhere is no expression.
  EXPECT_NE(SqlError("SELECT name FROM emp WHERE dept = (SELECT no FROM dept)"), "");
  // Re-executed, the nested answer is built again.
  TQueryStatement& statement = Prepare("SELECT name FROM emp WHERE dept IN (SELECT no FROM dept)");
  EXPECT_EQ(Rows(statement.Execute()).size(), 3u);
  EXPECT_EQ(Rows(statement.Execute()).size(), 3u);
}

TEST_F(SqlSelectTest, CrossProductWithoutConditions) {
  EXPECT_EQ(Query("SELECT COUNT(*) FROM emp, dept"), (TRows{"12"}));
  EXPECT_EQ(Query("SELECT e.id, d.no FROM emp e, dept d WHERE e.id = 1 ORDER BY 2"),
            (TRows{"1|10", "1|20", "1|40"}));
}

TEST_F(SqlSelectTest, InnerLeftAndRightJoins) {
  const TRows inner = {"Ann|Sales", "Bob|Labs", "Cy|Sales"};
  EXPECT_EQ(Query("SELECT e.name, d.title FROM emp e JOIN dept d ON e.dept = d.no ORDER BY 1"), inner);
  EXPECT_EQ(Query("SELECT e.name, d.title FROM emp e, dept d WHERE d.no = e.dept ORDER BY 1"), inner);
  EXPECT_EQ(Query("SELECT e.name, d.title FROM emp e LEFT OUTER JOIN dept d ON e.dept = d.no ORDER BY 1"),
            (TRows{"Ann|Sales", "Bob|Labs", "Cy|Sales", "Di|NULL"}));
  EXPECT_EQ(Query("SELECT d.title, e.name FROM emp e RIGHT JOIN dept d ON e.dept = d.no ORDER BY 1, 2"),
            (TRows{"Empty|NULL", "Labs|Bob", "Sales|Ann", "Sales|Cy"}));
  EXPECT_EQ(Query("SELECT d.title, e.name FROM dept d LEFT JOIN emp e ON e.dept = d.no ORDER BY 1, 2"),
            Query("SELECT d.title, e.name FROM emp e RIGHT JOIN dept d ON e.dept = d.no ORDER BY 1, 2"));
  // WHERE on the inner table of a left join judges the joined rows.
  EXPECT_EQ(Query("SELECT e.name FROM emp e LEFT JOIN dept d ON e.dept = d.no WHERE d.title IS NULL"), (TRows{"Di"}));
  // Three tables in a chain.
  EXPECT_EQ(Query("SELECT e.name, s.city FROM emp e JOIN dept d ON e.dept = d.no JOIN site s ON s.dept = d.no "
                  "WHERE e.id >= 2 ORDER BY 1"),
            (TRows{"Bob|Rome", "Cy|Oslo"}));
}

TEST_F(SqlSelectTest, InnerTablesAreRestrictedByBoundFilters) {
  TQueryStatement& statement = Prepare("SELECT e.name, d.title FROM emp e JOIN dept d ON e.dept = d.no NOJOINOPTIMIZE");
  EXPECT_EQ(Sorted(Rows(statement.Execute())), (TRows{"Ann|Sales", "Bob|Labs", "Cy|Sales"}));
  TDataQuery& query = statement.MainQuery();
  ASSERT_EQ(query.Plan.Joins.Steps.size(), 2u);
  EXPECT_EQ(query.Parsed.Sources.Tables[query.Plan.Joins.Steps[0].Source]->CorrelationName, "e");
  EXPECT_EQ(query.Plan.Joins.Steps[1].Kind, jkInner);
  EXPECT_EQ(query.Plan.Joins.Steps[1].From, 0);
  EXPECT_EQ(query.Run.Tables[query.Plan.Joins.Steps[1].Source]->Cursor->Filters().FilterCount(), 1);
  EXPECT_NE(query.Run.Joins.StepFilters[1], nullptr);
  EXPECT_FALSE(query.Plan.Joins.RowWhere);
}

// The planner decides from the tables' definitions and the rows it is
// given; it puts nothing on a cursor.
TEST_F(SqlSelectTest, ThePlannerDecidesByTheRowsItIsGiven) {
  const struct {
    std::string Text;
    TTableRows Rows;  // emp, dept, site
    std::string Driver;
  } cases[] = {
      {"SELECT e.name FROM emp e JOIN dept d ON e.dept = d.no WHERE d.title = 'Labs'", {4, 1}, "d"},
      {"SELECT e.name FROM emp e JOIN dept d ON e.dept = d.no WHERE d.title = 'Labs'", {1, 3}, "e"},
      {"SELECT e.name FROM emp e LEFT JOIN dept d ON e.dept = d.no", {400, 1}, "e"},
      {"SELECT e.name FROM emp e JOIN dept d ON e.dept = d.no NOJOINOPTIMIZE", {}, "e"},
      {"SELECT s.city FROM emp e JOIN dept d ON e.dept = d.no JOIN site s ON s.dept = d.no", {9, 9, 2}, "s"},
  };
  for (const auto& check : cases) {
    const TDataQuery& query = Prepare(check.Text).MainQuery();
    TConditionPlanner planner(query);
    const std::vector<TTableFilterPlan> filters = planner.TakeTableFilters();
    EXPECT_EQ(planner.WeighsRows(), !check.Rows.empty()) << check.Text;
    const TJoinPlan plan = planner.DecideJoins(check.Rows);
    ASSERT_EQ(plan.Steps.size(), query.Parsed.Sources.Tables.size()) << check.Text;
    EXPECT_EQ(query.Parsed.Sources.Tables[plan.Steps.front().Source]->CorrelationName, check.Driver) << check.Text;
    for (const auto& table : query.Run.Tables) EXPECT_EQ(table->Cursor->Filters().FilterCount(), 0);
    // Only the title condition is a table's own.
    const bool titled = check.Text.find("title") != std::string::npos;
    ASSERT_EQ(filters.size(), titled ? 1u : 0u) << check.Text;
    if (titled) {
      EXPECT_EQ(query.Parsed.Sources.Tables[filters.front().Source]->CorrelationName, "d");
    }
  }
}

TEST_F(SqlSelectTest, SmallestRestrictedTableDrives) {
  TQueryStatement& statement = Prepare("SELECT e.name FROM emp e JOIN dept d ON e.dept = d.no WHERE d.title = 'Labs'");
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"Bob"}));
  EXPECT_EQ(statement.MainQuery().Parsed.Sources.Tables[statement.MainQuery().Plan.Joins.Steps.front().Source]->CorrelationName, "d");
  TQueryStatement& fixed =
      Prepare("SELECT e.name FROM emp e JOIN dept d ON e.dept = d.no WHERE d.title = 'Labs' NOJOINOPTIMIZE");
  EXPECT_EQ(Rows(fixed.Execute()), (TRows{"Bob"}));
  EXPECT_EQ(fixed.MainQuery().Parsed.Sources.Tables[fixed.MainQuery().Plan.Joins.Steps.front().Source]->CorrelationName, "e");
}

// A qualifier that names no table of the query, nor of one around it.
TEST_F(SqlSelectTest, AnUndefinedCorrelationNameInAConditionIsNamed) {
  for (const auto& [text, name] :
       {std::pair{"SELECT id FROM emp WHERE x.id = 1", "x"}, std::pair{"SELECT id FROM emp e WHERE emp.id = 1", "emp"},
        std::pair{"SELECT emp.id FROM emp JOIN dept ON emp.dept = d.no", "d"},
        std::pair{"SELECT id FROM emp WHERE dept IN (SELECT no FROM dept WHERE z.no = 1)", "z"}})
    EXPECT_EQ(SqlError(text),
              std::string("Table correlation name '") + name + "' referenced in WHERE clause is not defined in the FROM clause");
  // An enclosing query's table may be named.
  EXPECT_EQ(Query("SELECT id FROM emp WHERE dept IN (SELECT no FROM dept WHERE dept.no = emp.dept) ORDER BY id"),
            (TRows{"1", "2", "3"}));
}

TEST_F(SqlSelectTest, JoinConditionRules) {
  EXPECT_EQ(SqlError("SELECT e.id FROM emp e, dept d, site s WHERE e.dept + d.no = s.dept"),
            "The join condition cannot contain multiple table correlation names in either the left or right operand in "
            "WHERE or JOIN clause");
  EXPECT_EQ(Query("SELECT e.name, d.title FROM emp e, dept d WHERE e.dept + 10 = d.no ORDER BY 1"),
            (TRows{"Ann|Labs", "Cy|Labs", "Di|Empty"}));
  EXPECT_EQ(Query("SELECT e.name, d.title FROM emp e, dept d WHERE e.dept = d.no OR e.id = 4 ORDER BY 1, 2"),
            (TRows{"Ann|Sales", "Bob|Labs", "Cy|Sales", "Di|Empty", "Di|Labs", "Di|Sales"}));
  EXPECT_EQ(Query("SELECT e.id, d.no FROM emp e, dept d WHERE e.dept > d.no ORDER BY 1, 2"),
            Query("SELECT e.id, d.no FROM emp e, dept d WHERE d.no < e.dept ORDER BY 1, 2 NOJOINOPTIMIZE"));
  EXPECT_EQ(SqlError("SELECT e.id FROM emp e LEFT JOIN dept d ON e.dept = d.no JOIN site s ON s.dept = d.no"),
            "Internal join error - table correlation name \"d\" is target of multiple join conditions in WHERE or "
            "JOIN clause");
  EXPECT_EQ(SqlError("SELECT e.id FROM emp e WHERE x.id = 1"),
            "Table correlation name 'x' referenced in WHERE clause is not defined in the FROM clause");
}

TEST_F(SqlSelectTest, ConditionsClosingACycleAreTestedRowByRow) {
  const std::string text =
      "SELECT e.name FROM emp e, dept d, site s WHERE e.dept = d.no AND d.no = s.dept AND s.dept = e.dept ORDER BY 1";
  TQueryStatement& statement = Prepare(text);
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"Ann", "Bob", "Cy"}));
  EXPECT_TRUE(statement.MainQuery().Plan.Joins.RowWhere);
}

TEST_F(SqlSelectTest, WithLocksIntoAndMemoryTables) {
  EXPECT_EQ(Query("SELECT name FROM emp WHERE id = 2 WITH LOCKS"), (TRows{"Bob"}));
  // The statement holds its answer table exclusively until it is freed.
  TQueryStatement& into = Prepare("SELECT id, name INTO kept FROM emp WHERE dept = 10");
  into.Execute();
  EXPECT_EQ(ErrorOf("SELECT name FROM kept"), "11013: Access denied to table 'kept.DAT'");
  statements.pop_back();
  EXPECT_EQ(Query("SELECT name FROM kept ORDER BY name"), (TRows{"Ann", "Cy"}));
  Prepare("SELECT id INTO MEMORY ids FROM emp").Execute();
  statements.pop_back();
  EXPECT_EQ(Query("SELECT COUNT(*) FROM MEMORY ids"), (TRows{"4"}));
  // A statement refused at preparation leaves no INTO table behind.
  EXPECT_EQ(SqlError("SELECT dept INTO refused FROM emp GROUP BY dept HAVING 1"),
            "HAVING clause must be a boolean expression");
  EXPECT_FALSE(directory->TableExists("refused.DAT", false));
  EXPECT_TRUE(directory->TableExists("kept.DAT", false));
}

TEST_F(SqlSelectTest, LanguageAndEncryptionOfTheAnswer) {
  TQueryStatement& statement = Prepare("SELECT name FROM emp e LANGUAGE 'ANSI Standard' ENCRYPTED WITH 'secret'");
  TTableCursor* answer = statement.Execute();
  EXPECT_TRUE(answer->Admin().IsTableEncrypted());
  EXPECT_EQ(Rows(answer).size(), 4u);
  EXPECT_FALSE(session->PasswordExists("secret"));
}

TEST_F(SqlSelectTest, ProgressCanStopTheRowLoop) {
  TQueryStatement& statement = Prepare("SELECT name FROM emp ORDER BY name");
  struct TSeen {
    int Calls = 0;
  } seen;
  statement.SetProgressHandler([&seen](int32_t current, int32_t, bool& abort) {
    ++seen.Calls;
    abort = current >= 2;
  });
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"Ann"}));
  EXPECT_GE(seen.Calls, 2);
}

}  // namespace

namespace {

// The names of a folder's files, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class SqlMemoTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE job (pages INTEGER, doc BLOB(1, 1))");
    Exec("INSERT INTO job VALUES (14, 'invoice 12')");
    Exec("INSERT INTO job VALUES (21, 'padded   164')");
    Exec("INSERT INTO job VALUES (14, NULL)");
  }
};

// A memo's text result is as long as its content, canned or live: no zero
// byte after it, nothing cut to a size the checker declared.
TEST_F(SqlMemoTest, TextFunctionsKeepAMemoWhole) {
  const std::pair<const char*, TRows> cases[] = {
      {"SUBSTRING(doc FROM 1 FOR 6)", {"invoic", "padded", "NULL"}},
      {"SUBSTRING(doc FROM 5)", {"ice 12", "ed   164", "NULL"}},
      {"UPPER(doc)", {"INVOICE 12", "PADDED   164", "NULL"}},
      {"LOWER(doc)", {"invoice 12", "padded   164", "NULL"}},
      {"TRIM(BOTH ' ' FROM doc)", {"invoice 12", "padded   164", "NULL"}},
      {"TRIM(LEADING 'p' FROM doc)", {"invoice 12", "added   164", "NULL"}},
      {"TRIM(TRAILING '4' FROM doc)", {"invoice 12", "padded   16", "NULL"}},
      {"REPLACE('d' WITH 'D' IN doc)", {"invoice 12", "paDDeD   164", "NULL"}},
      {"doc || '!'", {"invoice 12!", "padded   164!", "!"}},
  };
  for (const auto& [expression, expected] : cases)
    for (bool live : {false, true})
      EXPECT_EQ(Query(std::string("SELECT ") + expression + " FROM job", live), expected) << expression << live;
}

// COUNT is an integer whatever it counts, so a COUNT of a memo orders and
// is distinct like any number; a memo result column itself is refused.
// The row loop shares the source table's read locks from row to row and
// gives them back: after a statement that ran, one that failed half way and
// while a progress handler runs, a writer gets the table at once.
TEST_F(SqlMemoTest, TheRowLoopLeavesTheTableToWriters) {
  // Enough rows with memos for the loop to take its locks more than once.
  for (int doubling = 0; doubling < 10; ++doubling) Exec("INSERT INTO job SELECT * FROM job");
  const std::tuple<const char*, const char*, size_t> cases[] = {
      {"SELECT pages, doc FROM job", "", 3072},
      {"SELECT COUNT(doc), SUM(pages) FROM job WHERE doc LIKE '%1%'", "", 1},
      {"SELECT pages, doc FROM job WHERE pages = 21", "", 1024},
      {"SELECT pages * 150000000, doc FROM job", "overflow", 0},
  };
  for (const auto& [text, failure, rows] : cases) {
    TQueryStatement& statement = Prepare(text);
    try {
      EXPECT_EQ(Rows(statement.Execute()).size(), rows) << text;
      EXPECT_STREQ(failure, "") << text;
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.Message).find(failure), std::string::npos) << text << ": " << error.Message;
      EXPECT_STRNE(failure, "") << text;
    }
    // The statement stays prepared, its tables open.
    EXPECT_EQ(Exec("UPDATE job SET pages = 15 WHERE pages = 14 AND doc IS NULL"), 1024) << text;
    EXPECT_EQ(Exec("UPDATE job SET pages = 14 WHERE pages = 15"), 1024) << text;
    statements.pop_back();
  }
  TQueryStatement& watched = Prepare("SELECT pages, doc FROM job");
  int writes = 0;
  watched.SetProgressHandler([&](int32_t current, int32_t, bool&) {
    if (current % 1000 == 0) writes += Exec("UPDATE job SET pages = 14 WHERE pages = 14 AND doc IS NULL") > 0;
  });
  EXPECT_EQ(Rows(watched.Execute()).size(), 3072u);
  EXPECT_EQ(writes, 3);
}

TEST_F(SqlMemoTest, ACountOfAMemoIsAnInteger) {
  Exec("INSERT INTO job VALUES (14, 'again')");
  EXPECT_EQ(Query("SELECT pages, COUNT(doc) FROM job GROUP BY 1 ORDER BY 2"), (TRows{"21|1", "14|2"}));
  EXPECT_EQ(Query("SELECT pages, COUNT(doc) AS c FROM job GROUP BY 1 ORDER BY c DESC"), (TRows{"14|2", "21|1"}));
  EXPECT_EQ(Query("SELECT DISTINCT COUNT(doc) FROM job"), (TRows{"3"}));
  EXPECT_EQ(SqlError("SELECT pages, doc FROM job ORDER BY 2"), "Invalid column number '2' specified in ORDER BY clause");
  EXPECT_EQ(SqlError("SELECT pages, doc AS d FROM job ORDER BY d"), "Invalid BLOB column 'd' specified in ORDER BY clause");
}

// A memo column that is not grouped takes each group's first row's memo,
// with few groups and with more than a cursor may hold BLOBs open.
TEST_F(SqlMemoTest, AGroupTakesItsFirstRowsMemo) {
  Exec("INSERT INTO job VALUES (21, 'second')");
  EXPECT_EQ(Query("SELECT pages, doc, COUNT(*) FROM job GROUP BY pages"),
            (TRows{"14|invoice 12|2", "21|padded   164|2"}));
  Exec("CREATE TABLE many (g INTEGER, doc BLOB(1, 1))");
  TRows expected;
  for (const char* which : {"first", "later"})
    for (int g = 1; g <= 100; ++g)
      Exec("INSERT INTO many VALUES (" + std::to_string(g) + ", '" + which + " " + std::to_string(g) + "')");
  for (int g = 1; g <= 100; ++g) expected.push_back(std::to_string(g) + "|2|first " + std::to_string(g));
  EXPECT_EQ(Query("SELECT g, COUNT(*), doc FROM many GROUP BY g ORDER BY g"), expected);
  EXPECT_EQ(Query("SELECT g, COUNT(*), doc FROM many GROUP BY g HAVING COUNT(*) = 2"), expected);
}

// A canned answer's memos wait in runs of its temporary BLOB file written
// before any read: with a cache far smaller than the values, every value
// comes back whole and in its row, in the order of the walk, of a sort, or
// of a filter and a sort.
TEST_F(SqlMemoTest, CannedMemosComeBackWholeThroughASmallCache) {
  Exec("CREATE TABLE notes (id INTEGER, doc BLOB(1, 1))");
  constexpr int RowCount = 12;
  std::vector<std::string> docs;
  for (int id = 1; id <= RowCount; ++id) {
    docs.push_back("n" + std::to_string(id) + "-");
    Exec("INSERT INTO notes VALUES (" + std::to_string(id) + ", '" + docs.back() + "')");
  }
  // Row n doubled n - 1 times: lengths from 3 bytes to past 6 KiB, across
  // every block boundary on the way.
  for (int k = 1; k < RowCount; ++k) {
    Exec("UPDATE notes SET doc = doc || doc WHERE id > " + std::to_string(k));
    for (int id = k + 1; id <= RowCount; ++id) docs[size_t(id - 1)] += docs[size_t(id - 1)];
  }
  TRows ascending;
  for (int id = 1; id <= RowCount; ++id) ascending.push_back(std::to_string(id) + "|" + docs[size_t(id - 1)]);
  const TRows descending(ascending.rbegin(), ascending.rend());
  const TRows filtered(ascending.begin() + 4, ascending.end());
  const TCacheSizes kept = session->CacheSizes;
  session->CacheSizes.BlobBytes = 2048;
  struct TCase {
    const char* Statement;
    const TRows& Expected;
  };
  const TCase cases[] = {{"SELECT id, doc FROM notes", ascending},
                         {"SELECT id, doc FROM notes ORDER BY id DESC", descending},
                         {"SELECT * FROM notes WHERE id > 4 ORDER BY id", filtered}};
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Statement);
    TQueryStatement& statement = Prepare(test.Statement);
    TTableCursor* answer = statement.Execute();
    EXPECT_FALSE(statement.MainQuery().Plan.Live);
    EXPECT_EQ(Rows(answer), test.Expected);
    // Executed again, the emptied answer is filled anew.
    EXPECT_EQ(Rows(statement.Execute()), test.Expected);
  }
  session->CacheSizes = kept;
}

// An answer in the private folder whose memos fill several runs, one of
// them longer than a run: each comes back whole, also after the answer is
// emptied and filled again. Its records outgrow a small record cache, so
// they wait in memory for the sort and stay there in their new order.
TEST_F(SqlMemoTest, MemosOfAnAnswerOnDiskComeBackWholeAcrossRuns) {
  Exec("CREATE TABLE notes (id INTEGER, doc BLOB(1, 1))");
  Exec("INSERT INTO notes VALUES (1, 'r')");
  std::vector<std::string> docs = {"r"};
  const std::string letters = "abcdefghi";
  for (size_t step = 0; step < letters.size(); ++step) {
    const size_t count = docs.size();
    Exec("INSERT INTO notes SELECT id + " + std::to_string(count) + ", doc || '" + letters[step] + "' FROM notes");
    for (size_t i = 0; i < count; ++i) docs.push_back(docs[i] + letters[step]);
  }
  // Past the bound of an answer in memory: the answer moves to the folder.
  constexpr int LongId = 7;
  constexpr int64_t Bound = int64_t(1) << 20;
  while (int64_t(docs[LongId - 1].size()) <= Bound) {
    Exec("UPDATE notes SET doc = doc || doc WHERE id = " + std::to_string(LongId));
    docs[LongId - 1] += docs[LongId - 1];
  }
  TRows ascending;
  for (size_t i = 0; i < docs.size(); ++i) ascending.push_back(std::to_string(i + 1) + "|" + docs[i]);
  const TRows descending(ascending.rbegin(), ascending.rend());
  const std::pair<const char*, const TRows&> cases[] = {{"SELECT id, doc FROM notes", ascending},
                                                        {"SELECT id, doc FROM notes ORDER BY id DESC", descending}};
  const TCacheSizes kept = session->CacheSizes;
  session->CacheSizes.RecordBytes = 2048;
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    TQueryStatement& statement = Prepare(text);
    statement.MainQuery().Run.MaxAnswerFillBytes = Bound;
    for (int run = 0; run < 2; ++run) {
      EXPECT_EQ(Rows(statement.Execute()), expected);
      EXPECT_FALSE(statement.MainQuery().Run.AnswerInMemory);
    }
  }
  session->CacheSizes = kept;
}

// Memos of every length around a block's edges, nulls among them, from a
// source whose blocks are the smallest a table may have, come back whole
// from a canned answer that stays in memory, one whose memos outgrow memory
// half way through its fill (the rows before copied to the private folder,
// the rest written there), sorted or not, from an encrypted source, and from
// one made on disk from the start; every answer has the same fields. The
// answer's blocks stay the query's size whatever its source's are.
TEST_F(SqlMemoTest, AnAnswerWhoseMemosOutgrowMemoryMovesToDiskWithTheSameRows) {
  Exec("CREATE TABLE edges (id INTEGER, serial AUTOINC, doc BLOB(1, 1) BLOB BLOCK SIZE 64)");
  // Payload of a block: its size less the 18 bytes of its header.
  const size_t small = 64 - 18, usual = DefaultBlobBlockSize - 18;
  // Past the bound (lowered for the test): the row that moves the answer,
  // in the middle.
  constexpr int64_t Bound = 16 << 10;
  const size_t big = size_t(Bound) + 1;
  const size_t lengths[] = {0,   1,         small - 1, small,     small + 1, 2 * small,     2 * small + 1, big,
                            0, usual - 1, usual,     usual + 1, 2 * usual, 2 * usual + 1, 4000};
  constexpr int BigId = 8;
  constexpr size_t Chunk = 100;
  TRows ascending;
  for (size_t row = 0; row < std::size(lengths); ++row) {
    const int id = int(row) + 1;
    // Each byte depends on its place and its row, so a block out of place
    // or another row's block shows.
    std::string doc(std::min(lengths[row], size_t(4000)), ' ');
    for (size_t i = 0; i < doc.size(); ++i) doc[i] = char('a' + (i * 7 + size_t(id)) % 26);
    Exec("INSERT INTO edges (id, doc) VALUES (" + std::to_string(id) + ", '" + doc.substr(0, Chunk) + "')");
    for (size_t at = Chunk; at < doc.size(); at += Chunk)
      Exec("UPDATE edges SET doc = doc || '" + doc.substr(at, Chunk) + "' WHERE id = " + std::to_string(id));
    while (doc.size() < lengths[row]) {
      Exec("UPDATE edges SET doc = doc || doc WHERE id = " + std::to_string(id));
      doc += doc;
    }
    ascending.push_back(std::to_string(id) + "|" + std::to_string(id) + "|" + (doc.empty() ? "NULL" : doc));
  }
  ASSERT_GT(int64_t(ascending[BigId - 1].size()), Bound);
  TRows withoutBig = ascending;
  withoutBig.erase(withoutBig.begin() + (BigId - 1));
  const TRows descending(ascending.rbegin(), ascending.rend());
  Exec("SELECT id, serial, doc INTO enc FROM edges ENCRYPTED WITH 'secret'");
  session->AddPassword("secret");
  Exec("CREATE TABLE one (k INTEGER)");
  Exec("INSERT INTO one VALUES (1)");
  const std::string bigId = std::to_string(BigId);
  struct TCase {
    std::string Statement;
    const TRows& Expected;
    bool InMemory;
  };
  const TCase cases[] = {
      {"SELECT id, serial, doc FROM edges WHERE id <> " + bigId, withoutBig, true},
      {"SELECT id, serial, doc FROM edges", ascending, false},
      {"SELECT id, serial, doc FROM edges ORDER BY id DESC", descending, false},
      {"SELECT id, serial, doc FROM enc ORDER BY id", ascending, false},
      // A join's rows are not bounded beforehand: on disk from the start.
      {"SELECT e.id, e.serial, e.doc FROM edges e JOIN one o ON o.k = 1 ORDER BY e.id", ascending, false},
  };
  auto fields = [](TTableCursor* answer) {
    std::string kinds;
    for (const TFieldDefinition& field : answer->Fields().FieldDefinitions())
      kinds += field.Name + ":" + std::to_string(field.Type) + "/" + std::to_string(field.StoredSize) + " ";
    return kinds;
  };
  std::string firstFields;
  const auto filesBefore = FilesIn(folder);
  TDataDirectory* memory = session->OpenDirectory("Memory", "");
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Statement);
    std::string name;
    {
      TQueryStatement statement(directory);
      int32_t position = 0;
      statement.Prepare(test.Statement, position);
      statement.MainQuery().Run.MaxAnswerFillBytes = Bound;
      // Executed again, the answer begins in memory again.
      for (int run = 0; run < 2; ++run) {
        TTableCursor* answer = statement.Execute();
        EXPECT_FALSE(statement.MainQuery().Plan.Live);
        EXPECT_EQ(statement.MainQuery().Run.AnswerInMemory, test.InMemory);
        EXPECT_EQ(answer->Admin().GetBlobBlockSize(), DefaultBlobBlockSize);
        EXPECT_EQ(Rows(answer), test.Expected);
        if (firstFields.empty()) firstFields = fields(answer);
        EXPECT_EQ(fields(answer), firstFields);
      }
      name = statement.MainQuery().Run.Answer->TableName();
    }
    EXPECT_FALSE(memory->TableExists(name, true));
    EXPECT_EQ(FilesIn(folder), filesBefore);
  }
  session->CloseDirectory(memory);
}

// Memo columns filled straight from their source's chains give the answer
// a value-by-value fill gives it: every field, every record's bytes (each
// value's first block and sequence number) and, for a table made on disk,
// its files byte for byte (and an auto-increment column's numbers, copied
// as stored). Values around both block sizes' edges, nulls and empty ones,
// in two memo columns selected out of their order; sorted, from
// an encrypted source, moved to disk mid-fill, joined, with another
// session changing rows the fill has not reached, cut by the row limit,
// and failing after a row's memos were copied (the rows before it as the
// failed fill leaves them).
TEST_F(SqlMemoTest, MemosCopiedAsChainsFillAnswersAsValuesDo) {
  Exec("CREATE TABLE src (id INTEGER, a BLOB(1, 1), serial AUTOINC, b BLOB(1, 1) BLOB BLOCK SIZE 64)");
  const size_t small = 64 - 18, usual = DefaultBlobBlockSize - 18;
  const size_t lengths[] = {1,         small - 1, small,         small + 1,     2 * small, 2 * small + 1, 0,
                            usual - 1, usual,     usual + 1,     2 * usual + 1, 5000,      3,             40};
  constexpr int RowCount = int(std::size(lengths));
  // Each byte depends on its place, its row and its column, so a block of
  // another value, or out of place, shows.
  auto text = [](size_t length, int id, int column) {
    std::string doc(length, ' ');
    for (size_t i = 0; i < length; ++i) doc[i] = char('a' + (i * 7 + size_t(id) * 3 + size_t(column)) % 26);
    return doc;
  };
  auto put = [this](TDataDirectory* in, const std::string& column, int id, const std::string& doc) {
    constexpr size_t Chunk = 100;
    auto run = [in](const std::string& sql) {
      TQueryStatement statement(in);
      int32_t position = 0;
      statement.Prepare(sql, position);
      statement.Execute();
    };
    const std::string where = " WHERE id = " + std::to_string(id);
    run("UPDATE src SET " + column + " = " + (doc.empty() ? "NULL" : "'" + doc.substr(0, Chunk) + "'") + where);
    for (size_t at = Chunk; at < doc.size(); at += Chunk)
      run("UPDATE src SET " + column + " = " + column + " || '" + doc.substr(at, Chunk) + "'" + where);
  };
  // a from the lengths, b from them backwards; row 4's b set to an empty
  // text, row 9's a null.
  std::vector<std::string> a, b;
  for (int id = 1; id <= RowCount; ++id) {
    Exec("INSERT INTO src (id) VALUES (" + std::to_string(id) + ")");
    a.push_back(id == 9 ? "" : text(lengths[id - 1], id, 0));
    b.push_back(text(lengths[RowCount - id], id, 1));
    put(directory, "a", id, a.back());
    put(directory, "b", id, b.back());
  }
  Exec("UPDATE src SET b = '' WHERE id = 4");
  b[3].clear();
  // id, a, serial (the row's number, as rows were inserted), b.
  auto row = [](int id, const std::string& x, const std::string& y) {
    return std::to_string(id) + "|" + (x.empty() ? "NULL" : x) + "|" + std::to_string(id) + "|" +
           (y.empty() ? "NULL" : y);
  };
  Exec("SELECT id, a, serial, b INTO enc FROM src ENCRYPTED WITH 'secret'");
  session->AddPassword("secret");
  Exec("CREATE TABLE one (k INTEGER)");
  Exec("INSERT INTO one VALUES (1)");
  // What another session writes into row 11 when the fill reaches row 3;
  // every fill begins with the row put back.
  const int Changed = 11;
  const std::string changedA = text(3 * small + 5, 99, 0), changedB = "";
  TRows plain, changed;
  for (int id = 1; id <= RowCount; ++id) {
    plain.push_back(row(id, a[size_t(id - 1)], b[size_t(id - 1)]));
    changed.push_back(id == Changed ? row(id, changedA, changedB) : plain.back());
  }
  const TRows descending(plain.rbegin(), plain.rend());
  const TRows firstFive(plain.begin(), plain.begin() + 5), firstTwelve(plain.begin(), plain.begin() + 12);
  // A column after the memos overflows from row Overflowing on: the fill
  // fails after that row's memos were copied, and its answer holds the
  // rows before.
  const int Overflowing = 11;
  TRows beforeOverflow;
  for (int id = 1; id < Overflowing; ++id)
    beforeOverflow.push_back(plain[size_t(id - 1)] + "|" + std::to_string(id * 200000000));
  TRows reordered;  // b, id, a, serial
  for (int id = 1; id <= RowCount; ++id)
    reordered.push_back((b[size_t(id - 1)].empty() ? "NULL" : b[size_t(id - 1)]) + "|" + std::to_string(id) + "|" +
                        (a[size_t(id - 1)].empty() ? "NULL" : a[size_t(id - 1)]) + "|" + std::to_string(id));
  TDataSession* other = nullptr;
  CreateEngineSession(other);
  TDataDirectory* otherDirectory = other->OpenDirectory("", folder);
  struct TCase {
    std::string Statement;
    const TRows& Expected;
    int64_t FillBound;  // 0: the usual one
    bool ChangedMidFill;
    std::string Into;  // a table made on disk, compared file by file
    int32_t RowLimit = -1;
    bool Fails = false;  // the answer as the failed fill left it
  };
  const TCase cases[] = {
      {"SELECT b, id, a, serial FROM src", reordered, 0, false, ""},
      {"SELECT id, a, serial, b FROM src ORDER BY id DESC", descending, 0, false, ""},
      {"SELECT id, a, serial, b FROM src", plain, 4 << 10, false, ""},
      {"SELECT id, a, serial, b FROM enc ORDER BY id", plain, 4 << 10, false, ""},
      {"SELECT e.id, e.a, e.serial, e.b FROM src e JOIN one o ON o.k = 1", plain, 0, false, ""},
      {"SELECT id, a, serial, b FROM src", changed, 0, true, ""},
      {"SELECT id, a, serial, b FROM src ORDER BY id", changed, 4 << 10, true, ""},
      {"SELECT id, a, serial, b INTO copied FROM src", plain, 0, false, "copied"},
      {"SELECT id, a, serial, b FROM src", firstFive, 0, false, "", 5},
      {"SELECT id, a, serial, b FROM src", firstTwelve, 4 << 10, false, "", 12},
      {"SELECT id, a, serial, b, id * 200000000 FROM src", beforeOverflow, 0, false, "", -1, true},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Statement);
    struct TFill {
      TRows Rows;
      std::vector<std::vector<uint8_t>> Records;
      std::vector<std::string> Files;
    } fills[2];
    for (const bool chains : {true, false}) {
      SCOPED_TRACE(chains ? "chains" : "values");
      TFill& fill = fills[chains ? 0 : 1];
      put(directory, "a", Changed, a[Changed - 1]);
      put(directory, "b", Changed, b[Changed - 1]);
      auto statement = std::make_unique<TQueryStatement>(directory);
      int32_t position = 0;
      statement->Prepare(test.Statement, position);
      TDataQuery& query = statement->MainQuery();
      query.Run.CopiesBlobChains = chains;
      if (test.FillBound > 0) query.Run.MaxAnswerFillBytes = test.FillBound;
      statement->SetMaxRowCount(test.RowLimit);
      if (test.ChangedMidFill)
        statement->SetProgressHandler([&](int32_t current, int32_t, bool&) {
          if (current != 3) return;
          put(otherDirectory, "a", Changed, changedA);
          put(otherDirectory, "b", Changed, changedB);
        });
      TTableCursor* answer = nullptr;
      if (test.Fails) {
        std::string failure;
        try {
          statement->Execute();
        } catch (const Exception& error) {
          failure = error.Message;
        }
        EXPECT_NE(failure.find("overflow"), std::string::npos) << failure;
        answer = query.Run.Answer.get();
        ASSERT_NE(answer, nullptr);
      } else {
        answer = statement->Execute();
      }
      // Past the lowered bound, with rows to go.
      if (test.FillBound > 0) {
        EXPECT_FALSE(query.Run.AnswerInMemory);
      }
      // The table made is read where it lies.
      if (!test.Into.empty()) {
        statement.reset();
        answer = Prepare("SELECT * FROM " + test.Into, true).Execute();
      }
      fill.Rows = Rows(answer);
      EXPECT_EQ(fill.Rows, test.Expected);
      std::vector<uint8_t> record(answer->Fields().CursorRecordSize(), 0);
      answer->SetToBegin();
      while (answer->GetNextRecord(record.data()) == 0) fill.Records.push_back(record);
      if (!test.Into.empty()) {
        statements.clear();
        for (const std::string& name : FilesIn(folder)) {
          if (name.rfind(test.Into + ".", 0) != 0) continue;
          std::ifstream in(folder + "/" + name, std::ios::binary);
          std::string bytes(std::istreambuf_iterator<char>(in), {});
          // The data file's header holds when it was written.
          if (name == test.Into + ".DAT" && bytes.size() >= DatHdrWriteTime + sizeof(double))
            std::fill_n(bytes.begin() + DatHdrWriteTime, sizeof(double), '\0');
          fill.Files.push_back(name + ":" + bytes);
        }
        EXPECT_GE(fill.Files.size(), 2u);
        Exec("DROP TABLE " + test.Into);
      }
    }
    EXPECT_EQ(fills[0].Rows, fills[1].Rows);
    EXPECT_EQ(fills[0].Records, fills[1].Records);
    EXPECT_EQ(fills[0].Files, fills[1].Files);
  }
  other->CloseDirectory(otherDirectory);
  FreeEngineSession(other);
}

// A statement run again walks its source's memos again, and takes them from
// the windows its last run read instead of from the file: whatever another
// session or this one changed between the two runs (a memo rewritten at its
// length, made longer, shorter or null, a row deleted, one added), each run
// answers the rows as they stand, in order and with the same fields.
TEST_F(SqlMemoTest, MemosReadAgainByAStatementRunAgainAreTheCurrentOnes) {
  Exec("CREATE TABLE notes (id INTEGER, doc BLOB(1, 1) BLOB BLOCK SIZE 64)");
  // Each byte depends on its place and on the value's seed.
  auto text = [](size_t length, int seed) {
    std::string doc(length, ' ');
    for (size_t i = 0; i < length; ++i) doc[i] = char('a' + (i * 7 + size_t(seed) * 3) % 26);
    return doc;
  };
  // About 1,100 blocks of 64 bytes: a walk over them fills several windows.
  std::map<int, std::string> docs;
  for (int id = 1; id <= 600; ++id) {
    docs[id] = text(1 + size_t(id * 37) % 150, id);
    Exec("INSERT INTO notes VALUES (" + std::to_string(id) + ", '" + docs[id] + "')");
  }
  TDataSession* other = nullptr;
  CreateEngineSession(other);
  TDataDirectory* otherDirectory = other->OpenDirectory("", folder);
  auto run = [](TDataDirectory* in, const std::string& sql) {
    TQueryStatement statement(in);
    int32_t position = 0;
    statement.Prepare(sql, position);
    statement.Execute();
  };
  struct TChange {
    int Id;
    int Length;  // -1: null, -2: the row deleted; a new id adds a row
  };
  struct TCase {
    const char* Name;
    bool ByOther;
    std::vector<TChange> Changes;
  };
  const TCase cases[] = {
      {"nothing", true, {}},
      {"rewritten at their lengths, shorter, null", true, {{40, -3}, {250, 1}, {251, -1}, {520, -3}}},
      {"longer, deleted, added", true, {{120, 400}, {330, -2}, {601, 90}, {599, 2000}}},
      {"by this session", false, {{41, -3}, {121, 5}, {400, -1}, {450, -2}, {602, 70}}},
  };
  auto expected = [&](int from) {
    TRows rows;
    for (const auto& [id, doc] : docs)
      if (id > from) rows.push_back(std::to_string(id) + "|" + (doc.empty() ? "NULL" : doc));
    return rows;
  };
  const std::string statements[] = {"SELECT id, doc FROM notes", "SELECT * FROM notes WHERE id > 30 ORDER BY id"};
  int seed = 1000;
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    for (const std::string& sql : statements) {
      SCOPED_TRACE(sql);
      const int from = sql.find("WHERE") == std::string::npos ? 0 : 30;
      TQueryStatement& statement = Prepare(sql);
      TTableCursor* answer = statement.Execute();
      EXPECT_EQ(Rows(answer), expected(from));
      std::string fields;
      for (const TFieldDefinition& field : answer->Fields().FieldDefinitions())
        fields += field.Name + ":" + std::to_string(field.Type) + " ";
      TDataDirectory* in = test.ByOther ? otherDirectory : directory;
      for (const TChange& change : test.Changes) {
        const std::string where = " WHERE id = " + std::to_string(change.Id);
        if (change.Length == -2) {
          run(in, "DELETE FROM notes" + where);
          docs.erase(change.Id);
          continue;
        }
        // -3: the same length, other bytes.
        const size_t length = change.Length == -3 ? docs[change.Id].size() : size_t(std::max(change.Length, 0));
        std::string doc = change.Length == -1 ? "" : text(length, ++seed);
        const std::string value = doc.empty() ? "NULL" : "'" + doc.substr(0, 100) + "'";
        if (!docs.contains(change.Id)) run(in, "INSERT INTO notes VALUES (" + std::to_string(change.Id) + ", " + value + ")");
        else run(in, "UPDATE notes SET doc = " + value + where);
        for (size_t at = 100; at < doc.size(); at += 100)
          run(in, "UPDATE notes SET doc = doc || '" + doc.substr(at, 100) + "'" + where);
        docs[change.Id] = doc;
      }
      for (int again = 0; again < 2; ++again) {
        answer = statement.Execute();
        EXPECT_EQ(Rows(answer), expected(from));
        std::string fieldsAgain;
        for (const TFieldDefinition& field : answer->Fields().FieldDefinitions())
          fieldsAgain += field.Name + ":" + std::to_string(field.Type) + " ";
        EXPECT_EQ(fieldsAgain, fields);
        EXPECT_FALSE(statement.MainQuery().Plan.Live);
      }
    }
  }
  other->CloseDirectory(otherDirectory);
  FreeEngineSession(other);
}

// A fill that fails after its answer moved to the private folder leaves no
// file there and no answer; the next execution makes one and fills it.
TEST_F(SqlMemoTest, AFillFailingAfterItsAnswerMovedLeavesNoFiles) {
  Exec("CREATE TABLE notes (id INTEGER, doc BLOB(1, 1))");
  TRows expected;
  for (int id = 1; id <= 5; ++id) {
    Exec("INSERT INTO notes VALUES (" + std::to_string(id) + ", 'note " + std::to_string(id) + "')");
    expected.push_back(std::to_string(id) + "|note " + std::to_string(id));
  }
  constexpr int64_t Bound = 16 << 10;
  std::string& big = expected[1];
  while (int64_t(big.size()) <= Bound) {
    Exec("UPDATE notes SET doc = doc || doc WHERE id = 2");
    big += big.substr(2);
  }
  const TRows descending(expected.rbegin(), expected.rend());
  const auto filesBefore = FilesIn(folder);
  TQueryStatement& statement = Prepare("SELECT id, doc FROM notes ORDER BY id DESC");
  statement.MainQuery().Run.MaxAnswerFillBytes = Bound;
  // Row 2 moves the answer; the handler fails before row 4.
  statement.SetProgressHandler([](int32_t current, int32_t, bool&) {
    if (current >= 4) throw std::runtime_error("stopped");
  });
  EXPECT_THROW(statement.Execute(), std::runtime_error);
  EXPECT_FALSE(statement.MainQuery().Run.Answer);
  EXPECT_EQ(FilesIn(folder), filesBefore);
  statement.SetProgressHandler(nullptr);
  EXPECT_EQ(Rows(statement.Execute()), descending);
  EXPECT_FALSE(statement.MainQuery().Run.AnswerInMemory);
  statements.clear();
  EXPECT_EQ(FilesIn(folder), filesBefore);
}

}  // namespace

namespace {

// A canned answer copies a plain column's stored bytes when its field
// stores the value as the source's does; what it holds must be what
// reading each value and storing it again gives, for every kind of field.
TEST_F(SqlTest, CannedPlainColumnsHoldTheSourcesValues) {
  Exec("CREATE TABLE every (id AUTOINC, word CHAR(6), flag BOOLEAN, small SMALLINT, whole INTEGER, "
       "real FLOAT, money DECIMAL(12, 3), day DATE, moment TIME, stamp TIMESTAMP, note BLOB(1, 1))");
  Exec("INSERT INTO every (word, flag, small, whole, real, money, day, moment, stamp, note) VALUES "
       "('abcde', TRUE, -7, 123456, 2.5, 1234.567, '2024-02-29', '23:59:58', '2024-02-29 01:02:03', 'memo')");
  // A text that fills its field to the last byte, in two-byte characters.
  Exec("INSERT INTO every (word, flag, small, whole, real, money, day, moment, stamp, note) VALUES "
       "('\xC3\xA9\xC3\xA9', FALSE, 32767, -2147483647, -0.125, -0.001, '0001-01-01', '00:00:00', NULL, NULL)");
  Exec("INSERT INTO every (word) VALUES (NULL)");
  Exec("INSERT INTO every (word, flag, small, whole, real, money, day, moment) VALUES "
       "('', FALSE, 0, 0, 0, 0, NULL, '00:00:00')");
  const TRows stored = Query("SELECT * FROM every", true);
  ASSERT_EQ(stored.size(), 4u);
  // The source's records by their id, and the field each answer field
  // comes from.
  const auto source = NewTableCursor(directory);
  source->SetOpenOptions({.TableName = "every"});
  source->Open();
  const TCursorFields& from = source->Fields();
  std::vector<std::vector<uint8_t>> records;
  for (source->SetToBegin();;) {
    std::vector<uint8_t> record(from.CursorRecordSize());
    if (source->GetNextRecord(record.data()) != 0) break;
    records.push_back(std::move(record));
  }
  auto sourceField = [&](const std::string& name) {
    for (int position = 1; position <= from.FieldListCount(); ++position)
      if (from.FieldAt(position)->Name == (name == "again" ? "word" : name)) return position;
    return 0;
  };
  // Each answer record's fields (BLOBs aside), null bytes and value bytes,
  // as the source's values read and written one by one into a cleared record.
  auto expectWrittenAlike = [&](TTableCursor& answer) {
    TCursorFields& to = answer.Fields();
    std::vector<uint8_t> record(to.CursorRecordSize()), expected(to.CursorRecordSize());
    const int idField = [&] {
      for (int position = 1; position <= to.FieldListCount(); ++position)
        if (to.FieldAt(position)->Name == "id") return position;
      return 0;
    }();
    ASSERT_NE(idField, 0);
    for (answer.SetToBegin(); answer.GetNextRecord(record.data()) == 0;) {
      int32_t id = 0;
      ASSERT_TRUE(to.ReadField(idField, record.data(), {reinterpret_cast<uint8_t*>(&id), sizeof id}));
      ASSERT_TRUE(id >= 1 && size_t(id) <= records.size());
      to.ClearRecord(expected.data());
      for (int position = 1; position <= to.FieldListCount(); ++position) {
        const TFieldDefinition& field = *to.FieldAt(position);
        if (field.IsBlob()) continue;
        const int sourcePosition = sourceField(field.Name);
        ASSERT_NE(sourcePosition, 0) << field.Name;
        std::vector<uint8_t> value(size_t(from.FieldAt(sourcePosition)->ValueWidth()));
        if (from.ReadField(sourcePosition, records[size_t(id - 1)].data(), value))
          to.WriteField(position, expected.data(), value);
        else
          to.WriteBlank(position, expected.data());
        const auto bytes = [&](const std::vector<uint8_t>& image) {
          return std::vector<uint8_t>(image.begin() + field.RecordOffset,
                                      image.begin() + field.RecordOffset + 1 + field.StoredSize);
        };
        EXPECT_EQ(bytes(record), bytes(expected)) << "row " << id << ", " << field.Name;
      }
    }
  };
  struct TCase {
    const char* Statement;
    TRows Expected;
  };
  const TCase cases[] = {
      {"SELECT * FROM every ORDER BY id", stored},
      {"SELECT * FROM every WHERE id <> 2 ORDER BY id LANGUAGE 'ANSI Standard'", {stored[0], stored[2], stored[3]}},
      {"SELECT word, id, word AS again, note FROM every ORDER BY id",
       {"abcde|1|abcde|memo", "\xC3\xA9\xC3\xA9|2|\xC3\xA9\xC3\xA9|NULL", "NULL|3|NULL|NULL", "NULL|4|NULL|NULL"}},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Statement);
    TQueryStatement& statement = Prepare(test.Statement);
    TTableCursor* answer = statement.Execute();
    EXPECT_FALSE(statement.MainQuery().Plan.Live);
    EXPECT_EQ(Rows(answer), test.Expected);
    expectWrittenAlike(*answer);
  }
  source->Close(TTemporaryContents::Discard);
  // Beside a left join's missing row the copied columns are blank.
  Exec("CREATE TABLE other (small SMALLINT, label CHAR(4))");
  Exec("INSERT INTO other VALUES (-7, 'neg')");
  EXPECT_EQ(Query("SELECT e.id, e.small, o.label, o.small FROM every e LEFT JOIN other o ON o.small = e.small "
                  "ORDER BY e.id"),
            (TRows{"1|-7|neg|-7", "2|32767|NULL|NULL", "3|NULL|NULL|NULL", "4|0|NULL|NULL"}));
}

// A temporary answer whose rows are bounded small, or a DISTINCT's whose
// kept rows stay small, lives in memory, any other in the private folder;
// either gives the same rows in the same order, follows the bound from one
// execution to the next, and leaves nothing behind. Each statement runs
// under the bound a program has and under the smaller one of rows counted
// as they come, where more of them go to disk. Rows the row loop tests
// whose table's count bounds them small are placed as counted ones.
// One session's statements in turn: sources read by a few look-ups and
// then whole, answers of a few records and of more than their file's first
// block holds, kept in memory, on disk and enciphered, each read back
// through a statement of its own with the names and values selected.
TEST_F(SqlSelectTest, AnswersOfEverySizeAndPlaceReadBackWhatWasSelected) {
  Exec("CREATE TABLE src (id INTEGER, name CHAR(40))");
  Exec("CREATE INDEX byid ON src (id)");
  TRows all;
  for (int id = 1; id <= 300; ++id) {
    Exec("INSERT INTO src VALUES (" + std::to_string(id) + ", 'n" + std::to_string(id) + "')");
    all.push_back(std::to_string(id) + "|n" + std::to_string(id));
  }
  const TRows over100(all.begin() + 100, all.end());
  struct TCase {
    std::string Statement;
    std::string ReadBack;  // empty: the statement's own answer is read
    TRows Expected;
  };
  const TCase cases[] = {
      {"SELECT id, name FROM src WHERE id = 150", "", {all[149]}},
      {"SELECT id, name FROM src WHERE id BETWEEN 10 AND 12", "", {all[9], all[10], all[11]}},
      {"SELECT id, name FROM src", "", all},
      {"SELECT id, name FROM src WHERE id = 299 OR id = 3 ORDER BY id", "", {all[2], all[298]}},
      {"SELECT id, name INTO MEMORY kept FROM src", "SELECT id, name FROM MEMORY kept", all},
      {"SELECT id, name INTO ondisk FROM src WHERE id > 100", "SELECT * FROM ondisk", over100},
      {"SELECT id, name INTO sealed FROM src ENCRYPTED WITH 'secret'", "SELECT * FROM sealed", all},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Statement);
    for (int run = 0; run < 2; ++run) {
      std::string names;
      TRows rows;
      {
        TQueryStatement statement(directory);
        int32_t position = 0;
        statement.Prepare(test.Statement, position);
        TTableCursor* answer = statement.Execute();
        if (test.ReadBack.empty()) {
          names = FieldNames(answer);
          rows = Rows(answer);
        }
      }
      if (!test.ReadBack.empty()) {
        session->AddPassword("secret");
        TQueryStatement statement(directory);
        int32_t position = 0;
        statement.Prepare(test.ReadBack, position);
        TTableCursor* answer = statement.Execute();
        names = FieldNames(answer);
        rows = Rows(answer);
        session->RemovePassword("secret");
      }
      EXPECT_EQ(names, "id|name");
      EXPECT_EQ(rows, test.Expected);
    }
  }
}

TEST_F(SqlSelectTest, SmallAnswersLiveInMemoryAndLeaveNothing) {
  Exec("CREATE TABLE digit (d INTEGER)");
  for (int d = 0; d < 10; ++d) Exec("INSERT INTO digit VALUES (" + std::to_string(d) + ")");
  Exec("CREATE TABLE big (id INTEGER, note CHAR(250), memo BLOB(1, 1))");
  Exec("INSERT INTO big SELECT a.d * 1000 + b.d * 100 + c.d * 10 + e.d, 'n', 'm' FROM digit a, digit b, digit c, "
       "digit e");
  constexpr int64_t SmallBound = UncountedAnswerFillBytes;
  const int64_t rowsOverBytes = SmallBound / 4 / 250 + 1;
  ASSERT_LT(rowsOverBytes, 10000);
  // Every answer below fits the bound a program has, memos and all.
  ASSERT_GT(SmallAnswerFillBytes / 4, 10000 * (250 + 64));
  ASSERT_GT(SmallAnswerFillBytes, 10000 * (250 + 64 + DefaultBlobBlockSize));
  struct TCase {
    std::string Statement;
    size_t Rows;
    bool InMemory;       // under the bound a program has
    bool InSmallMemory;  // under SmallBound
  };
  const TCase cases[] = {
      {"SELECT id, note FROM big WHERE id < 5 ORDER BY id DESC", 5, true, true},
      {"SELECT id, note, memo FROM big ORDER BY id DESC", 10000, true, false},
      {"SELECT id, note FROM big WHERE id < " + std::to_string(rowsOverBytes), size_t(rowsOverBytes), true, false},
      {"SELECT id, memo FROM big WHERE id < 2000", 2000, true, true},
      {"SELECT COUNT(*), MAX(id) FROM big, digit", 1, true, true},
      {"SELECT DISTINCT note FROM big", 1, true, true},
      {"SELECT b.id FROM big b, digit g WHERE b.id = g.d", 10, false, false},
  };
  TDataDirectory* memory = session->OpenDirectory("Memory", "");
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Statement);
    TRows first;
    for (const int64_t bound : {SmallAnswerFillBytes, SmallBound}) {
      const bool inMemory = bound == SmallBound ? test.InSmallMemory : test.InMemory;
      std::string name;
      {
        TQueryStatement statement(directory);
        int32_t position = 0;
        statement.Prepare(test.Statement, position);
        statement.MainQuery().Run.MaxAnswerFillBytes = bound;
        const TRows rows = Rows(statement.Execute());
        EXPECT_EQ(rows.size(), test.Rows);
        if (first.empty()) first = rows;
        EXPECT_EQ(rows, first);
        if (test.Rows > 1 && test.Statement.find("DESC") != std::string::npos) {
          EXPECT_EQ(rows.front().substr(0, rows.front().find('|')), std::to_string(test.Rows - 1));
        }
        EXPECT_EQ(statement.MainQuery().Run.AnswerInMemory, inMemory);
        name = statement.MainQuery().Run.Answer->TableName();
        EXPECT_EQ(memory->TableExists(name, true), inMemory);
        EXPECT_EQ(directory->TableExists(name, false), !inMemory);
      }
      EXPECT_FALSE(memory->TableExists(name, true));
      EXPECT_FALSE(directory->TableExists(name, false));
    }
  }
  // One prepared statement follows its bound at every execution.
  TQueryStatement& statement = Prepare("SELECT id, note FROM big WHERE id < ? ORDER BY id DESC");
  statement.MainQuery().Run.MaxAnswerFillBytes = SmallBound;
  for (const int32_t below : {3, 10000, 7, 10000}) {
    TSqlParamValue bound;
    bound.DataType = dtInteger;
    bound.IsNull = false;
    bound.Bytes.assign(reinterpret_cast<const char*>(&below), sizeof below);
    statement.SetParams({bound});
    const TRows rows = Rows(statement.Execute());
    ASSERT_EQ(rows.size(), size_t(below));
    EXPECT_EQ(rows.front(), std::to_string(below - 1) + "|n");
    EXPECT_EQ(statement.MainQuery().Run.AnswerInMemory, below < 10000);
  }
  // A result INTO a table stays in the folder.
  Exec("SELECT id INTO kept FROM big WHERE id < 3");
  EXPECT_TRUE(directory->TableExists("kept", false));
  session->CloseDirectory(memory);
}

// A DISTINCT known by its source values begins in memory and counts the
// rows it keeps: five thousand wide texts, each twice and the copies far
// apart, with NULLs, outgrow memory half way; the answer moves to disk,
// the copies met after the move are folded by the sort, and the rows are
// GROUP BY's. Over a join and with a filter tested in the row loop, few
// kept rows stay in memory.
TEST_F(SqlSelectTest, ADistinctBeginsInMemoryAndMovesOnceItsKeptRowsOutgrowIt) {
  Exec("CREATE TABLE digit (d INTEGER, h INTEGER)");
  for (int d = 0; d < 10; ++d) Exec("INSERT INTO digit VALUES (" + std::to_string(d) + ", " + std::to_string(d % 5) + ")");
  Exec("CREATE TABLE wide (k INTEGER, t CHAR(250), u CHAR(8))");
  Exec("INSERT INTO wide SELECT a.d * 1000 + b.d * 100 + c.d * 10 + e.d, "
       "'w' || CAST(a.h * 1000 + b.d * 100 + c.d * 10 + e.d AS CHAR(4)), 'u' || CAST(e.h AS CHAR(1)) "
       "FROM digit a, digit b, digit c, digit e");
  Exec("UPDATE wide SET t = NULL, u = NULL WHERE k < 3");
  // Under the bound of rows counted as they come: the table's count does
  // not bound them so.
  ASSERT_GT(5000 * 250, UncountedAnswerFillBytes / 4);
  struct TCase {
    std::string Statement;
    std::string Same;  // gives the same rows
    size_t Rows;
    bool InMemory;
  };
  const TCase cases[] = {
      {"SELECT DISTINCT t FROM wide", "SELECT t FROM wide GROUP BY t", 5001, false},
      {"SELECT DISTINCT u FROM wide", "SELECT u FROM wide GROUP BY u", 6, true},
      {"SELECT DISTINCT u FROM wide WHERE k > 2 AND t <> 'w7'", "SELECT u FROM wide WHERE k > 2 AND t <> 'w7' GROUP BY u", 5, true},
      {"SELECT DISTINCT w.u, g.h FROM wide w, digit g WHERE g.d = 3", "SELECT w.u, g.h FROM wide w, digit g WHERE g.d = 3 GROUP BY w.u, g.h", 6, true},
  };
  const auto filesBefore = FilesIn(folder);
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Statement);
    {
      TQueryStatement statement(directory);
      int32_t position = 0;
      statement.Prepare(test.Statement, position);
      statement.MainQuery().Run.MaxAnswerFillBytes = UncountedAnswerFillBytes;
      for (int run = 0; run < 2; ++run) {
        const TRows rows = Rows(statement.Execute());
        EXPECT_EQ(statement.MainQuery().Run.AnswerInMemory, test.InMemory);
        EXPECT_EQ(rows.size(), test.Rows);
        EXPECT_EQ(rows, Query(test.Same));
      }
    }
    EXPECT_EQ(FilesIn(folder), filesBefore);
  }
}

// A condition no index serves is tested as the row loop reads each record,
// with no scan building its bitmap first; a progress handler (which counts
// the loop's moves) keeps the bitmap. Both give the same rows in the same
// order, the answer kept in the same place (under the bound of rows counted
// as they come, so that the row loop's answers begin in memory): with
// nulls, case variants and memos, answers begun in memory whose records
// outgrow it half way (5,120
// rows of a 250-byte text) and ones they fit (6,144 source rows folded into
// five distinct ones), and after another session changed the table
// between preparation and execution.
TEST_F(SqlSelectTest, ConditionsNoIndexServesGiveInTheRowLoopWhatTheirBitmapGives) {
  Exec("CREATE TABLE printed (id INTEGER, owner CHAR(12), ok BOOLEAN, note CHAR(250), doc BLOB(1, 1))");
  for (const char* row : {"1, 'Ann', TRUE, 'x', 'a1'", "2, 'ann', FALSE, 'x', NULL", "3, 'ANN', NULL, NULL, 'a3'",
                          "4, NULL, FALSE, 'x', 'n4'", "5, 'Bob', TRUE, 'x', NULL", "6, 'bob', NULL, 'x', 'b6'",
                          "7, 'Ann', FALSE, 'x', 'a7'"})
    Exec(std::string("INSERT INTO printed VALUES (") + row + ")");
  constexpr int Total = 7 << 10;
  for (int rows = 7; rows < Total; rows *= 2)
    Exec("INSERT INTO printed SELECT id + " + std::to_string(rows) + ", owner, ok, note, doc FROM printed");
  const char* const statements[] = {
      "SELECT id, owner, ok, note, doc FROM printed WHERE ok <> TRUE ORDER BY owner, id",
      "SELECT id, owner, ok, note, doc FROM printed WHERE owner = 'Ann'",
      "SELECT owner, COUNT(*), SUM(id) FROM printed WHERE ok = FALSE OR owner IS NULL GROUP BY owner",
      "SELECT COUNT(*), MIN(id) FROM printed WHERE UPPER(owner) = 'ANN' AND ok IS NULL",
      "SELECT DISTINCT owner, note FROM printed WHERE owner <> 'bob'",
      "SELECT id FROM printed WHERE doc LIKE 'a%' AND id > 7000",
  };
  auto bothWays = [&](const char* text, size_t rows, bool inMemory) {
    SCOPED_TRACE(text);
    TQueryStatement& plain = Prepare(text);
    TQueryStatement& counted = Prepare(text);
    counted.SetProgressHandler([](int32_t, int32_t, bool&) {});
    for (TQueryStatement* statement : {&plain, &counted})
      statement->MainQuery().Run.MaxAnswerFillBytes = UncountedAnswerFillBytes;
    const TRun tested = Run(plain, true);
    const TRun scanned = Run(counted, false);
    EXPECT_EQ(tested.Rows, scanned.Rows);
    EXPECT_EQ(tested.Rows.size(), rows);
    EXPECT_EQ(tested.InMemory, scanned.InMemory);
    EXPECT_EQ(tested.InMemory, inMemory);
  };
  // A null Boolean is no TRUE; a null owner is no 'bob'.
  bothWays(statements[0], 5 * Total / 7, false);
  bothWays(statements[1], 2 * Total / 7, true);
  bothWays(statements[2], 3, true);
  bothWays(statements[3], 1, true);
  bothWays(statements[4], 5, true);
  bothWays(statements[5], 72, true);
  EXPECT_EQ(Query(statements[3]), (TRows{std::to_string(Total / 7) + "|3"}));

  // Prepared, then another session changes rows both ways.
  TQueryStatement& plain = Prepare(statements[0]);
  TQueryStatement& counted = Prepare(statements[0]);
  counted.SetProgressHandler([](int32_t, int32_t, bool&) {});
  for (TQueryStatement* statement : {&plain, &counted})
    statement->MainQuery().Run.MaxAnswerFillBytes = UncountedAnswerFillBytes;
  ExecInAnotherSession({"UPDATE printed SET ok = TRUE WHERE id < 3000 AND ok = FALSE",
                        "UPDATE printed SET ok = FALSE, owner = 'bOB' WHERE id > 7000 AND ok IS NULL",
                        "DELETE FROM printed WHERE id BETWEEN 4000 AND 4200"});
  const TRun tested = Run(plain, true);
  EXPECT_EQ(tested.Rows, Run(counted, false).Rows);
  EXPECT_EQ(tested.Rows.size(), Query("SELECT id FROM printed WHERE ok IS NULL OR NOT ok").size());
  EXPECT_NE(tested.Rows.size(), size_t(5 * Total / 7));
}

// A filter an index serves in part keeps the served conditions on the
// cursor and finishes the others in the row loop, as long as the records
// the served ones let through would fit an answer in memory with a quarter
// to spare; a progress handler keeps the filter's scan. Both give the same
// rows in the same order, the answer ending in the same place (under the
// bound of rows counted as they come, where those of the loop begin in
// memory and the scan's count places them): dates on a
// range's edges and null, owners in case variants against a case-ignoring
// index, nulls, a memo tested in the loop, two served conditions and an
// unserved one, answers that fit, that outgrow memory half way (the bound's
// rows nearly all pass) and past the bound, and after another session
// changed the table between preparation and execution.
TEST_F(SqlSelectTest, FiltersAnIndexServesInPartFinishInTheRowLoopAsTheirScanWould) {
  Exec("CREATE TABLE jobs (id INTEGER, day DATE, owner CHAR(12), ok BOOLEAN, note CHAR(220), doc BLOB(1, 1))");
  Exec("CREATE INDEX byday ON jobs (day)");
  Exec("CREATE NOCASE INDEX byowner ON jobs (owner)");
  for (const char* row :
       {"1, '2025-02-28', 'Ann', TRUE, 'x', 'a1'", "2, '2025-03-01', 'ann', TRUE, 'x', NULL",
        "3, '2025-03-31', 'ANN', NULL, NULL, 'a3'", "4, '2025-04-01', NULL, TRUE, 'x', 'n4'",
        "5, NULL, 'Ann', TRUE, 'x', NULL", "6, '2025-03-15', 'Ann', FALSE, 'x', 'b6'",
        "7, '2025-03-31', 'Bob', TRUE, 'x', 'a7'", "8, '2025-03-02', 'Ann', TRUE, 'y', 'a8'"})
    Exec(std::string("INSERT INTO jobs VALUES (") + row + ")");
  constexpr int Copies = 1024;
  for (int rows = 8; rows < 8 * Copies; rows *= 2)
    Exec("INSERT INTO jobs SELECT id + " + std::to_string(rows) + ", day, owner, ok, note, doc FROM jobs");
  const std::string month = " day BETWEEN '2025-03-01' AND '2025-03-31'";
  struct TCase {
    std::string Text;
    size_t Rows;
    bool RowLoop;  // the rest tested in the loop
    bool InMemory;
  };
  const TCase cases[] = {
      {"SELECT id, day, owner, doc FROM jobs WHERE ok = TRUE AND" + month + " ORDER BY owner, day, id",
       3 * Copies, true, true},
      {"SELECT id, day, doc FROM jobs WHERE ok = TRUE AND owner = 'Ann' ORDER BY day, id", 3 * Copies, true, true},
      {"SELECT owner, COUNT(*), MIN(id) FROM jobs WHERE day >= '2025-03-31' AND ok IS NULL GROUP BY owner", 1,
       true, true},
      {"SELECT DISTINCT owner, day FROM jobs WHERE owner = 'ann' AND day < '2025-03-02' AND note = 'x'", 1, true,
       true},
      {"SELECT id FROM jobs WHERE doc LIKE 'a%' AND" + month, 3 * Copies, true, true},
      // 5,120 records of the month; the rows' records: 230 bytes.
      {"SELECT id, note FROM jobs WHERE ok = TRUE AND" + month, 3 * Copies, true, true},
      {"SELECT id, note FROM jobs WHERE (ok IS NOT NULL OR note IS NULL) AND" + month + " ORDER BY id",
       5 * Copies, true, false},
      {"SELECT id, note FROM jobs WHERE ok = TRUE AND day >= '2025-02-28'", 5 * Copies, false, false},
  };
  for (const TCase& each : cases) {
    SCOPED_TRACE(each.Text);
    TQueryStatement& plain = Prepare(each.Text);
    TQueryStatement& counted = Prepare(each.Text);
    counted.SetProgressHandler([](int32_t, int32_t, bool&) {});
    for (TQueryStatement* statement : {&plain, &counted})
      statement->MainQuery().Run.MaxAnswerFillBytes = UncountedAnswerFillBytes;
    const TRun tested = Run(plain, each.RowLoop);
    const TRun scanned = Run(counted, false);
    EXPECT_EQ(tested.Rows, scanned.Rows);
    EXPECT_EQ(tested.Rows.size(), each.Rows);
    EXPECT_EQ(tested.InMemory, scanned.InMemory);
    EXPECT_EQ(tested.InMemory, each.InMemory);
  }
  EXPECT_EQ(Query(cases[2].Text), (TRows{"ANN|" + std::to_string(Copies) + "|3"}));
  EXPECT_EQ(Query(cases[3].Text), (TRows{"ann|2025-03-01"}));

  // Prepared, then another session moves rows across the month's edges,
  // changes an owner's case and whether jobs printed, and deletes some.
  TQueryStatement& plain = Prepare(cases[0].Text);
  TQueryStatement& counted = Prepare(cases[0].Text);
  counted.SetProgressHandler([](int32_t, int32_t, bool&) {});
  for (TQueryStatement* statement : {&plain, &counted})
    statement->MainQuery().Run.MaxAnswerFillBytes = UncountedAnswerFillBytes;
  ExecInAnotherSession({"UPDATE jobs SET day = '2025-04-01' WHERE id < 2000 AND owner = 'Bob'",
                        "UPDATE jobs SET day = '2025-03-01', ok = TRUE WHERE id > 6000 AND day = '2025-02-28'",
                        "UPDATE jobs SET owner = 'bOB', ok = TRUE WHERE id > 4000 AND owner = 'ANN'",
                        "DELETE FROM jobs WHERE id BETWEEN 3000 AND 3500"});
  const TRun tested = Run(plain, true);
  EXPECT_EQ(tested.Rows, Run(counted, false).Rows);
  EXPECT_EQ(tested.Rows.size(),
            Query("SELECT id FROM jobs WHERE ok = TRUE AND day >= '2025-03-01' AND day <= '2025-03-31'").size());
  EXPECT_NE(tested.Rows.size(), size_t(3 * Copies));
}

// Threads of sessions of their own run small statements at once: their
// answers share the process's in-memory database and never each other's
// table.
TEST_F(SqlSelectTest, SmallAnswersOfThreadsAtOnceKeepApart) {
  constexpr int Threads = 4;
  constexpr int Rounds = 60;
  std::vector<std::string> failures(Threads);
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t) {
    threads.emplace_back([&, t] {
      TDataSession* own = nullptr;
      CreateEngineSession(own);
      try {
        own->SetPrivateDirectory(folder + "/");
        TDataDirectory* mine = own->OpenDirectory("", folder);
        const int32_t dept = t % 2 == 0 ? 10 : 20;
        const TRows expected = dept == 10 ? TRows{"Cy", "Ann"} : TRows{"Bob"};
        for (int round = 0; round < Rounds && failures[size_t(t)].empty(); ++round) {
          TQueryStatement statement(mine);
          int32_t position = 0;
          statement.Prepare("SELECT name FROM emp WHERE dept = " + std::to_string(dept) + " ORDER BY name DESC",
                            position);
          const TRows rows = Rows(statement.Execute());
          if (!statement.MainQuery().Run.AnswerInMemory) failures[size_t(t)] = "answer on disk";
          if (rows != expected) failures[size_t(t)] = "round " + std::to_string(round) + ": other rows";
        }
        own->CloseDirectory(mine);
      } catch (const std::exception& error) {
        failures[size_t(t)] = error.what();
      }
      FreeEngineSession(own);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& failure : failures) EXPECT_EQ(failure, "");
}

}  // namespace

namespace {

// A statement's filter and row loop share one hold of the source's read
// locks, given back when it ends: a writer of another process finds the
// table free between executions (it gives up at once otherwise) and is
// seen by the next one, as is a writer of another session; appending
// without a pause during executions, it is seen whole, every row it
// committed before a state the statement read and none half-written.
TEST_F(SqlTest, AnotherProcesssAppendsAreSeenWholeWithinAndBetweenExecutions) {
  Exec("CREATE TABLE rows (ID INTEGER, NAME CHAR(20), GRP INTEGER)");
  // The rows the writers append: ID n, NAME "Nn", GRP n mod 100.
  auto upTo = [](int32_t last) {
    TRows rows;
    for (int32_t id = 1; id <= last; ++id)
      if (id % 100 < 50) rows.push_back(std::to_string(id) + "|N" + std::to_string(id) + "|" + std::to_string(id % 100));
    return rows;
  };
  TQueryStatement& statement = Prepare("SELECT ID, NAME, GRP FROM rows WHERE GRP < 50");
  EXPECT_EQ(Rows(statement.Execute()), TRows{});
  TableHelperProcess writer;
  ASSERT_EQ(writer.Ask("retry 0 0"), 0u);
  ASSERT_EQ(writer.Ask("cursor " + folder + " rows shared"), 0u);
  ASSERT_EQ(writer.Ask("insert 1 100"), 0u);
  EXPECT_EQ(Rows(statement.Execute()), upTo(100));
  ASSERT_EQ(writer.Ask("insert 101 100"), 0u);
  EXPECT_EQ(Rows(statement.Execute()), upTo(200));

  ExecInAnotherSession({"INSERT INTO rows VALUES (201, 'N201', 1)"});
  EXPECT_EQ(Rows(statement.Execute()), upTo(201));

  ASSERT_EQ(writer.Ask("retry 50 100"), 0u);
  ASSERT_EQ(writer.Ask("insertendless 202 1"), 0u);
  // Until the writer has gone two hundreds past: rows of groups 50 to 99
  // are appended unseen.
  int32_t seen = 201;
  for (int run = 0; seen < 400; ++run) {
    ASSERT_LT(run, 100000) << "the writer stopped after " << seen;
    const TRows rows = Rows(statement.Execute());
    ASSERT_FALSE(rows.empty());
    const int32_t last = std::stoi(rows.back().substr(0, rows.back().find('|')));
    ASSERT_GE(last, seen);
    ASSERT_EQ(rows, upTo(last)) << "run " << run;
    seen = last;
  }
  writer.Kill();
}

// A filter's scan of scattered rows reads across short gaps, keeps in
// memory only the rows it wants and reads nothing for a stretch whose
// wanted rows memory holds, so a statement run again on a table kept open
// is served from memory. Another process's and another session's inserts,
// changes and deletes between executions are seen all the same: every
// answer is what a fresh session reads, and what the changes made.
TEST_F(SqlTest, ScatteredRowsServedFromMemoryShowOtherUsersChangesBetweenExecutions) {
  constexpr int32_t Filled = 1500;
  Exec("CREATE TABLE rows (ID INTEGER, NAME CHAR(20), GRP INTEGER)");
  Exec("CREATE INDEX ByGrp ON rows (GRP)");
  TableHelperProcess other;
  ASSERT_EQ(other.Ask("cursor " + folder + " rows shared"), 0u);
  ASSERT_EQ(other.Ask("insert 1 " + std::to_string(Filled)), 0u);  // ID n, NAME "Nn", GRP n mod 100
  // Groups 7 and 12 as one: stretches of six records, the first and last
  // wanted, 95 records apart.
  Exec("UPDATE rows SET GRP = 7 WHERE GRP = 12");
  std::map<int32_t, std::string> model;  // ID -> "NAME|GRP" of the rows in group 7
  for (int32_t id = 1; id <= Filled; ++id)
    if (id % 100 == 7 || id % 100 == 12) model[id] = "N" + std::to_string(id) + "|7";
  const std::string text = "SELECT ID, NAME, GRP FROM rows WHERE GRP = 7";
  auto fresh = [&] { return RowsOfAFreshSession(text); };
  auto modelled = [&] {
    TRows rows;
    for (const auto& [id, rest] : model) rows.push_back(std::to_string(id) + "|" + rest);
    return rows;
  };
  // The program keeps the table open between statements (its grid).
  const std::unique_ptr<TTableCursor> held = NewTableCursor(directory);
  held->SetOpenOptions({.TableName = "rows"});
  held->Open();
  const TDataFile& data = static_cast<TDataCursor&>(*held).Table()->DataFile();
  TQueryStatement& statement = Prepare(text);
  auto check = [&](const char* when, bool fromMemory) {
    SCOPED_TRACE(when);
    const uint32_t reads = data.PhysicalReads();
    TRows rows = Rows(statement.Execute());
    EXPECT_EQ(rows, fresh());
    std::sort(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
      return std::stoi(a) < std::stoi(b);
    });
    EXPECT_EQ(rows, modelled());
    if (fromMemory) {
      EXPECT_EQ(data.PhysicalReads(), reads);
    } else {
      EXPECT_GT(data.PhysicalReads(), reads);
    }
  };
  check("first", false);
  check("again", true);

  ASSERT_EQ(other.Ask("insert 1501 10"), 0u);
  model[1507] = "N1507|7";
  ASSERT_EQ(other.Ask("setgroup 109 7"), 0u);  // a record of a stretch's gap
  model[109] = "N109|7";
  ASSERT_EQ(other.Ask("deleteid 207"), 0u);
  model.erase(207);
  ASSERT_EQ(other.Ask("setgroup 312 8"), 0u);
  model.erase(312);
  check("after another process's changes", false);
  check("again after them", true);

  ExecInAnotherSession({"UPDATE rows SET NAME = 'changed' WHERE ID = 407", "UPDATE rows SET GRP = 7 WHERE ID = 510",
                        "UPDATE rows SET GRP = 9 WHERE ID = 612", "DELETE FROM rows WHERE ID = 707",
                        "INSERT INTO rows VALUES (2000, 'N2000', 7)"});
  model[407] = "changed|7";
  model[510] = "N510|7";
  model.erase(612);
  model.erase(707);
  model[2000] = "N2000|7";
  check("after another session's changes", false);
  check("again after those", true);
}

// A filter's scan that wants more scattered rows than the record cache
// holds keeps what fits instead of cycling the cache: run again, it finds
// those rows in memory; a statement wanting other rows takes their place
// within an execution; the cache never grows past its bound. Other users'
// inserts, changes and deletes between executions, and this session's own,
// are seen all the same: every answer is what a fresh session reads, and
// what the changes made.
TEST_F(SqlTest, AScanLargerThanTheRecordCacheKeepsWhatFitsAcrossExecutions) {
  constexpr int32_t Filled = 3000;
  constexpr int64_t CacheBytes = 600;
  const TCacheSizes defaults = session->CacheSizes;
  session->CacheSizes.RecordBytes = CacheBytes;
  Exec("CREATE TABLE rows (ID INTEGER, NAME CHAR(20), GRP INTEGER)");
  Exec("CREATE INDEX ByGrp ON rows (GRP)");
  TableHelperProcess other;
  ASSERT_EQ(other.Ask("cursor " + folder + " rows shared"), 0u);
  // ID n, NAME "Nn", GRP n mod 100: a group's 30 rows lie 100 records
  // apart, each read alone.
  ASSERT_EQ(other.Ask("insert 1 " + std::to_string(Filled)), 0u);
  std::map<int32_t, std::pair<std::string, int32_t>> model;  // ID -> NAME, GRP
  for (int32_t id = 1; id <= Filled; ++id) model[id] = {"N" + std::to_string(id), id % 100};
  auto text = [](int32_t group) { return "SELECT ID, NAME, GRP FROM rows WHERE GRP = " + std::to_string(group); };
  auto fresh = [&](int32_t group) { return RowsOfAFreshSession(text(group)); };
  auto modelled = [&](int32_t group) {
    TRows rows;
    for (const auto& [id, row] : model)
      if (row.second == group) rows.push_back(std::to_string(id) + "|" + row.first + "|" + std::to_string(group));
    return rows;
  };
  // The program keeps the table open between statements (its grid).
  const std::unique_ptr<TTableCursor> held = NewTableCursor(directory);
  held->SetOpenOptions({.TableName = "rows"});
  held->Open();
  const TDataFile& data = static_cast<TDataCursor&>(*held).Table()->DataFile();
  const int32_t capacity = int32_t(CacheBytes / data.RecordSize());
  ASSERT_GE(capacity, 8);
  ASSERT_LE(capacity, 20);  // a group's rows do not fit
  std::map<int32_t, TQueryStatement*> statements;
  for (const int32_t group : {7, 23}) statements[group] = &Prepare(text(group));

  enum class TMemory { None, Kept, Unmeasured };
  const struct {
    const char* Label;
    int32_t Group;
    std::function<void()> Change;
    TMemory Memory;
  } steps[] = {
      {"first", 7, nullptr, TMemory::None},
      {"again", 7, nullptr, TMemory::Kept},
      {"once more", 7, nullptr, TMemory::Kept},
      {"after another process's insert, changes and delete", 7,
       [&] {
         ASSERT_EQ(other.Ask("insert 3001 100"), 0u);
         for (int32_t id = 3001; id <= 3100; ++id) model[id] = {"N" + std::to_string(id), id % 100};
         ASSERT_EQ(other.Ask("setgroup 107 8"), 0u);  // a row memory holds
         model[107].second = 8;
         ASSERT_EQ(other.Ask("setgroup 1 7"), 0u);
         model[1].second = 7;
         ASSERT_EQ(other.Ask("deleteid 207"), 0u);
         model.erase(207);
       },
       TMemory::Unmeasured},
      {"again after them", 7, nullptr, TMemory::Kept},
      {"after this session's own change and delete", 7,
       [&] {
         Exec("UPDATE rows SET NAME = 'mine' WHERE ID = 307");
         model[307].first = "mine";
         Exec("DELETE FROM rows WHERE ID = 407");
         model.erase(407);
       },
       TMemory::Unmeasured},
      {"again after those", 7, nullptr, TMemory::Kept},
      {"other rows", 23, nullptr, TMemory::None},
      {"the other rows again: they took memory's place", 23, nullptr, TMemory::Kept},
      {"the first rows again", 7, nullptr, TMemory::None},
      {"and again", 7, nullptr, TMemory::Kept},
      {"after another session's changes", 7,
       [&] {
         ExecInAnotherSession({"UPDATE rows SET NAME = 'changed' WHERE ID = 507", "UPDATE rows SET GRP = 7 WHERE ID = 2950",
                               "DELETE FROM rows WHERE ID = 607", "INSERT INTO rows VALUES (5000, 'N5000', 7)"});
         model[507].first = "changed";
         model[2950].second = 7;
         model.erase(607);
         model[5000] = {"N5000", 7};
       },
       TMemory::Unmeasured},
      {"again after those", 7, nullptr, TMemory::Kept},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Label);
    if (step.Change) step.Change();
    const uint32_t before = data.PhysicalReads();
    TRows rows = Rows(statements[step.Group]->Execute());
    const int64_t reads = int64_t(data.PhysicalReads() - before);
    const int64_t wanted = int64_t(rows.size());
    EXPECT_LE(data.CachedRecordCount(), capacity);
    EXPECT_EQ(rows, fresh(step.Group));
    std::sort(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
      return std::stoi(a) < std::stoi(b);
    });
    EXPECT_EQ(rows, modelled(step.Group));
    // Each row not in memory is a read of its own.
    if (step.Memory == TMemory::None) {
      EXPECT_LT(wanted - reads, capacity / 2);
    } else if (step.Memory == TMemory::Kept) {
      // What fits comes from memory, the rest from the file.
      EXPECT_GE(wanted - reads, capacity / 2);
      EXPECT_GT(reads, 0);
    }
  }
  session->CacheSizes = defaults;
}

// The row loop's clock readings over rows of a pace that changes: fast
// rows are read further apart (fewer readings), never more than a
// sixteenth of a batch apart once the pace is known, and rows that turn
// slow are read the fewest rows apart from the first reading after the
// change, so a lock batch outlasts its time by the rows of one gap.
TEST(SqlClockPaceTest, ReadingsFollowTheRowsPace) {
  using std::chrono::nanoseconds;
  const nanoseconds batch = std::chrono::microseconds(1000);
  const struct {
    const char* Label;
    nanoseconds First, Then;  // each row's time, for 100,000 rows each
  } cases[] = {{"fast", nanoseconds(50), nanoseconds(50)},
               {"fast, then slow", nanoseconds(50), nanoseconds(20000)},
               {"slow, then fast", nanoseconds(20000), nanoseconds(50)},
               {"near a sixteenth of the batch", nanoseconds(3000), nanoseconds(4000)}};
  constexpr int Rows = 100000;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.Label);
    TClockPace pace;
    nanoseconds now{0}, last{0}, longestBefore{0}, change{0}, longestAfter{0};
    int readings = 0, readingsBefore = 0;
    for (int row = 0; row < 2 * Rows; ++row) {
      now += row < Rows ? test.First : test.Then;
      if (!pace.Row()) continue;
      const nanoseconds since = now - last;
      pace.Read(since, batch);
      last = now;
      ++readings;
      if (row < Rows) {
        readingsBefore = readings;
        // The first few readings learn the pace.
        if (readings > 4) longestBefore = std::max(longestBefore, since);
      } else if (readings == readingsBefore + 1) {
        change = since;  // may hold rows of both paces
      } else {
        longestAfter = std::max(longestAfter, since);
      }
    }
    // Never further apart than a sixteenth of the batch, or than the
    // fewest rows at the pace they come at.
    EXPECT_LE(longestBefore, std::max(batch / 16, TClockPace::FewestRows * test.First));
    EXPECT_LE(change, TClockPace::MostRows * std::max(test.First, test.Then));
    EXPECT_LE(longestAfter, std::max(batch / 16, TClockPace::FewestRows * test.Then));
    // Fast rows are read the most rows apart.
    if (test.First == nanoseconds(50)) {
      EXPECT_LE(readingsBefore, Rows / int(TClockPace::MostRows) + 3);
    }
    if (test.Then == nanoseconds(50)) {
      EXPECT_LE(readings - readingsBefore, Rows / int(TClockPace::MostRows) + 3);
    }
  }
}

}  // namespace
