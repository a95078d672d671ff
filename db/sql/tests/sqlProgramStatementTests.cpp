// The statements the program itself runs over its jobs table: the owner and
// printer lists and the report queries, with and without their filters.

#include "rtlDateTime.h"
#include "sqlTestSupport.h"

namespace {

class SqlProgramStatementTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE jobs (RecRef AUTOINC, JobDate DATE, JobTime TIME, JobID INTEGER, MachineName CHAR(80), "
         "PrinterName CHAR(80), JobOwner CHAR(40), PagesPrinted INTEGER, TotalPages INTEGER, BytesPrinted INTEGER, "
         "JobSize INTEGER, Document BLOB(1, 1), JobStatus INTEGER, JobPrinted BOOLEAN, PRIMARY KEY (RecRef))");
    Exec("CREATE NOCASE INDEX ByDate ON jobs (JobDate, JobTime)");
    Exec("CREATE NOCASE INDEX ByOwner ON jobs (JobOwner)");
    Exec("CREATE NOCASE INDEX ByPrinter ON jobs (PrinterName)");
    Exec("CREATE NOCASE INDEX ByComputer ON jobs (MachineName)");
    Add("2024-01-05", 1, "\\\\srv\\laser", "ann", 3, "TRUE");
    Add("2024-01-20", 2, "\\\\srv\\ink", "bob", 5, "TRUE");
    Add("2024-02-02", 3, "\\\\srv\\laser", "bob", 7, "FALSE");
    Add("2024-02-10", 4, "\\\\srv\\laser", "ann", 1, "TRUE");
    Add("2024-01-31", 5, "\\\\srv\\ink", "cy", 2, "TRUE");
  }

  void Add(const std::string& date, int id, const std::string& printer, const std::string& owner, int pages,
           const std::string& printed) {
    Exec("INSERT INTO jobs (JobDate, JobTime, JobID, MachineName, PrinterName, JobOwner, PagesPrinted, TotalPages, "
         "BytesPrinted, JobSize, Document, JobStatus, JobPrinted) VALUES ('" + date + "', '10:00:00', " +
         std::to_string(id) + ", '\\\\pc', '" + printer + "', '" + owner + "', " + std::to_string(pages) + ", " +
         std::to_string(pages) + ", 100, 100, 'doc " + std::to_string(id) + "', 128, " + printed + ")");
  }

  // The report query as the report thread builds it, line by line.
  static std::string ReportSql(const std::string& printed, const std::string& owner, const std::string& printer,
                               const std::string& from, const std::string& to, const std::string& order) {
    std::string sql = "select * from jobs\n";
    sql += printed != "TRUE" ? "  where (JobPrinted <> TRUE)\n" : "  where (JobPrinted = TRUE)\n";
    if (!owner.empty()) sql += " and (JobOwner = '" + owner + "')\n";
    if (!printer.empty()) sql += " and (PrinterName = '" + printer + "')\n";
    if (!from.empty() && !to.empty()) sql += " and (JobDate between '" + from + "' and '" + to + "')\n";
    return sql + order;
  }

  // The job ids of a result whose fourth column is JobID.
  static std::vector<std::string> Ids(const TRows& rows) {
    std::vector<std::string> ids;
    for (const std::string& row : rows) {
      size_t at = 0;
      for (int i = 0; i < 3; ++i) at = row.find('|', at) + 1;
      ids.push_back(row.substr(at, row.find('|', at) - at));
    }
    return ids;
  }
};

TEST_F(SqlProgramStatementTest, OwnerAndPrinterLists) {
  EXPECT_EQ(Query("select distinct jobowner from jobs"), (TRows{"ann", "bob", "cy"}));
  EXPECT_EQ(Query("select distinct printername from jobs"), (TRows{"\\\\srv\\ink", "\\\\srv\\laser"}));
}

