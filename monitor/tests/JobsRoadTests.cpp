// The road of a job: the simulated spooler, the watch threads, the pending
// list, the data thread and the jobs table of a scratch data folder.

#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <set>

#include "DMTestDatabase.h"
#include "JobsStore.h"
#include "JobsTable.h"
#include "MonitorCommon.h"
#include "osHelperProcess.h"
#include "rtlFormat.h"
#include "splErrors.h"
#include "thrServerAlerts.h"
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
    SetQueuedStatusHandler(nullptr);
    EXPECT_TRUE(harness->ShutdownMonitoring(60000));
    database.reset();
    SimulatedWatchTest::TearDown();
  }

  bool WaitForRows(int count) {
    return harness->WaitUntil([&] { return database->RowCount() >= count; });
  }

  // A one-page job that prints and leaves the queue.
  void PrintOne(const std::string& printer, const std::string& document) {
    const uint32_t job = spooler->SubmitJob(printer, SampleJob(document, 1, 10));
    spooler->PrintJob(printer, job);
    spooler->RemoveJob(printer, job);
  }

  // The jobs table's rows as printer, document and whether it printed.
  std::multiset<std::string> RecordedJobs() const {
    std::multiset<std::string> rows;
    for (const std::string& row : database->Rows({"PrinterName", "Document", "JobPrinted"})) rows.insert(row);
    return rows;
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
  std::vector<std::string> status;  // the status bar's texts, main thread only
  SetQueuedStatusHandler([&](const std::string& text) { status.push_back(text); });
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
  // A printed job is finished at once: a flush between its print and its
  // removal writes it as printed, a later one as printed and deleted.
  const auto rowWith = [&](uint32_t status) {
    return std::vector<std::string>{Row(submitted, id, printers[0], "ANNA.M\xc3\xa9", 12, 12, 40960, 40960,
                                        "quarterly report.pdf", status, true)};
  };
  const std::vector<std::string> rows = database->Rows(AllFields);
  EXPECT_TRUE(rows == rowWith(JOB_STATUS_PRINTED | JOB_STATUS_DELETED) || rows == rowWith(JOB_STATUS_PRINTED))
      << (rows.empty() ? std::string("no row") : rows.front());
  EXPECT_TRUE(harness->Alerts().empty());
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.back(), Format(SQueuedStatus, {0}));
}
TEST_F(JobsRoadTest, CancelledUnsubmittedAndSameIdsOnTwoPrinters) {
  const std::string remote = UniqueName("\\\\REMOTE");
  spooler->AddServer(remote);
  printers = {AddPrinter(Local, "laser"), AddPrinter(remote, "laser")};
  StartWatching("", printers);
  const JobInfo2 job = SampleJob("draft", 3, 2048);
  JobInfo2 unsubmitted = SampleJob("never queued", 1, 10);
  unsubmitted.Submitted = {};
  // Cancelled on the first printer, printed on the second: one id each.
  const uint32_t cancelled = spooler->SubmitJob(printers[0], job);
  const uint32_t printed = spooler->SubmitJob(printers[1], job);
  const uint32_t ghost = spooler->SubmitJob(printers[0], unsubmitted);
  spooler->DeleteJob(printers[0], cancelled);
  spooler->DeleteJob(printers[0], ghost);
  spooler->PrintJob(printers[1], printed);
  spooler->RemoveJob(printers[1], printed);
  ASSERT_TRUE(WaitForRows(2));
  ASSERT_TRUE(harness->WaitUntil([&] {
    return !harness->PendingJob(printers[0], cancelled) && !harness->PendingJob(printers[0], ghost) &&
           !harness->PendingJob(printers[1], printed);
  }));
  std::multiset<std::string> rows;
  for (const std::string& row : database->Rows({"JobID", "PrinterName", "JobPrinted", "JobStatus", "PagesPrinted"}))
    rows.insert(row);
  const std::string cancelledRow = Format(
      "%d|%s|False|%d|1",
      {int32_t(cancelled), printers[0], int32_t(JOB_STATUS_SPOOLING | JOB_STATUS_DELETING | JOB_STATUS_DELETED)});
  // A printed job is finished at once: a flush between its print and its
  // removal writes it as printed, a later one as printed and deleted.
  const std::string printedRow = Format("%d|%s|True|%d|3", {int32_t(printed), printers[1], int32_t(JOB_STATUS_PRINTED)});
  const std::string printedAndRemovedRow =
      Format("%d|%s|True|%d|3", {int32_t(printed), printers[1], int32_t(JOB_STATUS_PRINTED | JOB_STATUS_DELETED)});
  if (cancelled == printed) {
    EXPECT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.count(cancelledRow), 1u);
    EXPECT_EQ(rows.count(printedRow) + rows.count(printedAndRemovedRow), 1u) << *rows.rbegin();
  } else {
    ADD_FAILURE() << "the two printers gave different ids: " << cancelled << ", " << printed;
  }
  EXPECT_TRUE(harness->Alerts().empty());
}

