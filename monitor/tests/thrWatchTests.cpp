#include <atomic>
#include <map>
#include <stdexcept>

#include "osSyncEvent.h"
#include "osSyncTicks.h"
#include "thrWatchTestSupport.h"

namespace {

class WatchThreadsTest : public SimulatedWatchTest {
protected:
  const std::string Remote = UniqueName("\\\\REMOTE");
  std::vector<std::string> printers;

  void SetUp() override {
    SimulatedWatchTest::SetUp();
    spooler->AddServer(Remote);
    printers = {AddPrinter(Local, "laser"), AddPrinter(Local, "ink"), AddPrinter(Remote, "plotter"),
                AddPrinter(Remote, "label")};
  }

  // Once armed, a printer's thread is held in its change callback: held is
  // set while it waits there for release.
  struct TChangeHold {
    TOsEvent held{TOsEventOptions{.manualReset = true}};
    TOsEvent release{TOsEventOptions{.manualReset = true}};
    std::atomic<bool> armed{false};
  };
  void HoldChangesOf(const std::string& printer, TChangeHold& hold) {
    harness->AfterJobsChanged = [&hold, printer](TThreadJobs& thread) {
      if (thread.Name() != printer || !hold.armed.exchange(false)) return;
      hold.held.Set();
      WaitForSingleObject(&hold.release, INFINITE);
    };
  }

  uint64_t Calls(SpoolCall call) const { return spooler->CallCount(call); }
};

TEST_F(WatchThreadsTest, JobsOfEveryPrinterOfTwoServersReachThePendingListWithEveryField) {
  StartWatching("", printers);
  ASSERT_EQ(2, ServerList().Count());

  // A status change alone is applied without a full re-read.
  const JobInfo2 early = SampleJob("early.txt", 2, 900);
  const uint32_t earlyId = spooler->SubmitJob(printers[0], early);
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->PendingJob(printers[0], earlyId).has_value(); }));
  const uint64_t fullReads = Calls(SpoolCall::EnumJobs);
  spooler->SetJobStatus(printers[0], earlyId, JOB_STATUS_PRINTING);
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->PendingJob(printers[0], earlyId)->Status == JOB_STATUS_PRINTING; }));
  EXPECT_EQ(fullReads, Calls(SpoolCall::EnumJobs));
  EXPECT_EQ(0, harness->DataThreadWakes());

  struct TJobs {
    JobInfo2 printed, cancelled, running;
    uint32_t printedId, cancelledId, runningId;
  };
  std::map<std::string, TJobs> jobs;
  for (const std::string& printer : printers) {
    TJobs& j = jobs[printer];
    j.printed = SampleJob("report of " + printer, 12, 40960);
    j.cancelled = SampleJob("draft", 3, 2048);
    j.cancelled.UserName = "bert";
    j.running = SampleJob("long listing", 500, 9000000);
    j.printedId = spooler->SubmitJob(printer, j.printed);
    j.cancelledId = spooler->SubmitJob(printer, j.cancelled);
    j.runningId = spooler->SubmitJob(printer, j.running);
    spooler->ProgressJob(printer, j.printedId, 6, 20480);
    spooler->PrintJob(printer, j.printedId);
    spooler->RemoveJob(printer, j.printedId);
    spooler->DeleteJob(printer, j.cancelledId);
    spooler->SetJobStatus(printer, j.runningId, JOB_STATUS_PRINTING);
    spooler->ProgressJob(printer, j.runningId, 120, 2000000);
  }

  for (const std::string& printer : printers) {
    const TJobs& j = jobs[printer];
    ASSERT_TRUE(harness->WaitUntil([&] {
      const auto printed = harness->PendingJob(printer, j.printedId);
      const auto cancelled = harness->PendingJob(printer, j.cancelledId);
      const auto running = harness->PendingJob(printer, j.runningId);
      return printed && printed->Status & JOB_STATUS_DELETED && cancelled && cancelled->Status & JOB_STATUS_DELETED &&
             running && running->BytesPrinted == 2000000;
    })) << printer;
    ExpectEveryField(*harness->PendingJob(printer, j.printedId), printer, j.printed,
                     JOB_STATUS_PRINTED | JOB_STATUS_DELETED, 12, 40960);
    ExpectEveryField(*harness->PendingJob(printer, j.cancelledId), printer, j.cancelled,
                     JOB_STATUS_SPOOLING | JOB_STATUS_DELETING | JOB_STATUS_DELETED, 0, 0);
    ExpectEveryField(*harness->PendingJob(printer, j.runningId), printer, j.running, JOB_STATUS_PRINTING, 120, 2000000);

    // The jobs that left were re-read out of the model.
    ASSERT_TRUE(harness->WaitUntil([&] {
      const auto queue = harness->QueueOf(printer.substr(0, printer.rfind('\\')), printer);
      return queue && queue->Count() == (printer == printers[0] ? 2 : 1);
    })) << printer;
    const PrinterQueue queue = *harness->QueueOf(printer.substr(0, printer.rfind('\\')), printer);
    EXPECT_EQ(j.runningId, queue.Jobs.back().JobId);
    EXPECT_EQ(120u, queue.Jobs.back().PagesPrinted);
    EXPECT_EQ("Floor 2", queue.Location);
  }
  EXPECT_GE(harness->DataThreadWakes(), 4);
  EXPECT_TRUE(harness->Alerts().empty());

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  for (const std::string& printer : printers) harness->TakePendingJobs(printer);
}

