// The road of a job: the simulated spooler, the watch threads, the pending
// list, the data thread and the jobs table of a scratch data folder.

#include <cmath>
#include <set>

#include "DMTestDatabase.h"
#include "JobsTable.h"
#include "gTools.h"
#include "rtlFormat.h"
#include "thrWatchTestSupport.h"

namespace {

const std::vector<std::string> AllFields = {"JobDate",      "JobTime",    "JobID",        "MachineName", "PrinterName",
                                            "JobOwner",     "PagesPrinted", "TotalPages", "BytesPrinted", "JobSize",
                                            "Document",     "JobStatus",  "JobPrinted"};

class JobsRoadTest : public SimulatedWatchTest {
protected:
  std::unique_ptr<TTestJobsDatabase> database;
  std::vector<std::string> printers;

  void SetUp() override {
    SimulatedWatchTest::SetUp();
    database = std::make_unique<TTestJobsDatabase>();
    GetDataThread();
  }
  void TearDown() override {
    EXPECT_TRUE(harness->ShutdownMonitoring(60000));
    database.reset();
    SimulatedWatchTest::TearDown();
  }

  bool WaitForRows(int count) {
    return harness->WaitUntil([&] { return database->RowCount() >= count; });
  }

  static std::string Row(TDateTime submitted, uint32_t id, const std::string& printer, const std::string& owner,
                         uint32_t pages, uint32_t total, uint32_t bytes, uint32_t size, const std::string& document,
                         uint32_t status, bool printed, const std::string& machine = "\\\\DESK7") {
    const std::string date = Format("%.8f", {std::trunc(submitted)});
    const std::string time = Format("%.8f", {submitted - std::trunc(submitted)});
    return Format("%s|%s|%d|%s|%s|%s|%d|%d|%d|%d|%s|%d|%s",
                  {date, time, int32_t(id), machine, printer, owner, int32_t(pages), int32_t(total), int32_t(bytes),
                   int32_t(size), document, int32_t(status), std::string(printed ? "True" : "False")});
  }
};

TEST_F(JobsRoadTest, APrintedJobGivesExactlyOneRowWithEveryField) {
  printers = {AddPrinter(Local, "laser")};
  StartWatching("", printers);
  JobInfo2 job = SampleJob("quarterly report.pdf", 12, 40960);
  job.UserName = "anna.m\xc3\xa9";  // non-ASCII letters keep their case
  const uint32_t id = spooler->SubmitJob(printers[0], job);
  spooler->ProgressJob(printers[0], id, 6, 20480);
  spooler->PrintJob(printers[0], id);
  spooler->RemoveJob(printers[0], id);
  ASSERT_TRUE(WaitForRows(1));
  ASSERT_TRUE(harness->WaitUntil([&] { return !harness->PendingJob(printers[0], id).has_value(); }));
  const TDateTime submitted = SystemTimeToLocalDateTime(job.Submitted);
  EXPECT_EQ(database->Rows(AllFields),
            (std::vector<std::string>{Row(submitted, id, printers[0], "ANNA.M\xc3\xa9", 12, 12, 40960, 40960,
                                          "quarterly report.pdf", JOB_STATUS_PRINTED | JOB_STATUS_DELETED, true)}));
  EXPECT_TRUE(harness->Alerts().empty());
}
}  // namespace
