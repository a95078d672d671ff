// Lexing and parsing: statement kinds, keywords in any case, names and
// aliases, and the exact message of each syntax error.

#include "sqlTestSupport.h"

namespace {

class SqlParserTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE t (a INTEGER, b CHAR(10), c DATE)");
    Exec("CREATE TABLE u (a INTEGER, d CHAR(10))");
  }
};

TEST_F(SqlParserTest, CaseOfKeywordsAndClosingSemicolonParseAlike) {
  Exec("insert into t values (1, 'x', '2024-01-02')");
  EXPECT_EQ(Query("select a, b from t where a = 1"), Query("SELECT A, B FROM T WHERE A = 1;"));
  // Only the first statement of a script is read; the position says where
  // the next begins.
  TQueryStatement statement(directory);
  int32_t position = 0;
  const std::string script = "SELECT a FROM t; garbage that is not read";
  statement.Prepare(script, position);
  EXPECT_EQ(position, int32_t(script.find(';') + 1));
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"1"}));
}

TEST_F(SqlParserTest, AliasesAndCorrelationNames) {
  Exec("INSERT INTO t VALUES (1, 'x', NULL)");
  TQueryStatement& statement = Prepare("SELECT a first, b AS \"second\", x.c FROM t x WHERE x.a = 1");
  TDataQuery& query = statement.MainQuery();
  ASSERT_EQ(query.Plan.ResultFields.size(), 3u);
  EXPECT_EQ(query.Plan.ResultFields[0]->Name, "first");
  EXPECT_EQ(query.Plan.ResultFields[1]->Name, "second");
  EXPECT_EQ(query.Plan.ResultFields[2]->Name, "c");
  ASSERT_EQ(query.Parsed.Select.Items.size(), 3u);
  EXPECT_FALSE(query.Parsed.Select.Items[1]->GeneratedName);
  EXPECT_EQ(query.Parsed.Select.Items[2]->SourceQualifier, "x");
  EXPECT_EQ(query.Parsed.Sources.Tables.front()->CorrelationName, "x");
  // WHERE after a table name is never its correlation name.
  EXPECT_EQ(Prepare("SELECT a FROM t WHERE a = 1").MainQuery().Parsed.Sources.Tables.front()->CorrelationName, "t");
}

TEST_F(SqlParserTest, StatementKindsAndModelDefaults) {
  EXPECT_EQ(Prepare("SELECT a FROM t").MainQuery().Parsed.Kind, qkSelect);
  TQueryStatement& insert = Prepare("INSERT INTO t VALUES (1, 'a', NULL)");
  EXPECT_EQ(insert.MainQuery().Parsed.Kind, qkInsert);
  EXPECT_TRUE(insert.MainQuery().Parsed.LiveRequested);
  EXPECT_EQ(Prepare("UPDATE t SET a = 1").MainQuery().Parsed.Kind, qkUpdate);
  EXPECT_EQ(Prepare("DELETE FROM t").MainQuery().Parsed.Kind, qkDelete);
  EXPECT_EQ(Prepare("CREATE TABLE v (a INTEGER)").MainQuery().Parsed.Kind, qkCreateTable);
  EXPECT_EQ(Prepare("CREATE UNIQUE NOCASE INDEX ib ON t (b)").MainQuery().Parsed.Kind, qkCreateIndex);
  EXPECT_EQ(Prepare("ALTER TABLE t ADD e INTEGER").MainQuery().Parsed.Kind, qkAlterTable);
  EXPECT_EQ(Prepare("DROP TABLE t").MainQuery().Parsed.Kind, qkDropTable);
  EXPECT_EQ(Prepare("DROP INDEX t.ib").MainQuery().Parsed.Kind, qkDropIndex);
  TDataQuery& query = Prepare("SELECT a FROM t").MainQuery();
  EXPECT_EQ(query.Run.MaxRowCount, -1);
  EXPECT_EQ(query.Parsed.Options.BlobBlockSize, 512);
  EXPECT_EQ(query.Parsed.Options.UserMajorVersion, 1);
  EXPECT_EQ(query.Parsed.Options.LastAutoInc, -1);
}