TEST_F(WatchThreadsTest, ShutdownWithJobsInFlightEndsEveryThreadAndHandsThePendingJobsOver) {
  StartWatching("", printers);
  std::map<std::string, uint32_t> running;
  const JobInfo2 job = SampleJob("big.pdf", 80, 4000000);
  for (const std::string& printer : printers) {
    running[printer] = spooler->SubmitJob(printer, job);
    spooler->SetJobStatus(printer, running[printer], JOB_STATUS_PRINTING);
    spooler->ProgressJob(printer, running[printer], 10, 500000);
  }
  for (const std::string& printer : printers) {
    ASSERT_TRUE(harness->WaitUntil([&] {
      const auto entry = harness->PendingJob(printer, running[printer]);
      return entry && entry->BytesPrinted == 500000;
    }));
  }

  const uint32_t start = GetTickCount();
  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  EXPECT_LT(GetTickCount() - start, 10000u);
  EXPECT_EQ(0, RunningThreads().GetValue());
  EXPECT_EQ(0, PrinterThreadCount());
  EXPECT_EQ(0, ServerList().Count());
  EXPECT_EQ(0, harness->Tree->LiveNodes());
  EXPECT_EQ(Calls(SpoolCall::OpenPrinter), Calls(SpoolCall::ClosePrinter));
  EXPECT_EQ(Calls(SpoolCall::FindFirstPrinterChangeNotification), Calls(SpoolCall::FindClosePrinterChangeNotification));

  for (const std::string& printer : printers) {
    const std::vector<TPendingJob> handedOver = harness->TakePendingJobs(printer);
    ASSERT_EQ(1u, handedOver.size()) << printer;
    ExpectEveryField(handedOver[0], printer, job, JOB_STATUS_PRINTING, 10, 500000);
  }
}

