#include <atomic>

#include "BaseThread.h"
#include "QueueTestSupport.h"
#include "SystemErrors.h"
#include "osThread.h"

namespace {

class PrnNotifyTest : public SpoolerTest {
protected:
  uint64_t Fetches() const { return spooler->CallCount(SpoolCall::FindNextPrinterChangeNotification); }
};

TEST_F(PrnNotifyTest, AChangeIsReportedEvenWhenAnExtraObjectEndedTheWait) {
  TPrinterChangeNotify notify(handle, &options, PRINTER_CHANGE_DELETE_JOB);
  TSimpleEvent stop;
  notify.SetWaitHandles({&stop});
  stop.SetEvent();
  EXPECT_FALSE(notify.WaitForChange());
  EXPECT_FALSE(notify.WokenByApc());
  EXPECT_EQ(0u, Fetches());

  // The extra object is first in the wait list: the notification is tested by itself.
  const uint32_t id = spooler->SubmitJob(printerName, SampleJob("report.pdf"));
  ASSERT_TRUE(notify.WaitForChange());
  EXPECT_EQ(0u, notify.ChangeWord());  // an added job is not in the filter
  ASSERT_NE(nullptr, notify.NotifyInfo());
  EXPECT_FALSE(notify.NotifyInfo()->Data.empty());
  spooler->RemoveJob(printerName, id);
  ASSERT_TRUE(notify.WaitForChange());
  EXPECT_EQ(PRINTER_CHANGE_DELETE_JOB, notify.ChangeWord());
}

TEST_F(PrnNotifyTest, DiscardedDataIsFetchedAgainWithRefreshAndOnlyTheRefreshHandlerSeesIt) {
  TPrinterChangeNotify notify(handle, &options, PRINTER_CHANGE_DELETE_JOB);
  spooler->SubmitJob(printerName, SampleJob("lost.txt"));
  spooler->ForceOverflow();
  int refreshes = 0;
  notify.OnRefresh = [&](TPrinterChangeNotify* sender) {
    EXPECT_EQ(&notify, sender);
    ++refreshes;
    spooler->SetPrinterStatus(printerName, PRINTER_STATUS_PAUSED);  // for the resumed wait
  };
  ASSERT_TRUE(notify.WaitForChange());
  EXPECT_EQ(1, refreshes);
  EXPECT_EQ(3u, Fetches());  // the discarded one, the refresh, the new change
  EXPECT_EQ(0u, options.Flags);
  ASSERT_NE(nullptr, notify.NotifyInfo());
  EXPECT_EQ(0u, notify.NotifyInfo()->Flags);
  ASSERT_EQ(1u, notify.NotifyInfo()->Data.size());
  EXPECT_EQ(PRINTER_STATUS_PAUSED, notify.NotifyInfo()->Data[0].Number);
}

TEST_F(PrnNotifyTest, WakeApcCutsTheWaitShortAndLeavesNothingToApply) {
  TPrinterChangeNotify notify(handle, &options, PRINTER_CHANGE_DELETE_JOB);
  spooler->SubmitJob(printerName, SampleJob("earlier.txt"));  // must not show again
  ASSERT_TRUE(notify.WaitForChange());
  const uint64_t fetches = Fetches();

  TSimpleEvent waiting;
  std::atomic<bool> changed{true};
  TThreadHandle watcher = CreateThread(
      [&]() -> uint32_t {
        waiting.SetEvent();
        changed = notify.WaitForChange();
        return 0;
      },
      false);
  ASSERT_TRUE(watcher);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(waiting.Handle(), 10000));
  ASSERT_TRUE(QueueUserAPC(WakeApc, watcher));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watcher.get(), 10000));
  EXPECT_FALSE(changed.load());
  EXPECT_TRUE(notify.WokenByApc());
  EXPECT_EQ(nullptr, notify.NotifyInfo());
  EXPECT_EQ(0u, notify.ChangeWord());
  EXPECT_EQ(fetches, Fetches());
}

TEST_F(PrnNotifyTest, SpoolerFailuresRaiseSysError) {
  spooler->FailCall(SpoolCall::FindFirstPrinterChangeNotification, ERROR_ACCESS_DENIED);
  EXPECT_THROW(TPrinterChangeNotify(handle, &options, PRINTER_CHANGE_DELETE_JOB), ESysError);

  TPrinterChangeNotify notify(handle, &options, PRINTER_CHANGE_DELETE_JOB);
  spooler->SetPrinterStatus(printerName, PRINTER_STATUS_PAUSED);
  spooler->FailCall(SpoolCall::FindNextPrinterChangeNotification, RPC_S_SERVER_UNAVAILABLE);
  try {
    notify.WaitForChange();
    ADD_FAILURE() << "no exception";
  } catch (const ESysError& e) {
    EXPECT_EQ(e.Message, SpoolErrorMessage(RPC_S_SERVER_UNAVAILABLE));
  }
  notify.Close();
  EXPECT_THROW(notify.WaitForChange(), ESysError);
}

}  // namespace