TEST_F(SqlParserTest, RightJoinPutsItsTableFirst) {
  TDataQuery& query = Prepare("SELECT t.a FROM t RIGHT OUTER JOIN u ON t.a = u.a").MainQuery();
  ASSERT_EQ(query.Parsed.Sources.Tables.size(), 2u);
  EXPECT_EQ(query.Parsed.Sources.Tables[0]->CorrelationName, "u");
  EXPECT_EQ(query.Parsed.Sources.Tables[1]->CorrelationName, "t");
}

TEST_F(SqlParserTest, FullOuterJoinIsRefusedButFullAfterATableIsItsName) {
  EXPECT_EQ(SqlError("SELECT t.a FROM t JOIN u ON t.a = u.a FULL JOIN t x ON x.a = u.a"),
            "Full outer joins are currently not supported in MDB SQL SELECT statements");
  TDataQuery& query = Prepare("SELECT FULL.a FROM t FULL JOIN u ON FULL.a = u.a").MainQuery();
  EXPECT_EQ(query.Parsed.Sources.Tables[0]->CorrelationName, "FULL");
}

TEST_F(SqlParserTest, InsertWithoutColumnListTakesAllColumns) {
  TDataQuery& query = Prepare("INSERT INTO t VALUES (1, 'a', NULL)").MainQuery();
  ASSERT_EQ(query.Plan.Change.Fields.size(), 3u);
  EXPECT_EQ(query.Plan.Change.Fields[1].Name, "b");
  EXPECT_EQ(query.Plan.Change.Fields[1].FieldNo, 2);
  // The statement keeps what was written.
  ASSERT_EQ(query.Parsed.Change.Columns.size(), 1u);
  EXPECT_EQ(query.Parsed.Change.Columns.front().Name, "*");
}

TEST_F(SqlParserTest, MessagesOfTheDispatch) {
  EXPECT_EQ(SqlError("SELEC a FROM t"),
            "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found 'SELEC'");
  EXPECT_EQ(SqlError("CREATE VIEW v"), "TABLE or INDEX keyword expected, instead found 'VIEW'");
  EXPECT_EQ(SqlError("ALTER INDEX x"), "TABLE keyword expected, instead found 'INDEX'");
  EXPECT_EQ(SqlError("DROP VIEW v"), "TABLE or INDEX keyword expected, instead found 'VIEW'");
  EXPECT_EQ(SqlError(""), "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found ''");
}