TEST_F(WatchThreadsTest, AForcedOverflowRereadsTheQueueAndLosesNothing) {
  const std::string printer = printers[0];
  // Once armed, the printer thread is held in its change callback while the
  // spooler changes and then drops what it had collected.
  TChangeHold hold;
  HoldChangesOf(printer, hold);
  StartWatching(Local, {printers[0], printers[1]});
  const JobInfo2 first = SampleJob("first.txt", 8, 8192);
  const JobInfo2 gone = SampleJob("gone.txt", 1, 100);
  const uint32_t firstId = spooler->SubmitJob(printer, first);
  const uint32_t goneId = spooler->SubmitJob(printer, gone);
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->PendingJob(printer, goneId).has_value(); }));

  hold.armed = true;
  spooler->SetJobStatus(printer, firstId, JOB_STATUS_PRINTING);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&hold.held, 20000));
  spooler->ProgressJob(printer, firstId, 5, 4096);
  const JobInfo2 later = SampleJob("later.txt", 2, 3000);
  const uint32_t laterId = spooler->SubmitJob(printer, later);
  spooler->PrintJob(printer, goneId);
  spooler->RemoveJob(printer, goneId);
  spooler->ForceOverflow(Local);
  const uint64_t fullReads = Calls(SpoolCall::EnumJobs);
  hold.release.Set();

  ASSERT_TRUE(harness->WaitUntil([&] {
    const auto entry = harness->PendingJob(printer, laterId);
    return entry && entry->Document == later.Document && harness->PendingJob(printer, firstId)->PagesPrinted == 5;
  }));
  EXPECT_GT(Calls(SpoolCall::EnumJobs), fullReads);
  ExpectEveryField(*harness->PendingJob(printer, firstId), printer, first, JOB_STATUS_PRINTING, 5, 4096);
  ExpectEveryField(*harness->PendingJob(printer, laterId), printer, later, JOB_STATUS_SPOOLING, 0, 0);
  // A job that left unseen stays pending with what was known of it, for the
  // last flush to write.
  ASSERT_TRUE(harness->PendingJob(printer, goneId));
  EXPECT_EQ(gone.Document, harness->PendingJob(printer, goneId)->Document);
  EXPECT_GE(harness->DataThreadWakes(), 1);

  const std::optional<PrinterQueue> queue = harness->QueueOf(Local, printer);
  ASSERT_TRUE(queue);
  ASSERT_EQ(2, queue->Count());
  EXPECT_EQ(firstId, queue->Jobs[0].JobId);
  EXPECT_EQ(laterId, queue->Jobs[1].JobId);
  EXPECT_EQ(later.MachineName, queue->Jobs[1].MachineName);

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  harness->TakePendingJobs(printer);
}

TEST_F(WatchThreadsTest, AModelReaderThatThrowsGivesTheLockBackAndThePrinterThreadGoesOn) {
  const std::string printer = printers[0];
  std::atomic<TThreadJobs*> watch{nullptr};
  harness->AfterJobsChanged = [&](TThreadJobs& thread) {
    if (thread.Name() == printer) watch = &thread;
  };
  StartWatching(Local, {printers[0], printers[1]});
  ASSERT_TRUE(harness->WaitUntil([&] { return watch.load() != nullptr; }));

  // A reader on another thread than the printer's fails while it holds the
  // model (a copy out of memory); the printer thread must still be able to
  // take the lock and apply the next change.
  TThreadJobs& thread = *watch.load();
  EXPECT_THROW(
      {
        THeldModel held(thread, thread.GetQueue());
        throw std::runtime_error("the reader's copy failed");
      },
      std::runtime_error);
  const uint32_t jobId = spooler->SubmitJob(printer, SampleJob("after.txt", 1, 100));
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->PendingJob(printer, jobId).has_value(); }));
  const std::optional<PrinterQueue> queue = harness->QueueOf(Local, printer);
  ASSERT_TRUE(queue);
  ASSERT_EQ(1, queue->Count());
  EXPECT_EQ(jobId, queue->Jobs[0].JobId);

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  harness->TakePendingJobs(printer);
}

