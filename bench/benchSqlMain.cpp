// The SQL benchmark: the five reports' statements as the program writes
// them, the program's other statements, grouped totals, counts, a join and
// single-row INSERTs, over the storage benchmark's jobs data, our engine
// side by side with SQLite (WAL, synchronous=NORMAL). Durability is equal
// for the single-row INSERTs: every commit of ours syncs the table's files
// before it returns, so SQLite runs them with synchronous=FULL (the log
// synced at every commit); under NORMAL a commit may be lost to a power
// failure. Every line is checked by row count and checksum equal between
// the engines.
//
// Usage: bench_sql [--rows N[,N...]] [--quick] [--only TEXT] [--repeat N] [--inserts N]
// (--only runs the lines whose label holds TEXT, or is TEXT without its
// final '$', and --repeat runs each N times, the engines in turn, giving
// each engine's median: a line of a tenth of a millisecond varies more from
// one execution to the next than between the engines.)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "ReportOptions.h"
#include "benchSqlSide.h"
#include "benchStorageData.h"
#include "benchStorageEngine.h"
#include "rtlDateTime.h"
#include "rtlFormatSettings.h"
#include "rtlStringList.h"

namespace {

constexpr int32_t SingleInserts = 10000;
constexpr int32_t QuickRows = 10000;
constexpr int32_t QuickInserts = 1000;

struct TLine {
  std::string Label;
  std::string Ours;
  std::string Sqlite;
  std::vector<int> OurColumns;
  std::vector<int> SqliteColumns;
};

std::vector<TLine> Lines(int32_t total) {
  const std::string owner = OwnerName(7);
  const std::string printer = GenerateJob(1, total).PrinterName;
  const int32_t first = FirstDayOf(2025, 3), last = LastDayOf(2025, 3);
  const std::vector<int> report = {3, 6, 7};
  std::vector<TLine> lines = {
      {"distinct owners", "select distinct jobowner from jobs", "SELECT DISTINCT JobOwner FROM jobs", {0}, {0}},
      {"distinct printers", "select distinct printername from jobs", "SELECT DISTINCT PrinterName FROM jobs", {0}, {0}},
  };
  // The five reports' statements as the reports front end writes them, for
  // every date, one owner, one printer, one month (a custom range) and the
  // failed jobs only.
  const TFormatSettings settings = FormatSettingsForLanguage(0);
  struct TVariant {
    const char* Label;
    bool Owner, Printer, Month, Failed;
  };
  const TVariant variants[] = {{"", false, false, false, false},
                               {", owner", true, false, false, false},
                               {", printer", false, true, false, false},
                               {", one month", false, false, true, false},
                               {", month+owner", true, false, true, false},
                               {", failed only", false, false, false, true}};
  for (int number = 0; number < ReportLayoutCount; ++number)
    for (const TVariant& variant : variants) {
      TReportChoice choice;
      choice.Report = number;
      if (variant.Owner) choice.UserName = owner;
      if (variant.Printer) choice.PrinterName = printer;
      if (variant.Month) {
        choice.Period = TReportPeriod::CustomRange;
        choice.CustomFrom = DateText(first);
        choice.CustomTo = DateText(last);
      }
      choice.FailedOnly = variant.Failed;
      TStringList parameters, sql;
      BuildReportParameters(choice, Now(), settings, parameters);
      BuildReportSQL(parameters, settings, sql);
      std::string lite = std::string("SELECT * FROM jobs WHERE (JobPrinted ") + (variant.Failed ? "<> 1)" : "= 1)");
      if (variant.Owner) lite += " AND (JobOwner = '" + owner + "')";
      if (variant.Printer) lite += " AND (PrinterName = '" + printer + "')";
      if (variant.Month) lite += " AND (JobDate BETWEEN " + std::to_string(first) + " AND " + std::to_string(last) + ")";
      lite += std::string(" ") + ReportLayouts[number].QueryOrder;
      lines.push_back({std::string(ReportLayouts[number].ResourceName) + variant.Label, sql.Text(), lite, report,
                       report});
    }
  lines.insert(lines.end(), {
      {"totals by owner", "SELECT JobOwner, SUM(PagesPrinted), COUNT(*) FROM jobs GROUP BY JobOwner",
       "SELECT JobOwner, SUM(PagesPrinted), COUNT(*) FROM jobs GROUP BY JobOwner", {0, 1, 2}, {0, 1, 2}},
      {"totals by printer", "SELECT PrinterName, SUM(PagesPrinted), COUNT(*) FROM jobs GROUP BY PrinterName",
       "SELECT PrinterName, SUM(PagesPrinted), COUNT(*) FROM jobs GROUP BY PrinterName", {0, 1, 2}, {0, 1, 2}},
      {"totals by month",
       "SELECT EXTRACT(YEAR FROM JobDate) * 100 + EXTRACT(MONTH FROM JobDate) AS m, SUM(PagesPrinted) FROM jobs "
       "GROUP BY m",
       "SELECT CAST(strftime('%Y%m', JobDate + 1721424.5) AS INTEGER) AS m, SUM(PagesPrinted) FROM jobs GROUP BY m",
       {0, 1},
       {0, 1}},
      {"COUNT(*)", "SELECT COUNT(*) FROM jobs", "SELECT COUNT(*) FROM jobs", {0}, {0}},
      {"COUNT(*), one owner", "SELECT COUNT(*) FROM jobs WHERE JobOwner = '" + owner + "'",
       "SELECT COUNT(*) FROM jobs WHERE JobOwner = '" + owner + "'", {0}, {0}},
      {"join with printers", "SELECT j.JobID, p.Floor FROM jobs j JOIN printers p ON p.PrinterName = j.PrinterName",
       "SELECT j.JobID, p.Floor FROM jobs j JOIN printers p ON p.PrinterName = j.PrinterName", {0, 1}, {0, 1}},
  });
  return lines;
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Fill(const std::string& engine, const std::string& folder, int32_t total) {
  std::filesystem::create_directories(folder);
  auto storage = MakeEngine(engine, folder);
  storage->Create("jobs");
  storage->Open("jobs", true);
  storage->BeginBatch();
  for (int32_t n = 1; n <= total; ++n) storage->Append(GenerateJob(n, total));
  storage->EndBatch();
  storage->Close();
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const size_t n = times.size();
  return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

std::string onlyLines;
int32_t repeats = 1;

bool RunSize(int32_t total, int32_t inserts) {
  const std::string root = (std::filesystem::temp_directory_path() / ("bench-sql-" + std::to_string(total))).string();
  std::filesystem::remove_all(root);
  std::printf("\n%d rows: loading...\n", total);
  std::fflush(stdout);
  Fill("ours", root + "/ours", total);
  Fill("sqlite", root + "/sqlite", total);
  bool allEqual = true;
  std::printf("%-30s %9s %10s %10s %7s  %s\n", "statement", "rows", "ours ms", "sqlite ms", "ratio", "check");
  auto report = [&](const std::string& label, int64_t rows, double ours, double lite, bool equal) {
    allEqual = allEqual && equal;
    // Below 10 ms a tenth of a millisecond is too coarse to read the two apart.
    const char* format = std::min(ours, lite) < 0.01 ? "%-30s %9lld %10.3f %10.3f %7.2f  %s\n"
                                                     : "%-30s %9lld %10.1f %10.1f %7.2f  %s\n";
    std::printf(format, label.c_str(), static_cast<long long>(rows), ours * 1000, lite * 1000,
                lite > 0 ? ours / lite : 0.0, equal ? "equal" : "DIFFERENT");
    std::fflush(stdout);
  };
  {
    auto ours = MakeOurSqlSide(root + "/ours/");
    auto lite = MakeSqliteSqlSide(root + "/sqlite/jobs.db");
    for (const TLine& line : Lines(total)) {
      if (!onlyLines.empty() && !(onlyLines.back() == '$' ? line.Label + "$" == onlyLines
                                                          : line.Label.find(onlyLines) != std::string::npos))
        continue;
      TSqlAnswer a, b;
      std::vector<double> tOurs, tLite;
      for (int32_t run = 0; run < repeats; ++run) {
        tOurs.push_back(Seconds([&] { a = ours->Run(line.Ours, line.OurColumns); }));
        tLite.push_back(Seconds([&] { b = lite->Run(line.Sqlite, line.SqliteColumns); }));
      }
      report(line.Label, a.Rows, Median(tOurs), Median(tLite), a.Rows == b.Rows && a.Checksum == b.Checksum);
    }
    if (inserts > 0) {
    const double tOurs = Seconds([&] { ours->InsertJobs(total + 1, inserts, total); });
    const double tLite = Seconds([&] { lite->InsertJobs(total + 1, inserts, total); });
    const TSqlAnswer a = ours->Run("SELECT COUNT(*) FROM jobs", {0});
    const TSqlAnswer b = lite->Run("SELECT COUNT(*) FROM jobs", {0});
    report(std::to_string(inserts) + " single-row INSERTs", inserts, tOurs, tLite, a.Checksum == b.Checksum);
    }
  }
  std::filesystem::remove_all(root);
  return allEqual;
}

}  // namespace

uint64_t SqlRowHash(const std::vector<std::string>& values) {
  uint64_t hash = 14695981039346656037ull;
  for (const std::string& value : values) hash = BytesHash(value.data(), value.size() + 1, hash);
  return hash;
}

int main(int argc, char** argv) {
  std::vector<int32_t> sizes = {100000, 1000000};
  int32_t inserts = SingleInserts;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      sizes = {QuickRows};
      inserts = QuickInserts;
    } else if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc) {
      sizes.clear();
      std::stringstream list(argv[++i]);
      std::string item;
      while (std::getline(list, item, ',')) sizes.push_back(int32_t(std::atol(item.c_str())));
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      onlyLines = argv[++i];
    } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeats = std::max<int32_t>(1, int32_t(std::atol(argv[++i])));
    } else if (std::strcmp(argv[i], "--inserts") == 0 && i + 1 < argc) {
      inserts = int32_t(std::atol(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: %s [--rows N[,N...]] [--quick] [--only TEXT] [--repeat N] [--inserts N]\n", argv[0]);
      return 2;
    }
  }
  bool ok = true;
  try {
    for (int32_t size : sizes) ok = RunSize(size, inserts) && ok;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_sql: %s\n", error.what());
    return 1;
  }
  std::printf(ok ? "\nEvery line equal between the engines.\n" : "\nSome lines DIFFER between the engines.\n");
  return ok ? 0 : 1;
}