TEST_F(SqlParserTest, MessagesOfSelect) {
  // Keywords are not reserved: FROM here is a column, t its alias.
  EXPECT_EQ(SqlError("SELECT FROM t"), "FROM keyword expected, instead found ''");
  EXPECT_EQ(ErrorOf("SELECT a, * FROM t"), "");
  EXPECT_EQ(SqlError("SELECT"), "Source column expression is empty");
  EXPECT_EQ(SqlError("SELECT a AS , b FROM t"), "Symbol or string expected after AS keyword, instead found ','");
  EXPECT_EQ(SqlError("SELECT a x. , b FROM t"), "Symbol or string expected after table correlation name, instead found ','");
  EXPECT_EQ(SqlError("SELECT a INTO 5 FROM t"), "Result table name expected in INTO clause, instead found '5'");
  EXPECT_EQ(SqlError("SELECT a INTO MEMORY 5 FROM t"),
            "Result table name expected in INTO MEMORY clause, instead found '5'");
  EXPECT_EQ(SqlError("SELECT a t"), "FROM keyword expected, instead found ''");
  EXPECT_EQ(SqlError("SELECT a FROM 5"), "Table name expected after FROM keyword, instead found '5'");
  EXPECT_EQ(SqlError("SELECT a FROM MEMORY 5"), "Table name expected, instead found '5'");
  EXPECT_EQ(SqlError("SELECT a FROM t AS 5"), "Symbol or string expected after AS keyword, instead found '5'");
  EXPECT_EQ(SqlError("SELECT a FROM t x, u x"), "Duplicate table correlation name 'x' found in source tables");
  EXPECT_EQ(SqlError("SELECT t.a FROM t INNER u"), "JOIN keyword expected after INNER keyword, instead found 'u'");
  EXPECT_EQ(SqlError("SELECT t.a FROM t LEFT OUTER u"),
            "JOIN keyword expected after LEFT or OUTER keyword, instead found 'u'");
  EXPECT_EQ(SqlError("SELECT t.a FROM t RIGHT u"), "JOIN keyword expected after RIGHT or OUTER keyword, instead found 'u'");
  EXPECT_EQ(SqlError("SELECT t.a FROM t JOIN 5"), "Table name expected after JOIN keyword, instead found '5'");
  EXPECT_EQ(SqlError("SELECT t.a FROM t JOIN u x WHERE t.a = 1"), "ON keyword expected in JOIN clause, instead found 'WHERE'");
  EXPECT_EQ(SqlError("SELECT t.a FROM t JOIN u ON"), "WHERE or JOIN clause is empty");
  EXPECT_EQ(SqlError("SELECT a FROM t WHERE"), "WHERE or JOIN clause is empty");
  EXPECT_EQ(SqlError("SELECT a FROM t GROUP a"), "BY keyword expected after GROUP keyword, instead found 'a'");
  EXPECT_EQ(SqlError("SELECT a FROM t GROUP BY +"),
            "Column name or column number expected in GROUP BY clause, instead found '+'");
  EXPECT_EQ(SqlError("SELECT a FROM t GROUP BY a HAVING"), "HAVING clause is empty");
  EXPECT_EQ(SqlError("SELECT a FROM t ORDER a"), "BY keyword expected after ORDER keyword, instead found 'a'");
  EXPECT_EQ(SqlError("SELECT a FROM t ORDER BY ("),
            "Column name or column number expected in ORDER BY clause, instead found '('");
  EXPECT_EQ(SqlError("SELECT a FROM t WITH a"), "LOCKS keyword expected after WITH keyword, instead found 'a'");
  EXPECT_EQ(SqlError("SELECT a FROM t ENCRYPTED 'x'"), "WITH keyword expected after ENCRYPTED keyword, instead found 'x'");
  EXPECT_EQ(SqlError("SELECT a FROM t x LANGUAGE 'Klingon'"),
            "Invalid language constant 'Klingon' specified after LANGUAGE keyword");
  EXPECT_EQ(SqlError("SELECT a FROM t x y"), "End of SELECT statement expected, instead found 'y'");
  EXPECT_EQ(SqlError("SELECT SUM(SUM(a)) FROM t"), "Aggregate functions cannot be nested");
  EXPECT_EQ(SqlError("SELECT SUM(a) + 1 FROM t"), "Aggregate functions cannot be used within expressions");
  EXPECT_EQ(ErrorOf("SELECT a FROM t WHERE a = ?"), "");
  EXPECT_EQ(SqlError("SELECT a FROM t JOIN u ON t.a IN (SELECT a FROM u)"),
            "Sub-select queries are not allowed in WHERE or JOIN clause");
}

