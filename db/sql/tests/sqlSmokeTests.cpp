#include "sqlTestSupport.h"

TEST_F(SqlTest, Smoke) {
  Exec("CREATE TABLE t (a INTEGER, b CHAR(10))");
  EXPECT_EQ(Exec("INSERT INTO t VALUES (1, 'x')"), 1);
  EXPECT_EQ(Exec("INSERT INTO t (b, a) VALUES ('y', 2)"), 1);
  EXPECT_EQ(Query("SELECT * FROM t"), (TRows{"1|x", "2|y"}));
  EXPECT_EQ(Query("SELECT b FROM t WHERE a = 2"), (TRows{"y"}));
  EXPECT_EQ(SqlError("SELEC"), "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found 'SELEC'");
}
