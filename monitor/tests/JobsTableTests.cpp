#include <vector>

#include "QueueTestSupport.h"
#include "osThread.h"

namespace {

const std::string Laser = "\\\\HOST\\Laser";

QueueJob Job(uint32_t jobId, const std::string& document = "") {
  QueueJob job;
  job.JobId = jobId;
  job.Document = document;
  job.Submitted = 45000.5;
  return job;
}

TEST(JobsTable, EntriesAreKeyedByPrinterWithoutCaseThenByIdEvenAtTheExtremes) {
  TJobList list;
  TPendingJob& first = list.FindOrAdd(Job(7), Laser);
  EXPECT_NE(&first, &list.FindOrAdd(Job(7), "\\\\HOST\\Plotter"));
  EXPECT_EQ(&first, &list.FindOrAdd(Job(7), "\\\\host\\LASER"));
  EXPECT_EQ(Laser, first.PrinterName);

  const std::vector<uint32_t> ids = {0x80000000u, 0, 0xFFFFFFFFu, 1, 0x7FFFFFFFu, 0x80000001u};
  for (uint32_t id : ids) list.FindOrAdd(Job(id), Laser);
  for (uint32_t id : ids) list.FindOrAdd(Job(id), Laser);
  ASSERT_EQ(8, list.Count());
  for (int32_t i = 1; i < 7; ++i) EXPECT_LT(list.At(i - 1)->JobId, list.At(i)->JobId);
}

TEST(JobsTable, ANewEntryCopiesTheModelsRecordUnlessOneOfTheJobLeftLately) {
  TJobList list;
  TPendingJob& entry = list.FindOrAdd(Job(3, "seen.doc"), Laser);
  EXPECT_EQ("seen.doc", entry.Document);
  EXPECT_EQ(45000.5, entry.Submitted);
  EXPECT_EQ("seen.doc", list.FindOrAdd(Job(3, "changed.doc"), Laser).Document);

  // Only an ended job is over: one written unfinished at shutdown starts
  // again as a copy.
  list.FreeIf([](TPendingJob*) { return true; });
  EXPECT_EQ("seen.doc", list.FindOrAdd(Job(3, "seen.doc"), Laser).Document);

  const auto ended = [](TPendingJob* entry) {
    entry->Status = JOB_STATUS_PRINTED;
    return true;
  };
  for (uint32_t id = 4; id < TJobList::LeftKeysKept + 3; ++id) list.FindOrAdd(Job(id), Laser);
  list.FreeIf(ended);
  TPendingJob& again = list.FindOrAdd(Job(3, "seen.doc"), "\\\\host\\laser");
  EXPECT_EQ(3u, again.JobId);
  EXPECT_EQ("", again.Document);
  EXPECT_EQ(0, again.Submitted);

  list.FindOrAdd(Job(TJobList::LeftKeysKept + 3), Laser);
  list.FreeIf(ended);  // the oldest key, job 3's, goes
  EXPECT_EQ(45000.5, list.FindOrAdd(Job(3), Laser).Submitted);
}

class JobsTableRace : public SpoolerTest {};

// A flush walks the list on another thread while notifications are applied:
// it sees whole notifications only, and each finished job once.
TEST_F(JobsTableRace, AFlushNeverSeesHalfANotification) {
  constexpr uint32_t Jobs = 2000;
  PrinterQueue queue;
  queue.PrinterName = printerName;
  TThreadHandle printerThread = CreateThread(
      [&]() -> uint32_t {
        for (uint32_t id = 1; id <= Jobs; ++id) {
          PrinterNotifyInfo info;
          info.Data = {{JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_STATUS, id, NotifyDataKind::Number, JOB_STATUS_PRINTED, "", {}},
                       {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_DOCUMENT, id, NotifyDataKind::Text, 0, "doc", {}},
                       {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_SUBMITTED, id, NotifyDataKind::Time, 0, "",
                        {2024, 1, 1, 1, 12, 0, 0, 0}}};
          ApplyNotifyInfo(queue, info);
        }
        return 0;
      },
      false);
  ASSERT_TRUE(printerThread);
  uint32_t flushed = 0, incomplete = 0;
  const auto flush = [&] {
    JobList().FreeIf([&](TPendingJob* entry) {
      if (!SameText(entry->PrinterName, printerName) || !(entry->Status & JOB_STATUS_PRINTED)) return false;
      ++flushed;
      incomplete += entry->Document.empty() || entry->Submitted == 0;
      return true;
    });
  };
  while (WaitForSingleObject(printerThread.get(), 0) == WAIT_TIMEOUT) flush();
  flush();
  EXPECT_EQ(Jobs, flushed);
  EXPECT_EQ(0u, incomplete);
}

}  // namespace