TEST_F(JobsRoadTest, AThousandJobsOnTenPrintersOfTwoServersGiveAThousandRows) {
  const std::string remote = UniqueName("\\\\REMOTE");
  spooler->AddServer(remote);
  // Room for every change: a job that comes and goes while the spooler
  // drops its news cannot be seen by anyone (the next test has that).
  spooler->SetNotifyCapacity(1 << 20);
  for (int i = 0; i < 10; ++i) printers.push_back(AddPrinter(i < 5 ? Local : remote, "queue" + std::to_string(i)));
  StartWatching("", printers);
  constexpr int PerPrinter = 100;
  std::set<std::string> keys;
  for (int n = 0; n < PerPrinter; ++n) {
    for (const std::string& printer : printers) {
      const uint32_t id = spooler->SubmitJob(printer, SampleJob("page " + std::to_string(n), 2, 100));
      spooler->PrintJob(printer, id);
      spooler->RemoveJob(printer, id);
      keys.insert(printer + "|" + std::to_string(id));
    }
  }
  ASSERT_EQ(keys.size(), size_t(PerPrinter) * printers.size());
  EXPECT_TRUE(harness->WaitUntil([&] { return database->RowCount() >= int(keys.size()); }, 60000))
      << database->RowCount();
  ASSERT_TRUE(harness->ShutdownMonitoring(60000));
  std::set<std::string> written;
  for (const std::string& row : database->Rows({"PrinterName", "JobID"})) {
    EXPECT_TRUE(written.insert(row).second) << "twice: " << row;
  }
  EXPECT_EQ(written, keys);
  EXPECT_TRUE(harness->Alerts().empty());
}

TEST_F(JobsRoadTest, JobsWhoseNewsTheSpoolerDroppedAreWrittenOnceEach) {
  printers = {AddPrinter(Local, "laser"), AddPrinter(Local, "ink")};
  StartWatching("", printers);
  std::set<std::string> keys;
  std::vector<std::pair<std::string, uint32_t>> jobs;
  for (int round = 0; round < 3; ++round) {
    for (const std::string& printer : printers) {
      for (int n = 0; n < 5; ++n) {
        const uint32_t id = spooler->SubmitJob(printer, SampleJob("doc", 1, 10));
        jobs.emplace_back(printer, id);
        keys.insert(printer + "|" + std::to_string(id));
      }
    }
    // Their submission is lost; the watch reads the queues again and
    // finds them there.
    spooler->ForceOverflow();
    ASSERT_TRUE(harness->WaitUntil([&] {
      for (const auto& [printer, id] : jobs) {
        if (!harness->PendingJob(printer, id)) return false;
      }
      return true;
    }));
    for (const auto& [printer, id] : jobs) {
      spooler->PrintJob(printer, id);
      spooler->RemoveJob(printer, id);
    }
    jobs.clear();
  }
  // Jobs whose printing news was dropped too left the queue unseen: the
  // last flush writes them, with the state they were last seen in.
  ASSERT_TRUE(harness->ShutdownMonitoring(60000));
  std::set<std::string> written;
  for (const std::string& row : database->Rows({"PrinterName", "JobID"})) {
    EXPECT_TRUE(written.insert(row).second) << "twice: " << row;
  }
  EXPECT_EQ(written, keys);
}

