// The road of a job on a private cupsd: submitted with CUPS's own tools,
// watched, flushed by the data thread and written as one row each.

#include <cups/cups.h>

#include <atomic>
#include <chrono>
#include <set>

#include "DMTestDatabase.h"
#include "JobsTable.h"
#include "rtlFormat.h"
#include "thrCupsWatchFixture.h"

namespace {

class CupsJobsRoadTest : public CupsWatchFixture {
protected:
  CupsJobsRoadTest() : CupsWatchFixture("\\\\CUPSROAD") {}

  std::unique_ptr<TTestJobsDatabase> database;

  void SetUp() override {
    StartWatching([&] {
      database = std::make_unique<TTestJobsDatabase>();
      GetDataThread();
    });
  }

  void TearDown() override {
    if (harness) {
      EXPECT_TRUE(harness->ShutdownMonitoring(60000));
    }
    harness.reset();
    database.reset();
    StopSpooler();
  }

  // The job ids of the rows, each expected once and printed.
  std::set<uint32_t> PrintedRowsOnce() {
    std::set<uint32_t> written;
    for (const std::string& row : database->Rows({"JobID", "JobPrinted"})) {
      EXPECT_TRUE(written.insert(uint32_t(std::stoul(row))).second) << "twice: " << row;
      EXPECT_EQ(row.substr(row.find('|') + 1), "True") << row;
    }
    return written;
  }

  // The row of the job, "" while there is none.
  std::string RowOf(uint32_t id, const std::vector<std::string>& fields) {
    std::vector<std::string> columns = {"JobID"};
    columns.insert(columns.end(), fields.begin(), fields.end());
    std::string found;
    for (const std::string& row : database->Rows(columns)) {
      if (row.substr(0, row.find('|')) == std::to_string(id)) {
        EXPECT_TRUE(found.empty()) << "twice: " << row;
        found = row.substr(row.find('|') + 1);
      }
    }
    return found;
  }
};

TEST_F(CupsJobsRoadTest, PrintedCancelledAndReleasedJobsBecomeOneRowEach) {
  const std::string file = cupsd.WriteFile("hello.txt", 3000);
  const uint32_t printed = cupsd.Submit("q1", file, "Hello");
  // A printed job's row is there within 5 seconds.
  EXPECT_TRUE(harness->WaitUntil([&] { return RowOf(printed, {"JobPrinted"}) == "True"; }, 5000));
  const uint32_t held = cupsd.Submit("q1", file, "Held", true);
  const uint32_t cancelled = cupsd.Submit("q1", file, "Cancelled", true);
  ASSERT_NE(0u, cancelled);
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->PendingJob(Q1, cancelled).has_value(); }));
  ASSERT_TRUE(cupsd.Cancel(cancelled));
  ASSERT_TRUE(cupsd.Release(held));
  const std::vector<std::string> fields = {"PrinterName", "JobOwner", "Document", "JobPrinted"};
  std::string owner = cupsUser();
  for (char& c : owner) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(harness->WaitUntil([&] { return database->RowCount() >= 3; }, 15000)) << database->RowCount();
  EXPECT_EQ(RowOf(printed, fields), Q1 + "|" + owner + "|Hello|True");
  EXPECT_EQ(RowOf(held, fields), Q1 + "|" + owner + "|Held|True");
  EXPECT_EQ(RowOf(cancelled, fields), Q1 + "|" + owner + "|Cancelled|False");
  EXPECT_NE(RowOf(printed, {"PagesPrinted"}), "0");
  EXPECT_TRUE(harness->Alerts().empty());
}

TEST_F(CupsJobsRoadTest, TwoHundredJobsInATightLoopGiveTwoHundredRows) {
  const std::string file = cupsd.WriteFile("line.txt", 200);
  std::set<uint32_t> ids;
  for (int i = 0; i < 200; ++i) ids.insert(cupsd.Submit("q1", file, "line " + std::to_string(i)));
  ASSERT_EQ(ids.size(), 200u);
  ASSERT_FALSE(ids.count(0));
  EXPECT_TRUE(harness->WaitUntil([&] { return database->RowCount() >= 200; }, 120000)) << database->RowCount();
  ASSERT_TRUE(harness->ShutdownMonitoring(60000));
  EXPECT_EQ(PrintedRowsOnce(), ids);
}

TEST_F(CupsJobsRoadTest, JobsBeforeAStopAndAfterTheRestartAreEachOneRow) {
  const std::string file = cupsd.WriteFile("line.txt", 200);
  std::set<uint32_t> ids;
  for (int i = 0; i < 40; ++i) ids.insert(cupsd.Submit("q1", file, "before " + std::to_string(i)));
  // Stopped mid-run: some of these are still queued or printing, some
  // ended in the last moment before the stop.
  cupsd.Stop();
  ASSERT_TRUE(harness->WaitUntil([&] { return !harness->Alerts().empty(); }, 20000));
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  for (int i = 0; i < 60; ++i) ids.insert(cupsd.Submit("q1", file, "after " + std::to_string(i)));
  ASSERT_EQ(ids.size(), 100u);
  ASSERT_FALSE(ids.count(0));
  EXPECT_TRUE(harness->WaitUntil([&] { return database->RowCount() >= 100; }, 60000)) << database->RowCount();
  ASSERT_TRUE(harness->ShutdownMonitoring(60000));
  EXPECT_EQ(PrintedRowsOnce(), ids);
  const std::vector<std::string> alerts = harness->Alerts();
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_EQ(alerts[0].rfind("EAlertWarning: ", 0), 0u) << alerts[0];
  EXPECT_EQ(alerts[1].rfind("EAlertInfo: ", 0), 0u) << alerts[1];
}

// A queue added while watching whose first job ends before the queue's
// watch begins: the server's history gives it to the new watch.
TEST_F(CupsJobsRoadTest, AJobThatEndsBeforeANewQueuesWatchBeginsIsOneRow) {
  const std::string file = cupsd.WriteFile("quick.txt", 100);
  const std::string q2 = Local + "\\q2";
  std::atomic<uint32_t> quick{0};
  std::atomic<bool> ended{false};
  // On the server's thread, which starts the new queue's watch.
  harness->SetBeforePrinterWatch([&](const PrinterInfo2& printer) {
    if (printer.PrinterName != q2 || quick) return;
    const uint32_t id = cupsd.Submit("q2", file, "quick");
    const std::string listed = "q2-" + std::to_string(id) + " ";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string completed;
    while (id && completed.find(listed) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      completed.clear();
      cupsd.Run({"lpstat", "-h", cupsd.Socket(), "-W", "completed", "-o", "q2"}, &completed);
    }
    ended = completed.find(listed) != std::string::npos;
    quick = id;
  });
  ASSERT_TRUE(cupsd.AddQueue("q2"));
  ASSERT_TRUE(harness->WaitUntil([&] { return quick && RowOf(quick, {"JobPrinted"}) == "True"; }, 30000))
      << quick << " " << ended;
  EXPECT_TRUE(ended);
  ASSERT_TRUE(harness->ShutdownMonitoring(60000));
  EXPECT_EQ(RowOf(quick, {"PrinterName", "Document"}), q2 + "|quick");
  EXPECT_EQ(harness->Alerts(), std::vector<std::string>{"EAlertInfo: " + Format(SJobsRecovered, {1})});
}

}  // namespace