TEST_F(SqlProgramStatementTest, ReportQueries) {
  using TIds = std::vector<std::string>;
  EXPECT_EQ(Ids(Query(ReportSql("TRUE", "", "", "", "", "order by JobDate"))), (TIds{"1", "2", "5", "4"}));
  EXPECT_EQ(Ids(Query(ReportSql("FALSE", "", "", "", "", "order by JobDate"))), (TIds{"3"}));
  EXPECT_EQ(Ids(Query(ReportSql("TRUE", "ann", "", "", "", "order by JobOwner, JobDate"))), (TIds{"1", "4"}));
  EXPECT_EQ(Ids(Query(ReportSql("TRUE", "", "\\\\srv\\ink", "", "", "order by PrinterName, JobDate"))),
            (TIds{"2", "5"}));
  EXPECT_EQ(Ids(Query(ReportSql("TRUE", "", "", "2024-01-01", "2024-01-31", "order by JobDate"))),
            (TIds{"1", "2", "5"}));
  EXPECT_EQ(Ids(Query(ReportSql("TRUE", "bob", "\\\\srv\\ink", "2024-01-01", "2024-01-31", "order by JobOwner"))),
            (TIds{"2"}));
  // Every column of the table comes back, the memo with it.
  const TRows rows = Query(ReportSql("TRUE", "cy", "", "", "", "order by JobDate"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.front(), "5|2024-01-31|10:00:00|5|\\\\pc|\\\\srv\\ink|cy|2|2|100|100|doc 5|128|TRUE");
}

TEST_F(SqlProgramStatementTest, ReportQueryIsLiveOnlyWhenAnIndexServesTheOrder) {
  // The indexes ignore case: an order that heeds it is sorted in an answer.
  TQueryStatement& canned = Prepare(ReportSql("TRUE", "", "", "", "", "order by JobOwner"), true);
  canned.Execute();
  EXPECT_FALSE(canned.MainQuery().Plan.Live);
  TQueryStatement& live = Prepare(ReportSql("TRUE", "", "", "", "", "order by JobOwner NOCASE"), true);
  TTableCursor* cursor = live.Execute();
  EXPECT_TRUE(live.MainQuery().Plan.Live);
  EXPECT_EQ(cursor->Fields().GetIndexDefinition(cursor->GetIndexNo()).Name, "ByOwner");
  EXPECT_EQ(live.GetRecordCount(), 4);
  EXPECT_EQ(Ids(Rows(cursor)), Ids(Rows(canned.MainQuery().Run.ResultCursor)));
}

TEST_F(SqlProgramStatementTest, TextEqualityOnAnIndexThatIgnoresCaseUsesItAndKeepsCase) {
  Add("2024-03-01", 6, "\\\\srv\\ink", "ANN", 9, "TRUE");
  TQueryStatement& statement = Prepare("select JobID from jobs where JobOwner = 'ann'");
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"1", "4"}));
  // The index serves the active filter; the exact case may be left to the
  // row loop.
  TTableCursor& source = *statement.MainQuery().Run.Tables.front()->Cursor;
  std::vector<TFilter*> active;
  for (int32_t i = 0; i < source.Filters().FilterCount(); ++i)
    if (source.Filters().FilterAt(i)->Active) active.push_back(source.Filters().FilterAt(i));
  ASSERT_EQ(active.size(), 1u);
  EXPECT_NE(active.front()->OptimizeLevel, olNone);
  EXPECT_EQ(Query("select JobID from jobs where JobOwner = 'ANN'"), (TRows{"6"}));
  EXPECT_EQ(Query("select JobID from jobs where JobOwner = 'Ann'"), TRows{});
}

TEST_F(SqlProgramStatementTest, TotalsByOwnerPrinterAndMonth) {
  EXPECT_EQ(Query("SELECT JobOwner, SUM(PagesPrinted), COUNT(*) FROM jobs GROUP BY JobOwner"),
            (TRows{"ann|4|2", "bob|12|2", "cy|2|1"}));
  EXPECT_EQ(Query("SELECT EXTRACT(MONTH FROM JobDate) m, SUM(PagesPrinted) FROM jobs GROUP BY m ORDER BY m"),
            (TRows{"1|10", "2|8"}));
}

}  // namespace