TEST_F(JobsRoadTest, AtShutdownAJobInProgressIsWrittenOnceAndItsRowTakesItsEndLater) {
  printers = {AddPrinter(Local, "plotter")};
  StartWatching("", printers);
  const uint32_t id = spooler->SubmitJob(printers[0], SampleJob("long listing", 500, 9000000));
  spooler->SetJobStatus(printers[0], id, JOB_STATUS_PRINTING);
  spooler->ProgressJob(printers[0], id, 120, 2000000);
  ASSERT_TRUE(harness->WaitUntil([&] {
    const auto entry = harness->PendingJob(printers[0], id);
    return entry && entry->BytesPrinted == 2000000;
  }));
  ASSERT_TRUE(harness->ShutdownMonitoring(60000));
  const std::vector<std::string> fields = {"JobID", "JobStatus", "PagesPrinted", "BytesPrinted", "JobPrinted"};
  EXPECT_EQ(database->Rows(fields),
            (std::vector<std::string>{Format("%d|%d|120|2000000|False", {int32_t(id), int32_t(JOB_STATUS_PRINTING)})}));

  // The next run: the same job finishes.
  harness = std::make_unique<TWatchHarness>();
  GetDataThread();
  StartWatching("", printers);
  spooler->PrintJob(printers[0], id);
  spooler->RemoveJob(printers[0], id);
  ASSERT_TRUE(harness->WaitUntil([&] { return database->Rows({"JobPrinted"}) != std::vector<std::string>{"False"}; }));
  const std::vector<std::string> rows = database->Rows(fields);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0] == Format("%d|%d|500|9000000|True", {int32_t(id), int32_t(JOB_STATUS_PRINTED)}) ||
              rows[0] == Format("%d|%d|500|9000000|True", {int32_t(id), int32_t(JOB_STATUS_PRINTED | JOB_STATUS_DELETED)}))
      << rows[0];
  EXPECT_TRUE(harness->Alerts().empty());
}

// Jobs that ended while the program did not run are in the spooler's
// history: the next start records those the table lacks, once each, with
// one alert; a row written unfinished at the last shutdown takes its end.
TEST_F(JobsRoadTest, JobsThatEndedWhileNothingWatchedAreRecordedOnceFromTheHistoryWithOneAlert) {
  printers = {AddPrinter(Local, "laser"), AddPrinter(Local, "plotter")};
  StartWatching("", printers);
  const uint32_t seen = spooler->SubmitJob(printers[0], SampleJob("seen", 2, 100));
  const uint32_t waiting = spooler->SubmitJob(printers[1], SampleJob("waiting", 4, 400));
  spooler->SetJobStatus(printers[1], waiting, JOB_STATUS_PAUSED);
  spooler->PrintJob(printers[0], seen);
  spooler->RemoveJob(printers[0], seen);
  ASSERT_TRUE(harness->WaitUntil([&] {
    const auto entry = harness->PendingJob(printers[1], waiting);
    return database->RowCount() == 1 && entry && entry->Status == JOB_STATUS_PAUSED;
  }));
  ASSERT_TRUE(harness->ShutdownMonitoring(60000));
  ASSERT_EQ(database->RowCount(), 2);

  // While nothing watches: the waiting job prints, others come and go.
  spooler->PrintJob(printers[1], waiting);
  spooler->RemoveJob(printers[1], waiting);
  const uint32_t printed = spooler->SubmitJob(printers[0], SampleJob("printed unseen", 3, 300));
  spooler->PrintJob(printers[0], printed);
  spooler->RemoveJob(printers[0], printed);
  const uint32_t cancelled = spooler->SubmitJob(printers[1], SampleJob("cancelled unseen", 1, 10));
  spooler->DeleteJob(printers[1], cancelled);

  const std::vector<std::string> fields = {"PrinterName", "JobID", "Document", "PagesPrinted", "JobPrinted"};
  const std::multiset<std::string> expected = {
      Format("%s|%d|seen|2|True", {printers[0], int32_t(seen)}),
      Format("%s|%d|waiting|4|True", {printers[1], int32_t(waiting)}),
      Format("%s|%d|printed unseen|3|True", {printers[0], int32_t(printed)}),
      Format("%s|%d|cancelled unseen|1|False", {printers[1], int32_t(cancelled)})};
  for (int run = 0; run < 2; ++run) {
    harness.reset();
    harness = std::make_unique<TWatchHarness>();
    GetDataThread();
    StartWatching("", printers);
    ASSERT_TRUE(harness->WaitUntil([&] { return database->RowCount() >= 4; }));
    ASSERT_TRUE(harness->ShutdownMonitoring(60000));
    const std::vector<std::string> rows = database->Rows(fields);
    EXPECT_EQ(std::multiset<std::string>(rows.begin(), rows.end()), expected) << "run " << run;
    // The second start finds every job recorded: nothing to tell.
    const std::vector<std::string> told =
        run == 0 ? std::vector<std::string>{"EAlertInfo: " + Format(SJobsRecovered, {2})} : std::vector<std::string>{};
    EXPECT_EQ(harness->Alerts(), told) << "run " << run;
  }
}