TEST_F(SqlParserTest, MessagesOfInsertUpdateDelete) {
  EXPECT_EQ(SqlError("INSERT t VALUES (1)"), "INTO keyword expected, instead found 't'");
  EXPECT_EQ(SqlError("INSERT INTO 5 VALUES (1)"), "Table name expected after INTO clause, instead found '5'");
  EXPECT_EQ(SqlError("INSERT INTO MEMORY 5 VALUES (1)"), "Table name expected after INTO keyword, instead found '5'");
  EXPECT_EQ(SqlError("INSERT INTO t (a, b VALUES (1)"),
            "Right parentheses expected after list of table columns, instead found 'VALUES'");
  EXPECT_EQ(SqlError("INSERT INTO t (a) VALUES 1"), "Left parentheses expected after VALUES keyword, instead found '1'");
  EXPECT_EQ(SqlError("INSERT INTO t (a) VALUES (1 2)"), "Right parentheses expected after list of values, instead found '2'");
  EXPECT_EQ(SqlError("INSERT INTO t (a) VALUES ()"), "Value expression is empty");
  EXPECT_EQ(SqlError("INSERT INTO t (a) (1)"), "VALUES or SELECT  keyword expected, instead found '('");
  EXPECT_EQ(SqlError("INSERT INTO t (a) VALUES (1) COMMIT 5"),
            "INTERVAL keyword expected after COMMIT keyword, instead found '5'");
  EXPECT_EQ(SqlError("INSERT INTO t (a) VALUES (1) COMMIT INTERVAL 0"),
            "COMMIT INTERVAL specified (0) is invalid, it must be greater than 0");
  EXPECT_EQ(SqlError("INSERT INTO t (a) VALUES (1) COMMIT INTERVAL"), "Commit interval is empty");
  EXPECT_EQ(SqlError("INSERT INTO t (a) VALUES (1) x"), "End of INSERT statement expected, instead found 'x'");
  EXPECT_EQ(SqlError("UPDATE 5 SET a = 1"), "Table name expected, instead found '5'");
  EXPECT_EQ(SqlError("UPDATE t a = 1"), "SET keyword expected, instead found '='");
  EXPECT_EQ(SqlError("UPDATE t SET a 1"), "Assignment (=) operator expected after column name, instead found '1'");
  EXPECT_EQ(SqlError("UPDATE t SET = 1"), "Table column name is empty");
  EXPECT_EQ(SqlError("UPDATE t SET a = 1 b"), "End of UPDATE statement expected, instead found 'b'");
  EXPECT_EQ(SqlError("DELETE t"), "FROM keyword expected, instead found 't'");
  EXPECT_EQ(SqlError("DELETE FROM 5"), "Table name expected, instead found '5'");
  EXPECT_EQ(SqlError("DELETE FROM t WHERE a = 1 b"), "End of DELETE statement expected, instead found 'b'");
}

TEST_F(SqlParserTest, WholeNumberClausesRefuseFractionsAndRanges) {
  EXPECT_EQ(SqlError("DELETE FROM t COMMIT INTERVAL 2.5"),
            "Whole number expected in commit interval, instead found '2.5'");
  EXPECT_EQ(SqlError("DELETE FROM t COMMIT INTERVAL 'x'"), "Whole number expected in commit interval, instead found ''x''");
  EXPECT_EQ(SqlError("DELETE FROM t COMMIT INTERVAL 99999999999"), "'99999999999' is not a valid integer value");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER BLOB BLOCK SIZE 70000)"),
            "Value 70000 in BLOB block size must be between 1 and 65535");
  EXPECT_EQ(SqlError("ALTER TABLE t LAST AUTOINC -1"),
            "Value -1 in next auto-increment number must be between 0 and 2147483647");
  EXPECT_EQ(SqlError("DELETE FROM t COMMIT INTERVAL -3"),
            "COMMIT INTERVAL specified (-3) is invalid, it must be greater than 0");
}

