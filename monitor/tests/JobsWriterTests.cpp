// The jobs table shared with another process: a writer killed in the middle
// of an append leaves a table that the next start opens, with no row twice.

#include <set>

#include "JobsDataModuleTestSupport.h"
#include "JobsStore.h"
#include "MDBTable.h"
#include "MDBSessionList.h"
#include "MDBSession.h"
#include "dbField.h"
#include "Queue.h"
#include "osHelperProcess.h"
#include "splConstants.h"

namespace {

class JobsWriterTest : public DataFolderTest {};

TEST_F(JobsWriterTest, AWriterKilledMidAppendLeavesATableTheNextStartOpensWithNoRowTwice) {
  ASSERT_TRUE(CheckDatabase());
  {
    THelperProcess writer(JOBS_WRITER_HELPER);
    ASSERT_EQ(writer.AskLine("open " + folder), "ok");
    ASSERT_EQ(writer.AskLine("write 1 5"), "ok");
    ASSERT_EQ(writer.AskLine("loop 100"), "started");
    writer.Kill();
  }
  ASSERT_TRUE(CheckDatabase());
  TDataModule1 module(folder);
  module.Table1().SetIndexName("");
  std::set<int> ids;
  int rows = 0;
  for (module.Table1().First(); !module.Table1().Eof(); module.Table1().Next()) {
    ++rows;
    EXPECT_TRUE(ids.insert(module.Table1().FieldByName("JobID")->AsInteger()).second);
  }
  EXPECT_GE(rows, 15);
  // The rows written before the kill, each once.
  EXPECT_EQ(*ids.begin(), 1);
  EXPECT_EQ(int(ids.size()), rows);
  // And the table takes new rows.
  QueueJob job;
  job.JobId = 99999;
  job.Status = JOB_STATUS_PRINTED;
  job.Submitted = 45001.25;
  EXPECT_EQ(module.WriteJobRecord(job, "\\\\HOST\\after"), TJobWriteResult::Written);
  EXPECT_EQ(module.Table1().RecordCount(), rows + 1);
}

// Another program has the jobs table open as the program starts (a second
// copy on a shared folder, a report, a predecessor not quite gone): the
// start goes on; a table the other holds stays closed, saying why, until a
// write finds it free; a refused emptying leaves the rows shown.
TEST_F(JobsWriterTest, AnotherProgramHoldingTheTableNeitherStopsTheStartNorLosesAJob) {
  ASSERT_TRUE(CheckDatabase());
  const struct {
    std::string Command;
    bool OpenAtStart;
  } holders[] = {{"open", true}, {"own", false}};
  uint32_t id = 0;
  for (const auto& holder : holders) {
    SCOPED_TRACE(holder.Command);
    THelperProcess other(JOBS_WRITER_HELPER);
    ASSERT_EQ(other.AskLine(holder.Command + " " + folder), "ok");
    TDataModule1 module(folder);
    EXPECT_EQ(module.Table1().Active(), holder.OpenAtStart);
    EXPECT_EQ(module.OpenRefusal().empty(), holder.OpenAtStart) << module.OpenRefusal();
    EXPECT_THROW(module.EmptyJobsTable(), Exception);
    EXPECT_EQ(module.Table1().Active(), holder.OpenAtStart);
    QueueJob job;
    job.JobId = ++id;
    job.Status = JOB_STATUS_PRINTED;
    job.Submitted = 45002.5;
    if (!holder.OpenAtStart) {
      EXPECT_THROW(module.WriteJobRecord(job, "\\\\HOST\\held"), EJobsTableBusy);
    }
    ASSERT_EQ(other.AskLine("release"), "ok");
    EXPECT_EQ(module.WriteJobRecord(job, "\\\\HOST\\held"), TJobWriteResult::Written);
    EXPECT_TRUE(module.OpenRefusal().empty());
    EXPECT_EQ(module.Table1().RecordCount(), int(id));
  }
}

}  // namespace

namespace {

// A job is the same when its printer, submission time, id and owner are:
// written again it gives no second row, but a row written before the job
// ended takes its end; an id used again later is another job.
TEST_F(JobsWriterTest, ARowWrittenBeforeTheJobEndedTakesItsEndAndNoJobIsWrittenTwice) {
  ASSERT_TRUE(CheckDatabase());
  TDataModule1 module(folder);
  const std::string printer = "\\\\HOST\\laser";
  const auto job = [](uint32_t id, TDateTime submitted, uint32_t status, uint32_t pages) {
    QueueJob j;
    j.JobId = id;
    j.UserName = "anna";
    j.Document = "report";
    j.Submitted = submitted;
    j.Status = status;
    j.PagesPrinted = j.TotalPages = pages;
    j.Size = j.BytesPrinted = pages * 1000;
    return j;
  };
  const TDateTime first = 45000.437512, later = 45003.25;
  const struct {
    QueueJob Job;
    std::string Printer;
    TJobWriteResult Result;
  } writes[] = {
      {job(7, first, JOB_STATUS_PAUSED, 0), printer, TJobWriteResult::Written},
      {job(7, first, JOB_STATUS_PAUSED, 0), printer, TJobWriteResult::AlreadyRecorded},
      {job(7, first, JOB_STATUS_PRINTED, 5), "\\\\host\\LASER", TJobWriteResult::Completed},
      {job(7, first, JOB_STATUS_PRINTED | JOB_STATUS_DELETED, 6), printer, TJobWriteResult::AlreadyRecorded},
      {job(7, later, JOB_STATUS_DELETED, 1), printer, TJobWriteResult::Written},
      {job(7, first, JOB_STATUS_PRINTED, 5), "\\\\HOST\\plotter", TJobWriteResult::Written},
      {job(8, first, JOB_STATUS_PRINTING, 2), printer, TJobWriteResult::Written},
      {job(8, first, JOB_STATUS_DELETED | JOB_STATUS_ERROR, 2), printer, TJobWriteResult::Completed},
  };
  for (const auto& w : writes) EXPECT_EQ(module.WriteJobRecord(w.Job, w.Printer), w.Result) << w.Job.JobId;
  module.Table1().SetIndexName("");
  EXPECT_EQ(Rows(module.Table1(), {"JobID", "PrinterName", "JobStatus", "PagesPrinted", "BytesPrinted", "JobPrinted"}),
            (std::vector<std::string>{"7|" + printer + "|128|5|5000|True", "7|" + printer + "|256|1|1000|False",
                                      "7|\\\\HOST\\plotter|128|5|5000|True", "8|" + printer + "|258|2|2000|False"}));
}

}  // namespace