TEST_F(JobsRoadTest, ARowThatCannotBeWrittenStaysQueuedIsReportedOnceAndArrivesLater) {
  printers = {AddPrinter(Local, "laser")};
  StartWatching("", printers);
  // The table refuses every row for a while, as it does while another
  // program holds it.
  std::atomic<bool> refusing{true};
  std::atomic<int> refusals{0};
  const TJobWriter table = GetJobWriter();
  SetJobWriter([&](const QueueJob& job, const std::string& printer) {
    if (refusing) {
      ++refusals;
      throw Exception("Table is busy.");
    }
    return table(job, printer);
  });
  const uint32_t first = spooler->SubmitJob(printers[0], SampleJob("one", 1, 10));
  spooler->PrintJob(printers[0], first);
  spooler->RemoveJob(printers[0], first);
  ASSERT_TRUE(harness->WaitUntil([&] { return refusals >= 2; }));
  const uint32_t second = spooler->SubmitJob(printers[0], SampleJob("two", 1, 10));
  spooler->PrintJob(printers[0], second);
  spooler->RemoveJob(printers[0], second);
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->Alerts().size() >= 2; }));
  EXPECT_EQ(database->RowCount(), 0);
  EXPECT_TRUE(harness->PendingJob(printers[0], first).has_value());
  refusing = false;
  ASSERT_TRUE(WaitForRows(2));
  const std::vector<std::string> alerts = harness->Alerts();
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_EQ(alerts[0], "EAlertFailure: " + Format(SJobWriteFailed, {int32_t(first), printers[0],
                                                                   std::string("Table is busy.")}));
  SetJobWriter(table);
}

}  // namespace

namespace {

TEST_F(JobsRoadTest, AServerThatStopsAnsweringIsOneAlertAndItsJobsArriveOnceWhenItAnswers) {
  const std::string remote = UniqueName("\\\\REMOTE");
  spooler->AddServer(remote);
  printers = {AddPrinter(Local, "laser"), AddPrinter(remote, "plotter")};
  StartWatching("", printers);
  const uint32_t before = spooler->SubmitJob(printers[1], SampleJob("before", 2, 100));
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->PendingJob(printers[1], before).has_value(); }));

  spooler->SetServerReachable(remote, false, "No route to host");
  // While away: the job seen queued ends, one begins and ends unseen, and
  // the other server goes on as usual.
  spooler->PrintJob(printers[1], before);
  spooler->RemoveJob(printers[1], before);
  const uint32_t unseen = spooler->SubmitJob(printers[1], SampleJob("unseen", 1, 50));
  spooler->PrintJob(printers[1], unseen);
  spooler->RemoveJob(printers[1], unseen);
  const uint32_t local = spooler->SubmitJob(printers[0], SampleJob("local", 1, 10));
  spooler->PrintJob(printers[0], local);
  spooler->RemoveJob(printers[0], local);
  ASSERT_TRUE(WaitForRows(1));
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->Alerts().size() == 1; }));
  EXPECT_EQ(harness->Alerts()[0], "EAlertWarning: " + Format(SServerUnreachable, {remote, "No route to host"}));

  spooler->SetServerReachable(remote, true);
  ASSERT_TRUE(WaitForRows(3));
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->Alerts().size() == 2; }))
      << testing::PrintToString(harness->Alerts());
  EXPECT_EQ(harness->Alerts()[1].rfind("EAlertInfo: ", 0), 0u) << harness->Alerts()[1];
  PrintOne(printers[1], "after");
  ASSERT_TRUE(WaitForRows(4));
  ASSERT_TRUE(harness->ShutdownMonitoring(60000));
  EXPECT_EQ(RecordedJobs(), (std::multiset<std::string>{printers[0] + "|local|True", printers[1] + "|before|True",
                                                        printers[1] + "|unseen|True", printers[1] + "|after|True"}));
  EXPECT_THAT(harness->Alerts(), testing::SizeIs(2u));
}