TEST_F(WatchThreadsTest, PrintersAddedOrRemovedAtRunTimeGetOrLoseTheirThreads) {
  const std::string laser = printers[0], ink = printers[1];
  StartWatching(Local, {laser, ink});
  // The server's own watch is open once a job's arrival reaches it.
  ASSERT_TRUE(harness->WaitUntil([&] {
    spooler->RemoveJob(ink, spooler->SubmitJob(ink, SampleJob("probe", 1, 1)));
    return harness->WaitUntil([&] { return harness->ServerChanges(Local, false) > 0; }, 250);
  }));

  // A restart is over once a thread newer than the one listed before has
  // made its first read of every printer.
  const auto listed = [&](const std::vector<std::string>& names) {
    std::map<std::string, int32_t> threads;
    for (const std::string& name : names) threads[name] = harness->ListedThread(Local, name);
    return threads;
  };
  const auto restarted = [&](const std::map<std::string, int32_t>& before) {
    for (const auto& [printer, thread] : before) {
      if (harness->LatestCaller(printer) <= thread) return false;
    }
    return PrinterThreadCount() == static_cast<int32_t>(before.size());
  };
  const std::string added = Local + "\\added";
  std::map<std::string, int32_t> before = listed({laser, ink, added});
  AddPrinter(Local, "added");
  ASSERT_TRUE(harness->WaitUntil([&] { return restarted(before); }));
  EXPECT_EQ(1, harness->ServerChanges(Local, true));

  before = listed({ink, added});
  spooler->DeletePrinter(laser);
  ASSERT_TRUE(harness->WaitUntil([&] { return restarted(before); }));
  EXPECT_FALSE(harness->HasPrinterThread(Local, laser));
  EXPECT_TRUE(harness->HasPrinterThread(Local, added));
  EXPECT_TRUE(harness->HasPrinterThread(Local, ink));
  // The nodes of the stopped threads are gone: the server and its two printers remain.
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->Tree->LiveNodes() == 3; }));

  // A wake-up makes the server read its printers again as if they changed.
  EXPECT_EQ(2, harness->ServerChanges(Local, true));
  before = listed({ink, added});
  ServerList().WakeAll();
  ASSERT_TRUE(harness->WaitUntil([&] { return restarted(before); }));
  EXPECT_EQ(3, harness->ServerChanges(Local, true));
  EXPECT_TRUE(harness->Alerts().empty());

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  for (const std::string& printer : printers) harness->TakePendingJobs(printer);
  harness->TakePendingJobs(added);
}

// The windows start a server's thread with the enumeration's list of its
// printers; what changed between that list and the thread's first read is
// reported as a change, and what did not is not.
TEST_F(WatchThreadsTest, AServerThreadReportsAtItsFirstReadOnlyPrintersChangedSinceTheEnumeration) {
  const std::string laser = printers[0], ink = printers[1];
  std::vector<PrinterInfo2> enumerated;
  ASSERT_EQ(ERROR_SUCCESS, spooler->EnumPrinters(PRINTER_ENUM_NAME, Local, enumerated));
  ASSERT_EQ(2u, enumerated.size());
  spooler->DeletePrinter(laser);
  const std::string added = AddPrinter(Local, "added");

  ASSERT_TRUE(harness->OnServerFound(nullptr, Local, int32_t(enumerated.size()), enumerated));
  ASSERT_TRUE(harness->WaitUntil([&] {
    return harness->HasPrinterThread(Local, ink) && harness->HasPrinterThread(Local, added);
  }));
  EXPECT_FALSE(harness->HasPrinterThread(Local, laser));
  EXPECT_EQ(1, harness->ServerChanges(Local, true));

  // Remote's list is what its thread first reads: only a job's arrival, by
  // notification, reaches the windows.
  const std::string plotter = printers[2];
  enumerated.clear();
  ASSERT_EQ(ERROR_SUCCESS, spooler->EnumPrinters(PRINTER_ENUM_NAME, Remote, enumerated));
  ASSERT_TRUE(harness->OnServerFound(nullptr, Remote, int32_t(enumerated.size()), enumerated));
  ASSERT_TRUE(harness->WaitUntil([&] {
    spooler->RemoveJob(plotter, spooler->SubmitJob(plotter, SampleJob("probe", 1, 1)));
    return harness->WaitUntil([&] { return harness->ServerChanges(Remote, false) > 0; }, 250);
  }));
  EXPECT_EQ(0, harness->ServerChanges(Remote, true));
  EXPECT_FALSE(harness->HasPrinterThread(Remote, plotter));

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  harness->TakePendingJobs(ink);
  harness->TakePendingJobs(added);
}