TEST_F(SqlParserTest, MessagesOfDefinitions) {
  EXPECT_EQ(SqlError("CREATE TABLE 5 (a INTEGER)"), "Table name expected after CREATE TABLE keywords, instead found '5'");
  EXPECT_EQ(SqlError("CREATE TABLE v a INTEGER"), "Left parentheses expected before list of table columns, instead found 'a'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER) x"), "End of CREATE TABLE statement expected, instead found 'x'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER x"),
            "Right parentheses expected after CREATE TABLE statement, instead found 'x'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER NOT 5)"), "NULL keyword expected after NOT keyword, instead found '5'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a CHAR(5) CHARCASE MIXED)"),
            "UPPER, LOWER, or NOCHANGE keyword expected after CHARCASE keyword, instead found 'MIXED'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER, UNIQUE KEY (a))"), "PRIMARY keyword expected, instead found 'KEY'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER, PRIMARY (a))"), "KEY keyword expected after PRIMARY keyword, instead found '('");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER, PRIMARY KEY a)"), "Left parentheses expected after KEY keyword, instead found 'a'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER, PRIMARY KEY (a)"),
            "Right parentheses expected after CREATE TABLE statement, instead found ''");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER, PRIMARY KEY (a) COMPRESS SOME)"),
            "FULL, DUPBYTE, TRAILBYTE, or NONE keyword expected after COMPRESS keyword, instead found 'SOME'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER BLOB SIZE 512)"), "BLOCK keyword expected after BLOB keyword, instead found 'SIZE'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER BLOB BLOCK 512)"), "SIZE keyword expected after BLOCK keyword, instead found '512'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER USER VERSION 1)"), "MAJOR keyword expected after USER keyword, instead found 'VERSION'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER USER MAJOR 1)"),
            "VERSION keyword expected after MAJOR keyword, instead found '1'");
  EXPECT_EQ(SqlError("CREATE TABLE v (a INTEGER USER MAJOR VERSION 2 USER MAJOR VERSION 3)"),
            "MINOR keyword expected after USER keyword, instead found 'MAJOR'");
  EXPECT_EQ(SqlError("CREATE INDEX 5 ON t (a)"), "Index name expected after INDEX keyword, instead found '5'");
  EXPECT_EQ(SqlError("CREATE UNIQUE ix ON t (a)"), "INDEX keyword expected, instead found 'ix'");
  EXPECT_EQ(SqlError("CREATE INDEX ix t (a)"), "ON keyword expected after index name, instead found 't'");
  EXPECT_EQ(SqlError("CREATE INDEX ix ON 5 (a)"), "Table name expected after ON keyword, instead found '5'");
  EXPECT_EQ(SqlError("CREATE INDEX ix ON t a"), "Left parentheses expected after KEY keyword, instead found 'a'");
  EXPECT_EQ(SqlError("CREATE INDEX ix ON t (a"), "Right parentheses expected after primary key clause, instead found ''");
  EXPECT_EQ(SqlError("CREATE INDEX ix ON t (a) x"), "End of CREATE INDEX statement expected, instead found 'x'");
  EXPECT_EQ(SqlError("ALTER TABLE 5 ADD a INTEGER"), "Table name expected after ALTER TABLE keywords, instead found '5'");
  EXPECT_EQ(SqlError("ALTER TABLE t ADD e INTEGER, f INTEGER"),
            "End of ALTER TABLE statement expected, instead found 'f'");
  EXPECT_EQ(SqlError("ALTER TABLE t LAST 5"), "AUTOINC keyword expected after LAST keyword, instead found '5'");
  EXPECT_EQ(SqlError("DROP TABLE 5"), "Table name expected after TABLE keyword, instead found '5'");
  EXPECT_EQ(SqlError("DROP TABLE t x"), "End of DROP TABLE statement expected, instead found 'x'");
  EXPECT_EQ(SqlError("DROP INDEX ix"), "Table name expected after INDEX keyword, instead found 'ix'");
  EXPECT_EQ(SqlError("DROP INDEX"), "Index name expression is empty");
}

TEST_F(SqlParserTest, ExpressionMessagesNameTheClause) {
  EXPECT_EQ(SqlError("SELECT a FROM t WHERE a = (1"), "Right parentheses expected, instead found '' in WHERE or JOIN clause");
  EXPECT_EQ(SqlError("SELECT a FROM t WHERE b = 'open"), "Missing single quote after 'open' in WHERE or JOIN clause");
  EXPECT_EQ(SqlError("SELECT * FROM t GROUP BY a HAVING a = ?"), "Parameters are not allowed in HAVING clause");
}

}  // namespace