// The server stops answering after the windows made its threads and before
// any of them opened its watch: the same outage as a later loss, not the
// end of its printers' watching.
TEST_F(JobsRoadTest, AServerDownAtItsFirstWatchIsOneOutageAndItsJobsArriveOnceWhenItAnswers) {
  const std::string remote = UniqueName("\\\\REMOTE");
  spooler->AddServer(remote);
  printers = {AddPrinter(remote, "plotter"), AddPrinter(remote, "laser")};
  const uint32_t queued = spooler->SubmitJob(printers[0], SampleJob("queued", 2, 100));
  // Every watch waits until all threads are made and the server is down.
  std::promise<void> down;
  const std::shared_future<void> isDown = down.get_future().share();
  spooler->OnCall(SpoolCall::FindFirstPrinterChangeNotification,
                  [isDown] { isDown.wait_for(std::chrono::seconds(20)); });
  harness->StartEnumeration(remote);
  ASSERT_TRUE(harness->WaitUntil([&] { return harness->EnumerationsEnded() && PrinterThreadCount() == 2; }));
  std::vector<int32_t> firstThreads;
  for (const std::string& printer : printers) firstThreads.push_back(harness->ListedThread(remote, printer));
  spooler->SetServerReachable(remote, false, "No route to host");
  down.set_value();
  ASSERT_TRUE(harness->WaitUntil([&] { return !harness->Alerts().empty(); }));
  ASSERT_EQ(harness->Alerts()[0], "EAlertWarning: " + Format(SServerUnreachable, {remote, "No route to host"}));
  // Past their first watch and read: the printers' first histories were
  // tried, the server's list read (after the enumeration's).
  ASSERT_TRUE(harness->WaitUntil(
      [&] { return JobHistoriesDue() == 0 && spooler->CallCount(SpoolCall::EnumPrinters) >= 2; }));
  EXPECT_EQ(ServerList().Count(), 1);
  EXPECT_EQ(PrinterThreadCount(), 2);

  // While away: the queued job ends, one begins and ends unseen, one waits.
  spooler->PrintJob(printers[0], queued);
  spooler->RemoveJob(printers[0], queued);
  const uint32_t unseen = spooler->SubmitJob(printers[1], SampleJob("unseen", 1, 50));
  spooler->PrintJob(printers[1], unseen);
  spooler->RemoveJob(printers[1], unseen);
  const uint32_t waiting = spooler->SubmitJob(printers[0], SampleJob("waiting", 1, 10));

  // When it answers, its printers are news to the server's watch: the
  // windows watch them anew.
  spooler->SetServerReachable(remote, true);
  ASSERT_TRUE(harness->WaitUntil([&] {
    for (size_t i = 0; i < printers.size(); ++i) {
      const int32_t listed = harness->ListedThread(remote, printers[i]);
      if (listed == 0 || listed == firstThreads[i] || harness->LatestCaller(printers[i]) != listed) return false;
    }
    return true;
  }));
  ASSERT_NO_FATAL_FAILURE(WaitUntilEachWatched(printers));
  spooler->PrintJob(printers[0], waiting);
  spooler->RemoveJob(printers[0], waiting);
  PrintOne(printers[1], "after");
  ASSERT_TRUE(WaitForRows(4));
  ASSERT_TRUE(harness->ShutdownMonitoring(60000));
  EXPECT_EQ(RecordedJobs(), (std::multiset<std::string>{printers[0] + "|queued|True", printers[1] + "|unseen|True",
                                                        printers[0] + "|waiting|True", printers[1] + "|after|True"}));
  // The jobs that ended while away come from the history, told together
  // unless a printer's watch heard the news a second after the other's.
  const std::vector<std::string> alerts = harness->Alerts();
  ASSERT_GE(alerts.size(), 3u) << testing::PrintToString(alerts);
  const std::string reachable = Format(SServerReachable, {remote, 0});
  EXPECT_EQ(alerts[1].rfind("EAlertInfo: " + reachable.substr(0, reachable.find(" 0 ")), 0), 0u) << alerts[1];
  const std::vector<std::string> recovered(alerts.begin() + 2, alerts.end());
  const std::string one = "EAlertInfo: " + Format(SJobsRecovered, {1});
  EXPECT_TRUE(recovered == std::vector<std::string>{"EAlertInfo: " + Format(SJobsRecovered, {2})} ||
              recovered == (std::vector<std::string>{one, one}))
      << testing::PrintToString(alerts);
}

