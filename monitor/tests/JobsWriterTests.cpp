// The jobs table shared with another process: a writer killed in the middle
// of an append leaves a table that the next start opens, with no row twice.

#include <set>

#include "DMTestSupport.h"
#include "MDBTable.h"
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

}  // namespace
