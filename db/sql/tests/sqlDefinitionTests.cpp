// CREATE TABLE, CREATE INDEX, ALTER TABLE, DROP TABLE and DROP INDEX.

#include "sqlTestSupport.h"

namespace {

class SqlDefinitionTest : public SqlTest {
protected:
  // The table's field names, in order, through a fresh cursor.
  std::vector<std::string> FieldNames(const std::string& table) {
    const auto cursor = NewTableCursor(directory);
    cursor->SetOpenOptions({.TableName = table});
    cursor->Open();
    std::vector<std::string> names;
    for (int i = 1; i <= cursor->Fields().GetFieldCount(); ++i) names.push_back(cursor->Fields().TableFieldDefinition(i).Name);
    cursor->Close(TTemporaryContents::Keep);
    return names;
  }
  int SecondaryIndexes(const std::string& table) {
    const auto cursor = NewTableCursor(directory);
    cursor->SetOpenOptions({.TableName = table});
    cursor->Open();
    const int count = cursor->Fields().GetSecondaryIndexCount();
    cursor->Close(TTemporaryContents::Keep);
    return count;
  }
};

TEST_F(SqlDefinitionTest, CreateTableWithOptionsAndPrimaryKey) {
  Exec("CREATE TABLE t (id INTEGER NOT NULL, name CHAR(20) DESCRIPTION 'who' DEFAULT 'nobody' CHARCASE UPPER, "
       "price DECIMAL(10, 2) MIN 0 MAX 1000, "
       "CONSTRAINT pk UNIQUE NOCASE PRIMARY KEY (id) COMPRESS FULL "
       "DESCRIPTION 'a table' BLOB BLOCK SIZE 1024 USER MAJOR VERSION 3 USER MINOR VERSION 4)");
  EXPECT_EQ(FieldNames("t"), (std::vector<std::string>{"id", "name", "price"}));
  const auto cursor = NewTableCursor(directory);
  cursor->SetOpenOptions({.TableName = "t"});
  EXPECT_EQ(cursor->Admin().GetTableDescription(), "a table");
  EXPECT_EQ(cursor->Admin().GetBlobBlockSize(), 1024u);
  EXPECT_EQ(cursor->Admin().GetUserMajorVersion(), 3);
  EXPECT_EQ(cursor->Admin().GetUserMinorVersion(), 4);
  Exec("INSERT INTO t (id) VALUES (1)");
  EXPECT_EQ(Query("SELECT name FROM t"), (TRows{"NOBODY"}));
  EXPECT_EQ(ErrorOf("INSERT INTO t (id) VALUES (1)").substr(0, 6), "9729: ");
  EXPECT_EQ(ErrorOf("INSERT INTO t (id, price) VALUES (2, 2000)").substr(0, 6), "9731: ");
  EXPECT_EQ(ErrorOf("CREATE TABLE t (a INTEGER)").substr(0, 6), "13060:");
}

TEST_F(SqlDefinitionTest, CreateAndDropIndexes) {
  Exec("CREATE TABLE t (a INTEGER, b CHAR(10), PRIMARY KEY (a))");
  Exec("CREATE UNIQUE DESC NOCASE INDEX byb ON t (b) COMPRESS DUPBYTE");
  EXPECT_EQ(SecondaryIndexes("t"), 1);
  Exec("INSERT INTO t VALUES (1, 'x')");
  EXPECT_EQ(ErrorOf("INSERT INTO t VALUES (2, 'X')").substr(0, 6), "9729: ");
  EXPECT_NE(ErrorOf("CREATE INDEX byc ON t (c)"), "");
  Exec("DROP INDEX t.byb");
  EXPECT_EQ(SecondaryIndexes("t"), 0);
  Exec("DROP INDEX t.PRIMARY");
  Exec("INSERT INTO t VALUES (1, 'y')");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM t WHERE a = 1"), (TRows{"2"}));
  Exec("CREATE TABLE v (a INTEGER, PRIMARY KEY (a))");
  Exec("DROP INDEX v.primary");
  Exec("INSERT INTO v VALUES (1)");
  Exec("INSERT INTO v VALUES (1)");
}

TEST_F(SqlDefinitionTest, AlterTableAddRedefineDrop) {
  Exec("CREATE TABLE t (a INTEGER, b CHAR(10), c INTEGER)");
  Exec("INSERT INTO t VALUES (1, 'one', 11)");
  Exec("ALTER TABLE t ADD d CHAR(5) AT 1 DEFAULT 'dd', DROP c, REDEFINE b name CHAR(20)");
  EXPECT_EQ(FieldNames("t"), (std::vector<std::string>{"d", "a", "name"}));
  EXPECT_EQ(Query("SELECT a, name, d FROM t"), (TRows{"1|one|dd"}));
  Exec("INSERT INTO t (a) VALUES (2)");
  EXPECT_EQ(Query("SELECT d FROM t WHERE a = 2"), (TRows{"dd"}));
  EXPECT_EQ(SqlError("ALTER TABLE t ADD e INTEGER AT 0"), "AT column position must be between 1 and 3");
  EXPECT_EQ(SqlError("ALTER TABLE t DROP nope"), "Column nope not found");
  Exec("ALTER TABLE t ADD PRIMARY KEY (a)");
  EXPECT_EQ(ErrorOf("INSERT INTO t (a) VALUES (2)").substr(0, 6), "9729: ");
  EXPECT_EQ(SqlError("ALTER TABLE t ADD PRIMARY KEY (name)"), "Cannot REDEFINE the primary key using the ADD keyword");
  Exec("ALTER TABLE t DROP PRIMARY KEY DESCRIPTION 'changed' NOBACKUP");
  Exec("INSERT INTO t (a) VALUES (2)");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM t WHERE a = 2"), (TRows{"2"}));
}

TEST_F(SqlDefinitionTest, AlterTableSetsTheNextAutoIncrement) {
  Exec("CREATE TABLE t (id AUTOINC, v INTEGER)");
  Exec("INSERT INTO t (v) VALUES (1)");
  Exec("ALTER TABLE t LAST AUTOINC 100");
  Exec("INSERT INTO t (v) VALUES (2)");
  EXPECT_EQ(Query("SELECT id FROM t WHERE v = 2"), (TRows{"101"}));
}

TEST_F(SqlDefinitionTest, DropTableAndMemoryTables) {
  Exec("CREATE TABLE t (a INTEGER)");
  Exec("DROP TABLE t");
  EXPECT_NE(ErrorOf("SELECT a FROM t"), "");
  Exec("CREATE TABLE MEMORY m (a INTEGER)");
  Exec("INSERT INTO MEMORY m VALUES (5)");
  EXPECT_EQ(Query("SELECT a FROM MEMORY m"), (TRows{"5"}));
  statements.clear();
  Exec("DROP TABLE MEMORY m");
  EXPECT_NE(ErrorOf("SELECT a FROM MEMORY m"), "");
}

TEST_F(SqlDefinitionTest, TablesNamedWithAFolder) {
  std::filesystem::create_directory(folder + "/sub");
  Exec("CREATE TABLE \"" + folder + "/sub/t\" (a INTEGER)");
  Exec("INSERT INTO \"" + folder + "/sub/t\" VALUES (3)");
  EXPECT_EQ(Query("SELECT t.a FROM \"" + folder + "/sub/t\""), (TRows{"3"}));
  EXPECT_TRUE(std::filesystem::exists(folder + "/sub/t.DAT"));
}

}  // namespace
