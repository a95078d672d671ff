// Parameters: bound by their place in the text, typed values, limits.

#include <cstring>

#include "engErrorCodes.h"
#include "sqlErrors.h"
#include "sqlTestSupport.h"

namespace {

TSqlParamValue IntegerParam(int32_t value) {
  TSqlParamValue param;
  param.DataType = dtInteger;
  param.IsNull = false;
  param.Bytes.assign(reinterpret_cast<const char*>(&value), sizeof value);
  return param;
}

TSqlParamValue TextParam(const std::string& text, uint8_t type = dtString, uint8_t subType = stNone) {
  TSqlParamValue param;
  param.DataType = type;
  param.SubType = subType;
  param.IsNull = false;
  param.Bytes = text;
  return param;
}

class SqlParamTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE p (a INTEGER, b CHAR(10), c INTEGER, memo BLOB(1, 1))");
    Exec("CREATE TABLE q (x INTEGER, y INTEGER)");
    for (int i = 1; i <= 4; ++i) {
      const std::string n = std::to_string(i);
      Exec("INSERT INTO p (a, b, c) VALUES (" + n + ", 'b" + n + "', " + std::to_string(i * 10) + ")");
      Exec("INSERT INTO q VALUES (" + n + ", " + std::to_string(i % 2) + ")");
    }
  }
};

TEST_F(SqlParamTest, ValuesBeyondTheParametersAreRefusedAfterTheOthersAreSet) {
  TQueryStatement& statement = Prepare("SELECT b FROM p WHERE a = ? OR c = ?");
  EXPECT_EQ(statement.ParamCount(), 2);
  try {
    statement.SetParams({IntegerParam(1), IntegerParam(40), IntegerParam(7)});
    FAIL() << "three values for two parameters";
  } catch (const EEngineError& error) {
    EXPECT_EQ(error.ErrorCode, EngErrSql);
    EXPECT_EQ(error.Message, "SQL error - Internal parameter error");
  }
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"b1", "b4"}));
}

TEST_F(SqlParamTest, ParametersFollowTheTextAcrossSubSelects) {
  TQueryStatement& statement =
      Prepare("SELECT a FROM p WHERE c > ? AND a IN (SELECT x FROM q WHERE y = ?) AND a < ? ORDER BY a");
  ASSERT_EQ(statement.ParamCount(), 3);
  statement.SetParams({IntegerParam(10), IntegerParam(1), IntegerParam(4)});
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"3"}));
  statement.SetParams({IntegerParam(0), IntegerParam(0), IntegerParam(9)});
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"2", "4"}));
}

TEST_F(SqlParamTest, DataChangingStatementsTakeParameters) {
  TQueryStatement& insert = Prepare("INSERT INTO p (a, b, memo) VALUES (?, ?, ?)");
  const std::string longText(5000, 'm');
  insert.SetParams({IntegerParam(9), TextParam("nine"), TextParam(longText, dtBlob, stMemo)});
  insert.Execute();
  EXPECT_EQ(Query("SELECT b, memo FROM p WHERE a = 9"), (TRows{"nine|" + longText}));
  TQueryStatement& update = Prepare("UPDATE p SET b = ? WHERE a = ?");
  update.SetParams({TextParam("changed"), IntegerParam(2)});
  update.Execute();
  EXPECT_EQ(update.GetRecordCount(), 1);
  EXPECT_EQ(Query("SELECT b FROM p WHERE a = 2"), (TRows{"changed"}));
  TQueryStatement& remove = Prepare("DELETE FROM p WHERE b = ?");
  remove.SetParams({TextParam("changed")});
  remove.Execute();
  EXPECT_EQ(remove.GetRecordCount(), 1);
}

TEST_F(SqlParamTest, NullAndMismatchedValues) {
  TQueryStatement& statement = Prepare("SELECT a FROM p WHERE b = ?");
  TSqlParamValue null;
  null.DataType = dtString;
  statement.SetParams({null});
  EXPECT_EQ(Rows(statement.Execute()), TRows{});
  TSqlParamValue shortInteger = IntegerParam(1);
  shortInteger.Bytes.resize(2);
  EXPECT_THROW(statement.SetParams({shortInteger}), EEngineError);
  TSqlParamValue untyped = TextParam("x", dtNone);
  EXPECT_THROW(statement.SetParams({untyped}), EEngineError);
}

}  // namespace

namespace {

// Each execution plans with the values bound for it: a second binding
// takes the place of the first in the tables' filters and the joins.
TEST_F(SqlParamTest, EachExecutionPlansWithItsOwnValues) {
  const struct {
    std::string Text;
    int32_t First, Second;
    TRows FirstRows, SecondRows;
  } cases[] = {
      {"SELECT y, SUM(x) FROM q WHERE x > ? GROUP BY y ORDER BY y", 1, 3, {"0|6", "1|3"}, {"0|4"}},
      {"SELECT p.b FROM p JOIN q ON q.x = p.a AND q.x >= ? ORDER BY p.b", 4, 5, {"b4"}, {}},
      {"SELECT p.b FROM p JOIN q ON q.x = p.a WHERE q.y = ? ORDER BY p.b", 1, 0, {"b1", "b3"}, {"b2", "b4"}},
  };
  for (const auto& check : cases) {
    TQueryStatement& statement = Prepare(check.Text);
    statement.SetParams({IntegerParam(check.First)});
    EXPECT_EQ(Rows(statement.Execute()), check.FirstRows) << check.Text;
    statement.SetParams({IntegerParam(check.Second)});
    EXPECT_EQ(Rows(statement.Execute()), check.SecondRows) << check.Text;
  }
}

}  // namespace