// A wake-up (F5) asks a server's thread to read its printers again, and so
// its printers' threads. Queued while the thread is not in its watch wait,
// it must wait there, not be spent by a pause on the way: while the thread
// waits for a printer thread to stop, and before it starts (its start's
// pause).
TEST_F(WatchThreadsTest, AWakeUpQueuedWhileTheServerThreadIsElsewhereStillMakesItReadAgain) {
  const std::string laser = printers[0], ink = printers[1];
  TChangeHold hold;
  HoldChangesOf(laser, hold);
  StartWatching(Local, {laser, ink});
  // The server's own watch is open, and its first read made, once a job's
  // arrival reaches it.
  ASSERT_TRUE(harness->WaitUntil([&] {
    spooler->RemoveJob(ink, spooler->SubmitJob(ink, SampleJob("probe", 1, 1)));
    return harness->WaitUntil([&] { return harness->ServerChanges(Local, false) > 0; }, 250);
  }));
  {
    SCOPED_TRACE("while a printer thread stops");
    hold.armed = true;
    spooler->SetPrinterStatus(laser, PRINTER_STATUS_PAUSED);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&hold.held, 20000));
    // A printer added: the server stops its printer threads and waits for
    // the held one, sleeping between looks.
    const int changes = harness->ServerChanges(Local, true);
    AddPrinter(Local, "added");
    EXPECT_TRUE(harness->WaitUntil([&] {
      THeldList heldServers(ServerList());
      TThreadCustom* server = ServerList().FindByName(Local);
      return server && server->State() == TBaseThread::tsSleeping;
    }));
    ServerList().WakeAll();
    // Long enough for a look or two while the printer thread is still held.
    harness->WaitUntil([] { return false; }, 300);
    hold.release.Set();
    EXPECT_TRUE(harness->WaitUntil([&] { return harness->ServerChanges(Local, true) == changes + 2; }));
  }
  {
    SCOPED_TRACE("before the thread starts");
    std::vector<PrinterInfo2> enumerated;
    ASSERT_EQ(ERROR_SUCCESS, spooler->EnumPrinters(PRINTER_ENUM_NAME, Remote, enumerated));
    PrinterHandle handle = 0;
    ASSERT_EQ(ERROR_SUCCESS, spooler->OpenPrinter(Remote, 0, handle));
    {
      THeldList heldServers(ServerList());
      TThreadServer* server = ServerList().AddServer(Remote, handle);
      server->OnChange = [this](TThreadCustom* sender) { harness->OnServerChanged(sender); };
      // The list its first read finds: that read alone reports nothing.
      server->SetModel(enumerated);
      ServerList().WakeAll();
      server->Resume();
    }
    EXPECT_TRUE(harness->WaitUntil([&] { return harness->ServerChanges(Remote, true) == 1; }));
  }
  EXPECT_TRUE(harness->Alerts().empty());

  ASSERT_TRUE(harness->ShutdownMonitoring(20000));
  for (const std::string& printer : printers) harness->TakePendingJobs(printer);
}

TEST_F(WatchThreadsTest, APrinterThreadThatDoesNotStopInTimeIsAbandonedAndTheServerEnds) {
  const std::string stuck = printers[0];
  TOsEvent held({.manualReset = true}), release({.manualReset = true});
  std::atomic<bool> armed{false}, hold{true};
  std::atomic<int> callsAfterRelease{0};
  harness->AfterJobsChanged = [&](TThreadJobs& thread) {
    if (thread.Name() != stuck || !armed || !thread.HasJobs()) return;
    if (!hold.exchange(false)) {
      ++callsAfterRelease;
      return;
    }
    held.Set();
    WaitForSingleObject(&release, INFINITE);
  };
  StartWatching(Local, {printers[0], printers[1]});
  armed = true;
  const uint32_t id = spooler->SubmitJob(stuck, SampleJob("stuck.txt", 1, 10));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(&held, 20000));

  const uint32_t start = GetTickCount();
  ASSERT_TRUE(harness->ShutdownMonitoring(30000));
  const uint32_t elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 9900u);
  EXPECT_LT(elapsed, 15000u);
  EXPECT_EQ(0, ServerList().Count());
  // Still there, no longer counted, holding nothing the others need.
  EXPECT_EQ(1, PrinterThreadCount());
  EXPECT_TRUE(harness->PendingJob(stuck, id));

  release.Set();
  ASSERT_TRUE(harness->WaitUntil([&] { return PrinterThreadCount() == 0; }));
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->Tree->LiveNodes() == 0; }));
  EXPECT_EQ(0, callsAfterRelease.load());
  EXPECT_EQ(Calls(SpoolCall::OpenPrinter), Calls(SpoolCall::ClosePrinter));
  harness->TakePendingJobs(stuck);
}

}  // namespace