TEST_F(JobsRoadTest, AnOutagePastTheLimitEndsThatServersThreadsWithASeriousAlert) {
  const std::string remote = UniqueName("\\\\REMOTE");
  spooler->AddServer(remote);
  printers = {AddPrinter(Local, "laser"), AddPrinter(remote, "plotter")};
  StartWatching("", printers);
  spooler->SetServerReachable(remote, false, "No route to host");
  spooler->GiveUpServer(remote);
  ASSERT_TRUE(harness->WaitUntil([&] { return PrinterThreadCount() == 1 && ServerList().Count() == 1; }))
      << PrinterThreadCount() << " " << ServerList().Count() << " " << testing::PrintToString(harness->Alerts());
  const std::vector<std::string> alerts = harness->Alerts();
  ASSERT_GE(alerts.size(), 2u);
  EXPECT_EQ(alerts[0].rfind("EAlertWarning: ", 0), 0u) << alerts[0];
  // The notice, and the ends of the server's threads in their own words.
  const std::string givenUp = "EAlertSerious: " + Format(SServerGivenUp, {remote, 0, "No route to host"});
  EXPECT_EQ(std::count(alerts.begin(), alerts.end(), givenUp), 1) << alerts[1];
  for (size_t i = 1; i < alerts.size(); ++i) {
    if (alerts[i] != givenUp) {
      EXPECT_EQ(alerts[i], "EAlertSerious: " + SpoolErrorMessage(RPC_S_SERVER_UNAVAILABLE));
    }
  }
  // The other server records on.
  const uint32_t local = spooler->SubmitJob(printers[0], SampleJob("local", 1, 10));
  spooler->PrintJob(printers[0], local);
  spooler->RemoveJob(printers[0], local);
  EXPECT_TRUE(WaitForRows(1));
}

}  // namespace

namespace {

// Another process holds the jobs table's write lock while the data thread
// appends: the append waits as the session's lock settings say.
class JobsTableHeldTest : public JobsRoadTest {
protected:
  void PrintJobs(const std::string& printer, int count, std::set<uint32_t>& ids) {
    for (int i = 0; i < count; ++i) {
      const uint32_t id = spooler->SubmitJob(printer, SampleJob("held " + std::to_string(i), 1, 10));
      spooler->PrintJob(printer, id);
      spooler->RemoveJob(printer, id);
      ids.insert(id);
    }
  }
  std::set<uint32_t> WrittenIds() {
    std::set<uint32_t> ids;
    for (const std::string& row : database->Rows({"JobID"}))
      EXPECT_TRUE(ids.insert(uint32_t(std::stoul(row))).second) << "twice: " << row;
    return ids;
  }
};

TEST_F(JobsTableHeldTest, ALockReleasedWithinTheSessionsWaitIsWaitedForAndEveryRowArrivesOnce) {
  printers = {AddPrinter(Local, "laser")};
  StartWatching("", printers);
  // Up to 3 seconds in all.
  database->SetLockSettings(29, 100);
  THelperProcess other(JOBS_WRITER_HELPER);
  other.Send("hold " + database->Folder() + " 700");
  ASSERT_EQ(other.Answer(), "held");
  std::set<uint32_t> ids;
  PrintJobs(printers[0], 3, ids);
  ASSERT_TRUE(WaitForRows(3));
  EXPECT_EQ(other.Answer(), "released");
  EXPECT_EQ(WrittenIds(), ids);
  EXPECT_TRUE(harness->Alerts().empty());
}

TEST_F(JobsTableHeldTest, ALockHeldLongerIsAnAlertSoonAndTheRowsArriveOnceAfterItIsReleased) {
  printers = {AddPrinter(Local, "laser")};
  StartWatching("", printers);
  database->SetLockSettings(2, 100);
  THelperProcess other(JOBS_WRITER_HELPER);
  ASSERT_EQ(other.AskLine("hold " + database->Folder()), "ok");
  std::set<uint32_t> ids;
  PrintJobs(printers[0], 5, ids);
  // Within the session's 0.3 s (and the flush's bookkeeping), far from the
  // engine's own bound of about 25 s; and once a flush: the other rows do
  // not wait the same in vain on the main thread.
  ASSERT_TRUE(harness->WaitUntil([&] { return !harness->Alerts().empty(); }, 10000));
  EXPECT_EQ(harness->Alerts().size(), 1u);
  const std::string alert = harness->Alerts()[0];
  EXPECT_EQ(alert.rfind("EAlertFailure: ", 0), 0u) << alert;
  EXPECT_NE(alert.find(printers[0]), std::string::npos) << alert;
  EXPECT_EQ(database->RowCount(), 0);
  ASSERT_EQ(other.AskLine("release"), "ok");
  ASSERT_TRUE(WaitForRows(5));
  EXPECT_EQ(WrittenIds(), ids);
  EXPECT_EQ(harness->Alerts().size(), 1u);
}

}  // namespace
