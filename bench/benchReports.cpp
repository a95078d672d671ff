// The usage reports from "Run" to the first page on screen and to the last
// page: "Usage Details" and "User Summary" over a jobs table of 100,000 and
// 1,000,000 recorded jobs, through the report viewer (query, layout, two
// passes, screen device). Beside it SQLite computes the same rows and
// totals from the same data; our page generation (our time less our
// query's) is added to SQLite's time for the peer's whole report.
//
//   bench_reports [--rows N ...]   (default: 100000 1000000)

#include <QApplication>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "AppDatabase.h"
#include "JobsDataModule.h"
#include "MDBQuery.h"
#include "MonitorCommon.h"
#include "ReportOptions.h"
#include "ReportViewer.h"
#include "dbField.h"
#include "ppViewer.h"
#include "rtlStringList.h"
#include "uiDialogs.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// The n-th job: 300 owners, 40 printers, a day for every 400 jobs, one in
// twenty failed.
struct TJob {
  std::string Owner, Printer, Document;
  int Day, Seconds, Pages, Bytes;
  bool Printed;
};
TJob JobOf(int n) {
  return {"USER" + std::to_string(n * 7919 % 300), "\\\\PRINTSRV\\floor" + std::to_string(n % 40),
          "Quarterly figures " + std::to_string(n) + ".xlsx", 46000 + n / 400, (n * 37) % 86400, 1 + n % 60,
          20000 + n % 2000000, n % 20 != 7};
}

void FillOurs(int rows) {
  TMDBTable& table = DataModule1()->Table1();
  table.SetIndexName("");
  table.DisableControls();
  for (int n = 1; n <= rows; ++n) {
    const TJob job = JobOf(n);
    table.Append();
    table.FieldByName("JobDate")->SetAsDateTime(job.Day);
    table.FieldByName("JobTime")->SetAsDateTime(job.Seconds / 86400.0);
    table.FieldByName("JobID")->SetAsInteger(n);
    table.FieldByName("MachineName")->SetAsString("PC-" + std::to_string(n % 350));
    table.FieldByName("PrinterName")->SetAsString(job.Printer);
    table.FieldByName("JobOwner")->SetAsString(job.Owner);
    table.FieldByName("PagesPrinted")->SetAsInteger(job.Pages);
    table.FieldByName("TotalPages")->SetAsInteger(job.Pages);
    table.FieldByName("BytesPrinted")->SetAsInteger(job.Bytes);
    table.FieldByName("JobSize")->SetAsInteger(job.Bytes);
    table.FieldByName("Document")->SetAsString(job.Document);
    table.FieldByName("JobStatus")->SetAsInteger(job.Printed ? 0x80 : 0x2);
    table.FieldByName("JobPrinted")->SetAsBoolean(job.Printed);
    table.Post();
  }
  table.EnableControls();
}

void FillSqlite(sqlite3* db, int rows) {
  sqlite3_exec(db,
               "create table jobs (JobDate integer, JobTime integer, JobID integer, MachineName text, "
               "PrinterName text, JobOwner text, PagesPrinted integer, TotalPages integer, BytesPrinted integer, "
               "JobSize integer, Document text, JobStatus integer, JobPrinted integer);"
               "create index ByDate on jobs (JobDate, JobTime); create index ByOwner on jobs (JobOwner);",
               nullptr, nullptr, nullptr);
  sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "insert into jobs values (?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
  for (int n = 1; n <= rows; ++n) {
    const TJob job = JobOf(n);
    const std::string machine = "PC-" + std::to_string(n % 350);
    sqlite3_bind_int(insert, 1, job.Day);
    sqlite3_bind_int(insert, 2, job.Seconds);
    sqlite3_bind_int(insert, 3, n);
    sqlite3_bind_text(insert, 4, machine.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 5, job.Printer.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 6, job.Owner.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 7, job.Pages);
    sqlite3_bind_int(insert, 8, job.Pages);
    sqlite3_bind_int(insert, 9, job.Bytes);
    sqlite3_bind_int(insert, 10, job.Bytes);
    sqlite3_bind_text(insert, 11, job.Document.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 12, job.Printed ? 0x80 : 0x2);
    sqlite3_bind_int(insert, 13, job.Printed ? 1 : 0);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
}

// SQLite's rows and totals of a report: every printed job in date order
// with the report's totals, or the printed jobs' totals per owner.
double SqliteReport(sqlite3* db, bool summary, long& rowsSeen) {
  const char* sql = summary ? "select JobOwner, count(*), sum(PagesPrinted), sum(BytesPrinted) from jobs "
                              "where JobPrinted = 1 group by JobOwner order by JobOwner"
                            : "select * from jobs where JobPrinted = 1 order by JobDate, JobTime";
  const Clock::time_point start = Clock::now();
  sqlite3_stmt* query = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &query, nullptr);
  long jobs = 0;
  long long pages = 0, bytes = 0;
  rowsSeen = 0;
  while (sqlite3_step(query) == SQLITE_ROW) {
    ++rowsSeen;
    if (summary) {
      jobs += sqlite3_column_int(query, 1);
      pages += sqlite3_column_int64(query, 2);
      bytes += sqlite3_column_int64(query, 3);
    } else {
      ++jobs;
      pages += sqlite3_column_int(query, 6);
      bytes += sqlite3_column_int(query, 8);
    }
  }
  sqlite3_finalize(query);
  const double seconds = Seconds(start);
  if (jobs < 0 || pages < 0 || bytes < 0) std::printf("impossible totals\n");
  return seconds;
}

