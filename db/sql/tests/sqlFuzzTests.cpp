// Mutated statements: whatever the text, the answer is a result or an
// engine error, and a statement that fails leaves the tables as they were.

#include <chrono>
#include <random>

#include "sqlTestSupport.h"

namespace {

constexpr const char* Seeds[] = {
    "SELECT DISTINCT a, b FROM t WHERE a > 1 AND b LIKE 'x%' ORDER BY b DESC NOCASE",
    "SELECT t.a, u.d, COUNT(*) FROM t LEFT OUTER JOIN u ON t.a = u.a WHERE t.c IS NULL GROUP BY 1, 2 HAVING "
    "COUNT(*) > 0",
    "SELECT a, SUM(a), AVG(a), MIN(b), MAX(c) FROM t GROUP BY a ORDER BY 2",
    "SELECT * FROM t, u WHERE t.a = u.a OR u.d = 'q' NOJOINOPTIMIZE",
    "SELECT a FROM t WHERE a IN (SELECT a FROM u WHERE d <> 'x') AND b BETWEEN 'a' AND 'z'",
    "SELECT UPPER(b) || '-' || CAST(a AS CHAR(5)), EXTRACT(YEAR FROM c) FROM t RIGHT JOIN u ON u.a = t.a",
    "INSERT INTO t (a, b, c) VALUES (7, 'seven', '2024-07-07') COMMIT INTERVAL 2",
    "INSERT INTO u SELECT a, b FROM t WHERE a < 3",
    "UPDATE t SET b = b || 'x', a = a + 1 WHERE a >= 2 AND c > '2024-01-01'",
    "DELETE FROM u WHERE d = 'one' OR a IN (SELECT a FROM t)",
    "CREATE TABLE v (x INTEGER NOT NULL DEFAULT 1, y CHAR(10) CHARCASE UPPER, PRIMARY KEY (x) DESCRIPTION 'd')",
    "CREATE UNIQUE NOCASE INDEX ix ON t (b) COMPRESS FULL",
    "ALTER TABLE u ADD e INTEGER AT 1, REDEFINE d dd CHAR(20), DROP a LAST AUTOINC 5",
    "SELECT a INTO MEMORY m FROM t WITH LOCKS LANGUAGE 'ANSI Standard' ENCRYPTED WITH 'pw'",
    "DROP INDEX t.PRIMARY",
    "SELECT a FROM t x WHERE a IN (SELECT u.a FROM u WHERE u.d = x.b AND u.a NOT IN (SELECT a FROM t WHERE c = x.c))",
    "DELETE FROM t WHERE a IN (SELECT a FROM u WHERE u.d = t.b)",
};

constexpr const char* Splices[] = {"(", ")", "'", "\"", ",", ".", "*", "?", ";", " SELECT ", " FROM ", " WHERE ",
                                   " JOIN ", " ON ", " IN (", " AND ", " OR ", " NOT ", " GROUP BY ", " ORDER BY ",
                                   " 99999999999 ", " -1 ", " 2.5 ", " NULL ", " COUNT(*) ", " '2024-13-45' ",
                                   "[", "]", "/*", "#300", " MEMORY ", " t ", " u.a ", " = "};

class SqlFuzzTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Reset();
  }

  void Reset() {
    for (const char* table : {"t", "u", "v"}) {
      const auto cursor = NewTableCursor(directory);
      cursor->SetOpenOptions({.TableName = table});
      try {
        cursor->Admin().DeleteTable();
      } catch (const EEngineError&) {
      }
    }
    Exec("CREATE TABLE t (a INTEGER, b CHAR(10), c DATE, PRIMARY KEY (a))");
    Exec("CREATE TABLE u (a INTEGER, d CHAR(10))");
    for (int i = 1; i <= 4; ++i) {
      const std::string n = std::to_string(i);
      Exec("INSERT INTO t VALUES (" + n + ", 'b" + n + "', '2024-0" + n + "-01')");
      Exec("INSERT INTO u VALUES (" + n + ", 'one')");
    }
  }

  int32_t Count(const std::string& table) {
    try {
      const TRows rows = Query("SELECT COUNT(*) FROM " + table);
      return rows.empty() ? -1 : std::stoi(rows.front());
    } catch (const EEngineError&) {
      return -1;  // the table went away or lost its shape
    }
  }

  static std::string Mutate(std::mt19937& random, std::string text) {
    const int edits = 1 + int(random() % 3);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      const size_t at = random() % (text.size() + 1);
      switch (random() % 4) {
        case 0:
          text.erase(at, 1 + random() % 6);
          break;
        case 1:
          text.insert(at, Splices[random() % std::size(Splices)]);
          break;
        case 2:
          if (at < text.size()) text[at] = char(32 + random() % 95);
          break;
        default:
          text = text.substr(0, at);
          break;
      }
    }
    return text;
  }
};

TEST_F(SqlFuzzTest, MutatedStatementsFailCleanly) {
  std::mt19937 random(20261207);
  // At least MinRuns statements whatever the machine's speed (a sanitizer
  // build on a loaded machine gets through few in the time), more while
  // the time lasts.
  constexpr int MinRuns = 50;
  const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int runs = 0, failures = 0;
  for (; runs < 3000 && (runs < MinRuns || std::chrono::steady_clock::now() < stop); ++runs) {
    const std::string text = Mutate(random, Seeds[random() % std::size(Seeds)]);
    const int32_t before[2] = {Count("t"), Count("u")};
    bool failed = false;
    try {
      TQueryStatement statement(directory);
      int32_t position = 0;
      statement.Prepare(text, position);
      if (statement.ParamCount() > 0) {
        TSqlParamValue value;
        value.DataType = dtInteger;
        value.IsNull = false;
        value.Bytes.assign(4, '\1');
        statement.SetParams(std::vector<TSqlParamValue>(size_t(statement.ParamCount()), value));
      }
      Rows(statement.Execute());
    } catch (const EEngineError&) {
      failed = true;
    } catch (const Exception& error) {
      ADD_FAILURE() << "not an engine error for: " << text << "\n  " << error.Message;
      failed = true;
    }
    if (failed) {
      ++failures;
      const bool stepped = text.find("INTERVAL") != std::string::npos;
      if (!stepped) {
        EXPECT_EQ(Count("t"), before[0]) << text;
        EXPECT_EQ(Count("u"), before[1]) << text;
      }
    }
    if (runs % 50 == 49) Reset();
  }
  EXPECT_GT(failures, runs / 4);
}

}  // namespace
