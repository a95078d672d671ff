#include "MonitorCommon.h"
#include "QueueTestSupport.h"

namespace {

void ExpectJob(const QueueJob& expected, const QueueJob& actual) {
  EXPECT_EQ(expected.JobId, actual.JobId);
  EXPECT_EQ(expected.MachineName, actual.MachineName);
  EXPECT_EQ(expected.Document, actual.Document);
  EXPECT_EQ(expected.StatusText, actual.StatusText);
  EXPECT_EQ(expected.UserName, actual.UserName);
  EXPECT_EQ(expected.Status, actual.Status);
  EXPECT_EQ(expected.PagesPrinted, actual.PagesPrinted);
  EXPECT_EQ(expected.TotalPages, actual.TotalPages);
  EXPECT_EQ(expected.Size, actual.Size);
  EXPECT_EQ(expected.BytesPrinted, actual.BytesPrinted);
  EXPECT_EQ(expected.Submitted, actual.Submitted);
}

class QueueTest : public SpoolerTest {
protected:
  PrinterQueue queue;

  void SetUp() override {
    SpoolerTest::SetUp();
    queue.PrinterName = printerName;
    queue.PrinterHandle = handle;
  }

  void ApplyNextChange(TPrinterChangeNotify& notify) {
    ASSERT_TRUE(notify.WaitForChange());
    ASSERT_NE(nullptr, notify.NotifyInfo());
    ApplyNotifyInfo(queue, *notify.NotifyInfo());
  }
};

TEST_F(QueueTest, AFullReadTakesEveryFieldButTheMachineNameAndAFailedOneChangesNothing) {
  JobInfo2 info = SampleJob("budget.xls");
  info.StatusText = "Out of toner";
  info.PagesPrinted = 3;
  spooler->SubmitJob(printerName, SampleJob("first.pdf"));
  info.JobId = spooler->SubmitJob(printerName, info);
  ASSERT_TRUE(queue.Refresh());
  EXPECT_EQ(Server, queue.ServerName);
  EXPECT_EQ("laser", queue.ShareName);
  EXPECT_EQ("LPT1:", queue.PortName);
  EXPECT_EQ("Generic Driver", queue.DriverName);
  EXPECT_EQ("Floor 2", queue.Location);
  EXPECT_EQ("by the stairs", queue.Comment);
  EXPECT_EQ(PRINTER_STATUS_IO_ACTIVE, queue.Status);
  EXPECT_EQ(2u, queue.JobCount);
  ASSERT_EQ(2, queue.Count());
  const QueueJob expected{info.JobId, "", "budget.xls", "Out of toner", "anna", JOB_STATUS_SPOOLING, 3, 12, 40960, 0,
                          SystemTimeToLocalDateTime(info.Submitted)};
  ExpectJob(expected, queue.Jobs[1]);

  spooler->SubmitJob(printerName, SampleJob("third.pdf"));
  spooler->FailCall(SpoolCall::EnumJobs, RPC_S_SERVER_UNAVAILABLE);
  EXPECT_FALSE(queue.Refresh());
  EXPECT_EQ(2, queue.Count());
  EXPECT_EQ(2u, queue.JobCount);
}

TEST_F(QueueTest, NotificationsKeepEveryJobFieldCurrentInTheModelAndThePendingEntry) {
  ASSERT_TRUE(queue.Refresh());
  TPrinterChangeNotify notify(handle, &options, PRINTER_CHANGE_DELETE_JOB);
  JobInfo2 info = SampleJob("added.txt");
  info.StatusText = "Warming up";
  const uint32_t id = spooler->SubmitJob(printerName, info);
  spooler->SetJobStatus(printerName, id, JOB_STATUS_PRINTING);
  spooler->ProgressJob(printerName, id, 4, 9000);
  spooler->SetPrinterStatus(printerName, PRINTER_STATUS_PRINTING);
  ApplyNextChange(notify);

  EXPECT_EQ(PRINTER_STATUS_PRINTING, queue.Status);
  EXPECT_EQ(1u, queue.JobCount);
  ASSERT_EQ(1, queue.Count());  // one record however many fields arrive
  const QueueJob expected{id, "\\\\DESK7", "added.txt", "Warming up", "anna", JOB_STATUS_PRINTING, 4, 12, 40960, 9000,
                          SystemTimeToLocalDateTime(info.Submitted)};
  ExpectJob(expected, queue.Jobs[0]);
  TPendingJob* entry = PendingEntry(id);
  ASSERT_NE(nullptr, entry);
  EXPECT_EQ(printerName, entry->PrinterName);
  ExpectJob(expected, *entry);
}

TEST_F(QueueTest, EveryPrinterFieldIsAppliedButCommentAndLocationWaitForAFullRead) {
  ASSERT_TRUE(queue.Refresh());
  PrinterNotifyInfo info;
  const auto add = [&](uint16_t field, const std::string& text, uint32_t number) {
    info.Data.push_back({PRINTER_NOTIFY_TYPE, field, 0, NotifyDataKind::Text, number, text, {}});
  };
  add(PRINTER_NOTIFY_FIELD_SERVER_NAME, "\\\\OTHER", 0);
  add(PRINTER_NOTIFY_FIELD_PRINTER_NAME, "\\\\OTHER\\renamed", 0);
  add(PRINTER_NOTIFY_FIELD_SHARE_NAME, "share2", 0);
  add(PRINTER_NOTIFY_FIELD_PORT_NAME, "USB001", 0);
  add(PRINTER_NOTIFY_FIELD_STATUS, "", PRINTER_STATUS_PAPER_OUT);
  add(PRINTER_NOTIFY_FIELD_CJOBS, "", 7);
  add(PRINTER_NOTIFY_FIELD_COMMENT, "new comment", 0);
  add(PRINTER_NOTIFY_FIELD_LOCATION, "new place", 0);
  add(PRINTER_NOTIFY_FIELD_DRIVER_NAME, "new driver", 0);
  ApplyNotifyInfo(queue, info);
  EXPECT_EQ("\\\\OTHER", queue.ServerName);
  EXPECT_EQ("\\\\OTHER\\renamed", queue.PrinterName);
  EXPECT_EQ("share2", queue.ShareName);
  EXPECT_EQ("USB001", queue.PortName);
  EXPECT_EQ(PRINTER_STATUS_PAPER_OUT, queue.Status);
  EXPECT_EQ(7u, queue.JobCount);
  EXPECT_EQ("by the stairs", queue.Comment);
  EXPECT_EQ("Floor 2", queue.Location);
  EXPECT_EQ("Generic Driver", queue.DriverName);
}

TEST_F(QueueTest, ADiscardedNotificationIsAnsweredByAFullRead) {
  const uint32_t kept = spooler->SubmitJob(printerName, SampleJob("kept.txt"));
  ASSERT_TRUE(queue.Refresh());
  TPrinterChangeNotify notify(handle, &options, PRINTER_CHANGE_DELETE_JOB);
  spooler->SubmitJob(printerName, SampleJob("while.lost"));
  spooler->ProgressJob(printerName, kept, 6, 100);
  spooler->ForceOverflow();
  notify.OnRefresh = [&](TPrinterChangeNotify*) {
    EXPECT_TRUE(queue.Refresh());
    spooler->SetPrinterStatus(printerName, PRINTER_STATUS_PAUSED);
  };
  ApplyNextChange(notify);
  ASSERT_EQ(2, queue.Count());
  EXPECT_EQ(6u, queue.Jobs[0].PagesPrinted);
  EXPECT_EQ("while.lost", queue.Jobs[1].Document);
  EXPECT_EQ(PRINTER_STATUS_PAUSED, queue.Status);
}

TEST_F(QueueTest, AJobQueuedBeforeTheWatchIsPendingWholeButOnlyUntilItsEntryLeft) {
  const uint32_t id = spooler->SubmitJob(printerName, SampleJob("early.doc"));
  ASSERT_TRUE(queue.Refresh());
  TPrinterChangeNotify notify(handle, &options, PRINTER_CHANGE_DELETE_JOB);
  spooler->PrintJob(printerName, id);
  ApplyNextChange(notify);
  TPendingJob* entry = PendingEntry(id);
  ASSERT_NE(nullptr, entry);
  const QueueJob printed{id, "", "early.doc", "", "anna", JOB_STATUS_PRINTED, 12, 12, 40960, 40960,
                         SystemTimeToLocalDateTime(SampleJob("").Submitted)};
  ExpectJob(printed, *entry);

  // A flush records the printed job while it is still queued; its removal
  // must not make a second whole entry.
  JobList().FreeIf([&](TPendingJob* candidate) { return candidate == entry; });
  spooler->RemoveJob(printerName, id);
  ApplyNextChange(notify);
  entry = PendingEntry(id);
  ASSERT_NE(nullptr, entry);
  EXPECT_EQ(JOB_STATUS_PRINTED | JOB_STATUS_DELETED, entry->Status);
  EXPECT_EQ(0, entry->Submitted);
  EXPECT_EQ("", entry->Document);
}

TEST_F(QueueTest, ColumnTexts) {
  TFormatSettings settings = FormatSettingsForLanguage(0);
  settings.DateSeparator = '/';
  QueueJob job{1, "", "report.pdf", "", "anna", JOB_STATUS_PRINTING | JOB_STATUS_PAUSED, 1234, 56789, 2048, 0,
               EncodeDateTime(2024, 2, 3, 14, 5, 9, 0)};
  const auto column = [&](int index) { return PrinterQueue::GetColumnText(job, index, settings); };
  EXPECT_EQ("report.pdf", column(0));
  EXPECT_EQ("Printing - Paused", column(1));
  EXPECT_EQ("anna", column(2));
  EXPECT_EQ("1,234/56,789", column(3));
  EXPECT_EQ("0 b/2.00 KB", column(4));
  EXPECT_EQ("14:05:09 3/02/2024", column(5));
  EXPECT_EQ("", column(6));
  job.StatusText = "Jammed";
  EXPECT_EQ("Jammed", column(1));
}

}  // namespace