struct TOurTimes {
  double Query = 0, FirstPage = 0, LastPage = 0;
  int Pages = 0;
  long Rows = 0;
};

TOurTimes OurReport(int report) {
  TReportChoice choice;
  choice.Report = report;
  auto parameters = std::make_unique<TStringList>();
  BuildReportParameters(choice, Now(), ReportFormatSettings(), *parameters);
  TOurTimes times;
  const Clock::time_point start = Clock::now();
  TReportViewer viewer(nullptr, std::move(parameters));
  viewer.Prepare();
  viewer.OpenQuery();
  times.Query = Seconds(start);
  times.Rows = viewer.Query().RecordCount();
  viewer.Setup();
  times.FirstPage = Seconds(start);
  viewer.ppViewer1->LastPage();
  times.LastPage = Seconds(start);
  times.Pages = viewer.ppViewer1->AbsolutePageNo();
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::vector<int> sizes;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--rows") sizes.push_back(std::atoi(argv[++i]));
  if (sizes.empty()) sizes = {100000, 1000000};
  QApplication application(argc, argv);
  // The jobs table is created without asking.
  SetMessageBoxRunner([](const TMessageBoxRequest&) { return mrYes; });

  std::printf("%-16s %9s %7s %9s %9s %9s %9s %9s %7s\n", "report", "jobs", "pages", "query s", "first s",
              "last s", "sqlite s", "peer s", "ratio");
  for (int rows : sizes) {
    const std::string home = std::filesystem::temp_directory_path() / ("bench-reports-" + std::to_string(getpid()));
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    setenv("ORVELLE_HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    InitializeTools();
    CheckJobsDatabase([](const std::string&, bool) {});
    CreateDataModule();
    const Clock::time_point filling = Clock::now();
    FillOurs(rows);
    std::fprintf(stderr, "%d jobs written in %.1f s\n", rows, Seconds(filling));
    sqlite3* db = nullptr;
    sqlite3_open((home + "/jobs.sqlite").c_str(), &db);
    FillSqlite(db, rows);

    for (int report : {0, 3}) {
      const TOurTimes ours = OurReport(report);
      long sqliteRows = 0;
      const double sqlite = SqliteReport(db, report == 3, sqliteRows);
      // The peer's report: SQLite's rows and totals, then our generation.
      const double peer = sqlite + (ours.LastPage - ours.Query);
      std::printf("%-16s %9d %7d %9.3f %9.3f %9.3f %9.3f %9.3f %7.2f\n", ReportLayouts[report].DisplayName, rows,
                  ours.Pages, ours.Query, ours.FirstPage, ours.LastPage, sqlite, peer, ours.LastPage / peer);
      if (report == 0 && ours.Rows != sqliteRows)
        std::printf("  rows differ: ours %ld, SQLite %ld\n", ours.Rows, sqliteRows);
    }
    sqlite3_close(db);
    FreeDataModule();
    std::filesystem::remove_all(home);
  }
  return 0;
}
