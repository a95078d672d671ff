#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <regex>
#include <thread>

#include "splCupsSession.h"
#include "splCupsSpooler.h"
#include "splPrivateCupsd.h"
#include "splSocketRelay.h"
#include "splTestNotify.h"

namespace {

const std::string Local = "\\\\TESTHOST";
const std::string Q1 = "\\\\TESTHOST\\q1";

// Sets (or, for null, removes) a variable and restores it at the end.
class TScopedEnvironment {
 public:
  TScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~TScopedEnvironment() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

bool Finished(const SeenJob& job) { return (job.Status() & JOB_STATUS_DELETED) != 0; }

class CupsSpoolerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
    ASSERT_TRUE(cupsd.AddQueue("q1", "Room 5", "Front desk"));
    spooler = std::make_unique<TCupsSpooler>(cupsd.Config(Local));
  }

  ChangeHandle Watch(const std::string& name, uint32_t filter, const PrinterNotifyOptions* options) {
    PrinterHandle handle = 0;
    EXPECT_EQ(spooler->OpenPrinter(name, 0, handle), ERROR_SUCCESS);
    ChangeHandle change = 0;
    EXPECT_EQ(spooler->FindFirstPrinterChangeNotification(handle, filter, options, change), ERROR_SUCCESS);
    return change;
  }

  TPrivateCupsd cupsd;
  std::unique_ptr<TCupsSpooler> spooler;
  const PrinterNotifyOptions options = PrinterWatchOptions();
};

TEST_F(CupsSpoolerTest, ReadsPrintersAndTheirQueues) {
  ASSERT_TRUE(cupsd.DisableQueue("q1"));
  const std::string file = cupsd.WriteFile("letter.txt", 3000);
  const uint32_t first = cupsd.Submit("q1", file, "Letter");
  const uint32_t second = cupsd.Submit("q1", file, "Second letter");
  ASSERT_NE(first, 0u);

  std::vector<PrinterInfo2> printers;
  ASSERT_EQ(spooler->EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), ERROR_SUCCESS);
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].PrinterName, Q1);
  EXPECT_EQ(printers[0].ServerName, Local);
  EXPECT_EQ(printers[0].Location, "Room 5");
  EXPECT_EQ(printers[0].Comment, "Front desk");
  EXPECT_EQ(printers[0].PortName, "file://" + cupsd.Folder() + "/out/q1");
  EXPECT_TRUE(printers[0].Status & PRINTER_STATUS_PAUSED);
  EXPECT_TRUE(printers[0].Attributes & PRINTER_ATTRIBUTE_LOCAL);
  std::vector<PrinterInfo1> servers;
  ASSERT_EQ(spooler->EnumPrinters(PRINTER_ENUM_REMOTE, "", servers), ERROR_SUCCESS);
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0].Name, Local);

  PrinterHandle handle = 0;
  EXPECT_EQ(spooler->OpenPrinter("\\\\TESTHOST\\missing", 0, handle), ERROR_INVALID_PRINTER_NAME);
  ASSERT_EQ(spooler->OpenPrinter(Q1, PRINTER_ALL_ACCESS, handle), ERROR_SUCCESS);
  PrinterInfo2 info;
  ASSERT_EQ(spooler->GetPrinter(handle, info), ERROR_SUCCESS);
  EXPECT_EQ(info.cJobs, 2u);
  std::vector<JobInfo2> jobs;
  ASSERT_EQ(spooler->EnumJobs(handle, 0, 10, jobs), ERROR_SUCCESS);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].JobId, first);
  EXPECT_EQ(jobs[1].JobId, second);
  EXPECT_EQ(jobs[1].Position, 2u);
  EXPECT_EQ(jobs[0].Document, "Letter");
  EXPECT_EQ(jobs[0].UserName, cupsUser());
  EXPECT_EQ(jobs[0].MachineName, Local);
  EXPECT_EQ(jobs[0].Status, 0u);
  EXPECT_GE(jobs[0].Size, 3000u);
  EXPECT_LT(jobs[0].Size, 3000u + 1024);
  EXPECT_GE(jobs[0].Submitted.Year, 2020);
}

TEST_F(CupsSpoolerTest, PrintedCancelledAndReleasedJobsAreSeen) {
  const ChangeHandle change = Watch(Q1, PRINTER_CHANGE_DELETE_JOB, &options);
  const std::string file = cupsd.WriteFile("memo.txt", 5000);
  const uint32_t printed = cupsd.Submit("q1", file, "Memo");
  const uint32_t held = cupsd.Submit("q1", file, "Held memo", true);
  const uint32_t cancelled = cupsd.Submit("q1", file, "Cancelled memo", true);
  ASSERT_NE(cancelled, 0u);
  TNotifyCollector collector(*spooler, change);
  ASSERT_TRUE(collector.Until([&] { return collector.Jobs.count(held) && collector.Jobs.count(cancelled); }, 10000));
  ASSERT_TRUE(cupsd.Cancel(cancelled));
  ASSERT_TRUE(cupsd.Release(held));
  ASSERT_TRUE(collector.Until(
      [&] {
        return Finished(collector.Jobs[printed]) && Finished(collector.Jobs[held]) && Finished(collector.Jobs[cancelled]);
      },
      10000))
      << collector.LastError();

  const SeenJob& p = collector.Jobs[printed];
  EXPECT_EQ(p.Status(), JOB_STATUS_PRINTED | JOB_STATUS_DELETED);
  EXPECT_EQ(p.Text(JOB_NOTIFY_FIELD_DOCUMENT), "Memo");
  EXPECT_EQ(p.Text(JOB_NOTIFY_FIELD_USER_NAME), cupsUser());
  EXPECT_EQ(p.Text(JOB_NOTIFY_FIELD_MACHINE_NAME), Local);
  EXPECT_GE(p.Number(JOB_NOTIFY_FIELD_TOTAL_BYTES), 5000u);
  EXPECT_GE(p.Fields.at(JOB_NOTIFY_FIELD_SUBMITTED).Time.Year, 2020);

  const SeenJob& h = collector.Jobs[held];
  EXPECT_TRUE(h.Statuses.front() & JOB_STATUS_PAUSED);
  EXPECT_EQ(h.Status(), JOB_STATUS_PRINTED | JOB_STATUS_DELETED);
  const SeenJob& c = collector.Jobs[cancelled];
  EXPECT_EQ(c.Status(), JOB_STATUS_DELETED);
  EXPECT_TRUE(std::none_of(c.Statuses.begin(), c.Statuses.end(), [](uint32_t s) { return s & JOB_STATUS_PRINTED; }));
  EXPECT_TRUE(collector.Changes & PRINTER_CHANGE_DELETE_JOB);
  EXPECT_NE(cupsd.AccessLog().find("Get-Notifications successful-ok"), std::string::npos);
}

// A title longer than a name may be is the job's first job-name; CUPS adds
// "Untitled" as a second one.
TEST_F(CupsSpoolerTest, TheHistoryHoldsTheEndedJobsWithTheirWholeTitles) {
  const std::string file = cupsd.WriteFile("history.txt", 2000);
  const std::string longTitle = "Quarterly report " + std::string(300, 'x') + " end";
  const uint32_t printed = cupsd.Submit("q1", file, longTitle);
  const uint32_t cancelled = cupsd.Submit("q1", file, "Cancelled", true);
  const uint32_t held = cupsd.Submit("q1", file, longTitle, true);
  ASSERT_NE(held, 0u);
  ASSERT_TRUE(cupsd.Cancel(cancelled));
  PrinterHandle handle = 0;
  ASSERT_EQ(spooler->OpenPrinter(Q1, 0, handle), ERROR_SUCCESS);
  std::vector<JobInfo2> history;
  const auto start = std::chrono::steady_clock::now();
  while (history.size() < 2 && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
    ASSERT_EQ(spooler->EnumJobHistory(handle, history), ERROR_SUCCESS);
  ASSERT_EQ(history.size(), 2u);
  std::sort(history.begin(), history.end(), [](const JobInfo2& a, const JobInfo2& b) { return a.JobId < b.JobId; });
  EXPECT_EQ(history[0].JobId, printed);
  EXPECT_EQ(history[0].Status, uint32_t(JOB_STATUS_PRINTED));
  EXPECT_EQ(history[0].Document, longTitle);
  EXPECT_EQ(history[0].PrinterName, Q1);
  EXPECT_GE(history[0].Submitted.Year, 2020);
  EXPECT_EQ(history[1].JobId, cancelled);
  EXPECT_EQ(history[1].Status, uint32_t(JOB_STATUS_DELETED));
  std::vector<JobInfo2> queued;
  ASSERT_EQ(spooler->EnumJobs(handle, 0, 10, queued), ERROR_SUCCESS);
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0].Document, longTitle);
  EXPECT_EQ(spooler->ClosePrinter(handle), ERROR_SUCCESS);
}

TEST_F(CupsSpoolerTest, EveryJobOfATightLoopIsSeen) {
  const ChangeHandle change = Watch(Q1, PRINTER_CHANGE_DELETE_JOB, &options);
  const std::string file = cupsd.WriteFile("page.txt", 200);
  constexpr int count = 40;
  std::vector<uint32_t> ids;
  for (int i = 0; i < count; ++i) ids.push_back(cupsd.Submit("q1", file, "Page " + std::to_string(i)));
  TNotifyCollector collector(*spooler, change);
  const bool all = collector.Until(
      [&] {
        return std::all_of(ids.begin(), ids.end(), [&](uint32_t id) { return collector.Jobs.count(id) && Finished(collector.Jobs[id]); });
      },
      30000);
  ASSERT_TRUE(all) << collector.LastError();
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(collector.Jobs[ids[i]].Status(), JOB_STATUS_PRINTED | JOB_STATUS_DELETED);
    EXPECT_EQ(collector.Jobs[ids[i]].Text(JOB_NOTIFY_FIELD_DOCUMENT), "Page " + std::to_string(i));
  }
}

TEST_F(CupsSpoolerTest, JobThatEndsWhileTheWatchReadsItsBaselineIsSeen) {
  const std::string file = cupsd.WriteFile("quick.txt", 100);
  uint32_t quick = 0;
  bool quickEnded = false;
  std::atomic<bool> printed{false};
  CupsConfig config = cupsd.Config(Local);
  // Prints a job and lets it end between the first read of the job lists
  // and the next, once.
  config.AfterFirstJobRead = [&] {
    if (printed.exchange(true)) return;
    quick = cupsd.Submit("q1", file, "Quick");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string completed;
    while (quick && !quickEnded && std::chrono::steady_clock::now() < deadline) {
      completed.clear();
      cupsd.Run({"lpstat", "-h", cupsd.Socket(), "-W", "completed", "-o", "q1"}, &completed);
      quickEnded = completed.find("q1-" + std::to_string(quick) + " ") != std::string::npos;
    }
  };
  spooler = std::make_unique<TCupsSpooler>(config);
  const ChangeHandle change = Watch(Q1, PRINTER_CHANGE_DELETE_JOB, &options);
  ASSERT_NE(quick, 0u);
  ASSERT_TRUE(quickEnded);

  TNotifyCollector collector(*spooler, change);
  ASSERT_TRUE(collector.Until([&] { return collector.Jobs.count(quick) && Finished(collector.Jobs[quick]); }, 10000))
      << collector.LastError();
  EXPECT_EQ(collector.Jobs[quick].Status(), JOB_STATUS_PRINTED | JOB_STATUS_DELETED);
  EXPECT_EQ(collector.Jobs[quick].Text(JOB_NOTIFY_FIELD_DOCUMENT), "Quick");
}

size_t CountIn(const std::string& text, const std::string& word) {
  size_t count = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

// One Print-Job request, as a program prints without the command-line
// tools' own requests; the job id, 0 on failure.
uint32_t PrintJob(TPrivateCupsd& cupsd, const std::string& queue, const std::string& file, const std::string& title) {
  TCupsSession session(cupsd.Socket(), 631, 30000);
  http_t* http = session.Connection();
  if (!http) return 0;
  IppPtr request = session.NewRequest(IPP_OP_PRINT_JOB, "/printers/" + queue);
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.c_str());
  IppPtr response(cupsDoFileRequest(http, request.release(), ("/printers/" + queue).c_str(), file.c_str()));
  if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_CONFLICTING) return 0;
  ipp_attribute_t* id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
  return id ? static_cast<uint32_t>(ippGetInteger(id, 0)) : 0;
}

// Jobs change queues, not the printer list: while watched, the server sends
// its printer list again only when a printer's configuration changes, and
// the reads of a watched server come from the watch, not from requests.
TEST_F(CupsSpoolerTest, AWatchedServersJobsNeverMakeItSendItsPrinterListAgain) {
  for (int i = 2; i <= 6; ++i) ASSERT_TRUE(cupsd.AddQueue("q" + std::to_string(i)));
  const ChangeHandle change = Watch(Q1, PRINTER_CHANGE_DELETE_JOB, &options);
  TNotifyCollector collector(*spooler, change);
  const std::string file = cupsd.WriteFile("job.txt", 300);
  const auto lists = [&] { return CountIn(cupsd.AccessLog(), "CUPS-Get-Printers"); };
  // The watch's first look, with its subscription: what changed before it
  // began is read in full once.
  const uint32_t first = cupsd.Submit("q1", file, "first");
  ASSERT_TRUE(collector.Until([&] { return Finished(collector.Jobs[first]); }, 10000));
  const size_t listsBefore = lists();
  const size_t printerReadsBefore = CountIn(cupsd.AccessLog(), "Get-Printer-Attributes");
  std::vector<uint32_t> ids;
  for (int i = 0; i < 20; ++i) ids.push_back(PrintJob(cupsd, "q1", file, "job " + std::to_string(i)));
  ASSERT_TRUE(collector.Until(
      [&] { return std::all_of(ids.begin(), ids.end(), [&](uint32_t id) { return Finished(collector.Jobs[id]); }); },
      30000))
      << collector.LastError();
  PrinterHandle handle = 0;
  ASSERT_EQ(spooler->OpenPrinter(Q1, 0, handle), ERROR_SUCCESS);
  std::vector<JobInfo2> queued;
  ASSERT_EQ(spooler->EnumJobs(handle, 0, 100, queued), ERROR_SUCCESS);
  EXPECT_TRUE(queued.empty());
  std::vector<PrinterInfo2> printers;
  ASSERT_EQ(spooler->EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), ERROR_SUCCESS);
  EXPECT_EQ(printers.size(), 6u);
  EXPECT_EQ(lists(), listsBefore) << cupsd.AccessLog();
  // The printer's state comes with its events, the last one idle; that event
  // may come a moment after the last job's.
  PrinterInfo2 q1;
  const auto idleBy = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    ASSERT_EQ(spooler->GetPrinter(handle, q1), ERROR_SUCCESS);
    if ((q1.Status & PRINTER_STATUS_PRINTING) == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < idleBy);
  EXPECT_EQ(q1.Status & PRINTER_STATUS_PRINTING, 0u);
  EXPECT_EQ(CountIn(cupsd.AccessLog(), "Get-Printer-Attributes"), printerReadsBefore) << cupsd.AccessLog();
  EXPECT_EQ(q1.cJobs, 0u);

  // A configuration change is read in full, and shows.
  ASSERT_EQ(cupsd.Run({"lpadmin", "-h", cupsd.Socket(), "-p", "q3", "-L", "Room 9"}), 0);
  const uint32_t after = cupsd.Submit("q1", file, "after");
  ASSERT_TRUE(collector.Until([&] { return Finished(collector.Jobs[after]); }, 10000));
  printers.clear();
  ASSERT_EQ(spooler->EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), ERROR_SUCCESS);
  const auto q3 = std::find_if(printers.begin(), printers.end(),
                               [](const PrinterInfo2& p) { return p.PrinterName == "\\\\TESTHOST\\q3"; });
  ASSERT_NE(q3, printers.end());
  EXPECT_EQ(q3->Location, "Room 9");
  EXPECT_EQ(lists(), listsBefore + 1);
}

// A watched printer's state and queue as the server has them after each
// change; the other printers of the server are not touched.
TEST_F(CupsSpoolerTest, AWatchedPrintersStateFollowsTheServer) {
  ASSERT_TRUE(cupsd.AddQueue("q2"));
  const ChangeHandle change = Watch(Q1, PRINTER_CHANGE_SET_PRINTER | PRINTER_CHANGE_ADD_JOB, &options);
  TNotifyCollector collector(*spooler, change);
  const std::string file = cupsd.WriteFile("job.txt", 300);
  PrinterHandle q1 = 0, q2 = 0;
  ASSERT_EQ(spooler->OpenPrinter(Q1, 0, q1), ERROR_SUCCESS);
  ASSERT_EQ(spooler->OpenPrinter("\\\\TESTHOST\\q2", 0, q2), ERROR_SUCCESS);
  struct Step {
    const char* what;
    std::function<bool()> act;
    uint32_t change;  // awaited
    uint32_t paused;  // PRINTER_STATUS_PAUSED or 0
    uint32_t jobs;
  };
  uint32_t held = 0;
  const Step steps[] = {
      {"stopped", [&] { return cupsd.DisableQueue("q1"); }, PRINTER_CHANGE_SET_PRINTER, PRINTER_STATUS_PAUSED, 0},
      {"a job waits", [&] { return (held = cupsd.Submit("q1", file, "waits")) != 0; }, PRINTER_CHANGE_ADD_JOB,
       PRINTER_STATUS_PAUSED, 1},
      {"started, the job printed", [&] { return cupsd.EnableQueue("q1"); }, PRINTER_CHANGE_SET_PRINTER, 0, 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    collector.Changes = 0;
    ASSERT_TRUE(step.act());
    PrinterInfo2 info;
    std::vector<JobInfo2> queued;
    // The awaited change, then every change until the printer and its queue
    // are as expected (a job that ended is told once more, as ended, before
    // it leaves the queue).
    ASSERT_TRUE(collector.Until(
        [&] {
          queued.clear();
          return (collector.Changes & step.change) && spooler->GetPrinter(q1, info) == ERROR_SUCCESS &&
                 (info.Status & PRINTER_STATUS_PAUSED) == step.paused && info.cJobs == step.jobs &&
                 spooler->EnumJobs(q1, 0, 100, queued) == ERROR_SUCCESS && queued.size() == step.jobs;
        },
        10000))
        << collector.LastError() << " status " << info.Status << " jobs " << info.cJobs << " queued "
        << queued.size();
    PrinterInfo2 other;
    ASSERT_EQ(spooler->GetPrinter(q2, other), ERROR_SUCCESS);
    EXPECT_EQ(other.Status, 0u);
    EXPECT_EQ(other.cJobs, 0u);
  }
}

TEST_F(CupsSpoolerTest, ServerWatchSeesPrintersAndJobsComeAndGo) {
  const uint32_t filter =
      PRINTER_CHANGE_ADD_PRINTER | PRINTER_CHANGE_DELETE_PRINTER | PRINTER_CHANGE_ADD_JOB | PRINTER_CHANGE_DELETE_JOB;
  const ChangeHandle change = Watch(Local, filter, nullptr);
  ASSERT_TRUE(cupsd.AddQueue("q2"));
  ASSERT_NE(cupsd.Submit("q2", cupsd.WriteFile("a.txt", 10), "A"), 0u);
  TNotifyCollector collector(*spooler, change);
  EXPECT_TRUE(collector.Until([&] { return (collector.Changes & filter) == filter - PRINTER_CHANGE_DELETE_PRINTER; },
                              10000));
  ASSERT_EQ(cupsd.Run({"lpadmin", "-h", cupsd.Socket(), "-x", "q2"}), 0);
  EXPECT_TRUE(collector.Until([&] { return (collector.Changes & PRINTER_CHANGE_DELETE_PRINTER) != 0; }, 10000));
}

TEST_F(CupsSpoolerTest, RefusedSubscriptionsFallBackToPolling) {
  TPrivateCupsd refusing;
  refusing.RefuseSubscriptions();
  ASSERT_TRUE(refusing.Start()) << refusing.Error();
  ASSERT_TRUE(refusing.AddQueue("q1"));
  spooler = std::make_unique<TCupsSpooler>(refusing.Config(Local));
  const ChangeHandle change = Watch(Q1, PRINTER_CHANGE_DELETE_JOB, &options);
  const uint32_t id = refusing.Submit("q1", refusing.WriteFile("p.txt", 100), "Polled");
  TNotifyCollector collector(*spooler, change);
  ASSERT_TRUE(collector.Until([&] { return collector.Jobs.count(id) && Finished(collector.Jobs[id]); }, 10000));
  EXPECT_EQ(collector.Jobs[id].Text(JOB_NOTIFY_FIELD_DOCUMENT), "Polled");
  const std::string log = refusing.AccessLog();
  EXPECT_TRUE(std::regex_search(log, std::regex("HTTP/1.1\" 403 [0-9]+ Create-Printer-Subscriptions"))) << log;
  EXPECT_EQ(log.find("Get-Notifications"), std::string::npos);
  spooler.reset();
}

// Holds the server watch's looks between their two job-list reads while
// closed, so that a test decides what the watch can have seen.
class TLookGate {
 public:
  void Close() {
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
    held_ = false;
  }
  void Open() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      closed_ = false;
    }
    changed_.notify_all();
  }
  // Runs in the watch's thread.
  void Pass() {
    std::unique_lock<std::mutex> guard(lock_);
    if (!closed_) return;
    held_ = true;
    changed_.notify_all();
    changed_.wait(guard, [this] { return !closed_; });
  }
  bool WaitHeld(int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return held_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool closed_ = false;
  bool held_ = false;
};

// The notices of a spooler, as its watch threads hand them over.
class TNoticeLog {
 public:
  void Attach(TSpooler& Spooler) {
    Spooler.SetServerNoticeHandler([this](const SpoolServerNotice& n) {
      {
        std::lock_guard<std::mutex> guard(lock_);
        notices_.push_back(n);
      }
      changed_.notify_all();
    });
  }
  bool WaitCount(size_t Count, int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return notices_.size() >= Count; });
  }
  std::vector<SpoolServerNotice> Notices() {
    std::lock_guard<std::mutex> guard(lock_);
    return notices_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<SpoolServerNotice> notices_;
};

bool JobCompleted(TPrivateCupsd& cupsd, uint32_t id) {
  std::string completed;
  cupsd.Run({"lpstat", "-h", cupsd.Socket(), "-W", "completed", "-o", "q1"}, &completed);
  return completed.find("q1-" + std::to_string(id) + " ") != std::string::npos;
}

TEST_F(CupsSpoolerTest, ARestartIsOneOutageAndTheJobsThatEndedUnseenArriveOnceAfterIt) {
  TLookGate gate;
  TNoticeLog notices;
  CupsConfig config = cupsd.Config(Local);
  config.RetryMaxMs = 200;
  config.AfterFirstJobRead = [&] { gate.Pass(); };
  spooler = std::make_unique<TCupsSpooler>(config);
  notices.Attach(*spooler);
  const ChangeHandle change = Watch(Q1, PRINTER_CHANGE_DELETE_JOB, &options);
  const std::string file = cupsd.WriteFile("held.txt", 100);
  const uint32_t held = cupsd.Submit("q1", file, "Held", true);
  TNotifyCollector collector(*spooler, change);
  ASSERT_TRUE(collector.Until([&] { return collector.Jobs.count(held) != 0; }, 10000));

  // The job ends while the watch is held inside a look; the daemon stops
  // before the look goes on, so the watch never saw the job end.
  gate.Close();
  // An event, so that the watch looks.
  ASSERT_TRUE(cupsd.DisableQueue("q1"));
  ASSERT_TRUE(cupsd.EnableQueue("q1"));
  ASSERT_TRUE(gate.WaitHeld(10000));
  ASSERT_TRUE(cupsd.Release(held));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!JobCompleted(cupsd, held) && std::chrono::steady_clock::now() < deadline) {
  }
  ASSERT_TRUE(JobCompleted(cupsd, held));
  cupsd.Stop();
  gate.Open();
  ASSERT_TRUE(notices.WaitCount(1, 10000));
  // Quiet while away: no failed fetch, whatever the back-off's count.
  EXPECT_FALSE(WaitSignalled(*spooler, change, 0));

  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  const uint32_t after = cupsd.Submit("q1", file, "After");
  ASSERT_NE(after, 0u);
  ASSERT_TRUE(collector.Until(
      [&] { return Finished(collector.Jobs[held]) && collector.Jobs.count(after) && Finished(collector.Jobs[after]); },
      20000))
      << collector.LastError();
  EXPECT_EQ(collector.Jobs[held].Status(), JOB_STATUS_PRINTED | JOB_STATUS_DELETED);
  EXPECT_EQ(collector.Jobs[held].Text(JOB_NOTIFY_FIELD_DOCUMENT), "Held");
  EXPECT_EQ(collector.Jobs[after].Status(), JOB_STATUS_PRINTED | JOB_STATUS_DELETED);
  // Ended once: one final status each.
  for (const uint32_t id : {held, after}) {
    const auto& statuses = collector.Jobs[id].Statuses;
    EXPECT_EQ(std::count_if(statuses.begin(), statuses.end(), [](uint32_t s) { return s & JOB_STATUS_DELETED; }), 1)
        << id;
  }

  ASSERT_TRUE(notices.WaitCount(2, 10000));
  const std::vector<SpoolServerNotice> told = notices.Notices();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].Server, Local);
  EXPECT_EQ(told[0].Condition, SpoolServerCondition::Unreachable);
  EXPECT_EQ(told[0].Error, RPC_S_SERVER_UNAVAILABLE);
  // The client library's own words, not an error number.
  EXPECT_FALSE(told[0].Text.empty());
  EXPECT_EQ(told[0].Text.find("1722"), std::string::npos) << told[0].Text;
  EXPECT_EQ(told[1].Condition, SpoolServerCondition::Reachable);
  EXPECT_GT(told[1].Outage.count(), 0);
}

TEST_F(CupsSpoolerTest, AConnectionTheDaemonDropsIsNoOutage) {
  TSocketRelay relay(cupsd.Socket(), cupsd.Folder() + "/relay.sock");
  ASSERT_TRUE(relay.Listening());
  TNoticeLog notices;
  CupsConfig config = cupsd.Config(Local);
  config.LocalHost = relay.Path();
  spooler = std::make_unique<TCupsSpooler>(config);
  notices.Attach(*spooler);
  const ChangeHandle change = Watch(Q1, PRINTER_CHANGE_DELETE_JOB, &options);
  TNotifyCollector collector(*spooler, change);
  const std::string file = cupsd.WriteFile("page.txt", 100);
  const uint32_t first = cupsd.Submit("q1", file, "First");
  ASSERT_TRUE(collector.Until([&] { return collector.Jobs.count(first) && Finished(collector.Jobs[first]); }, 20000))
      << collector.LastError();

  // Every connection open now is closed at its next request, as a busy
  // daemon may close one it kept open; a new one is answered.
  for (int drops = 1; drops <= 3; ++drops) {
    relay.DropNextRequest();
    const uint32_t next = cupsd.Submit("q1", file, "After drop " + std::to_string(drops));
    ASSERT_TRUE(collector.Until([&] { return collector.Jobs.count(next) && Finished(collector.Jobs[next]); }, 20000))
        << collector.LastError();
    ASSERT_EQ(relay.Dropped(), drops);
  }
  EXPECT_TRUE(notices.Notices().empty());
  EXPECT_GT(relay.Accepted(), 1);
}

TEST_F(CupsSpoolerTest, AnOutagePastItsLimitFailsTheNotificationsAndCallsNeverHang) {
  TNoticeLog notices;
  CupsConfig config = cupsd.Config(Local);
  config.RetryMaxMs = 100;
  config.OutageLimitMs = 400;
  spooler = std::make_unique<TCupsSpooler>(config);
  notices.Attach(*spooler);
  const ChangeHandle change = Watch(Q1, PRINTER_CHANGE_DELETE_JOB, &options);
  PrinterHandle handle = 0;
  ASSERT_EQ(spooler->OpenPrinter(Q1, 0, handle), ERROR_SUCCESS);
  cupsd.Kill();
  // A watched server is read from its watch's last look until the watch
  // finds it gone; from then on every read asks, and fails at once.
  ASSERT_TRUE(notices.WaitCount(1, 10000));
  const auto start = std::chrono::steady_clock::now();
  std::vector<JobInfo2> jobs;
  EXPECT_EQ(spooler->EnumJobs(handle, 0, 10, jobs), RPC_S_SERVER_UNAVAILABLE);
  std::vector<PrinterInfo2> printers;
  EXPECT_EQ(spooler->EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  TNotifyCollector collector(*spooler, change);
  EXPECT_FALSE(collector.Until([] { return false; }, 10000));
  EXPECT_EQ(collector.LastError(), RPC_S_SERVER_UNAVAILABLE);
  ASSERT_TRUE(notices.WaitCount(2, 10000));
  const std::vector<SpoolServerNotice> told = notices.Notices();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].Condition, SpoolServerCondition::Unreachable);
  EXPECT_EQ(told[1].Condition, SpoolServerCondition::GivenUp);
  EXPECT_GE(told[1].Outage.count(), config.OutageLimitMs);
  // Given up, it stays so until it answers: a late watch is refused.
  ChangeHandle again = 0;
  EXPECT_EQ(spooler->FindFirstPrinterChangeNotification(handle, PRINTER_CHANGE_ALL, nullptr, again),
            RPC_S_SERVER_UNAVAILABLE);
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_EQ(spooler->FindFirstPrinterChangeNotification(handle, PRINTER_CHANGE_ALL, nullptr, again), ERROR_SUCCESS);
  EXPECT_EQ(spooler->FindClosePrinterChangeNotification(again), ERROR_SUCCESS);
}

// A server down when its first watch opens is the same outage as a later
// stop: the watch opens, the outage is told once, and when the server
// answers all it has is news to the watch.
TEST_F(CupsSpoolerTest, AServerDownAtItsFirstWatchIsOneOutageAndAllItHasIsNewsWhenItAnswers) {
  TNoticeLog notices;
  CupsConfig config = cupsd.Config(Local);
  config.RetryMaxMs = 200;
  spooler = std::make_unique<TCupsSpooler>(config);
  notices.Attach(*spooler);
  PrinterHandle server = 0, printer = 0;
  ASSERT_EQ(spooler->OpenPrinter(Local, 0, server), ERROR_SUCCESS);
  ASSERT_EQ(spooler->OpenPrinter(Q1, 0, printer), ERROR_SUCCESS);
  cupsd.Stop();
  const uint32_t filter =
      PRINTER_CHANGE_ADD_PRINTER | PRINTER_CHANGE_DELETE_PRINTER | PRINTER_CHANGE_ADD_JOB | PRINTER_CHANGE_DELETE_JOB;
  ChangeHandle serverWatch = 0, printerWatch = 0;
  ASSERT_EQ(spooler->FindFirstPrinterChangeNotification(server, filter, nullptr, serverWatch), ERROR_SUCCESS);
  ASSERT_EQ(spooler->FindFirstPrinterChangeNotification(printer, PRINTER_CHANGE_DELETE_JOB, &options, printerWatch),
            ERROR_SUCCESS);
  ASSERT_TRUE(notices.WaitCount(1, 10000));
  EXPECT_FALSE(WaitSignalled(*spooler, serverWatch, 0));

  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  const uint32_t held = cupsd.Submit("q1", cupsd.WriteFile("held.txt", 100), "Held", true);
  ASSERT_NE(held, 0u);
  ASSERT_TRUE(WaitSignalled(*spooler, serverWatch, 20000));
  uint32_t changeWord = 0;
  std::optional<PrinterNotifyInfo> info;
  ASSERT_EQ(spooler->FindNextPrinterChangeNotification(serverWatch, changeWord, nullptr, info), ERROR_SUCCESS);
  EXPECT_TRUE(changeWord & PRINTER_CHANGE_ADD_PRINTER) << changeWord;
  TNotifyCollector collector(*spooler, printerWatch);
  ASSERT_TRUE(collector.Until([&] { return collector.Jobs.count(held) != 0; }, 20000)) << collector.LastError();
  EXPECT_EQ(collector.Jobs[held].Text(JOB_NOTIFY_FIELD_DOCUMENT), "Held");
  ASSERT_TRUE(notices.WaitCount(2, 10000));
  const std::vector<SpoolServerNotice> told = notices.Notices();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].Condition, SpoolServerCondition::Unreachable);
  EXPECT_EQ(told[0].Error, RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(told[1].Condition, SpoolServerCondition::Reachable);
}

TEST_F(CupsSpoolerTest, ClosingDuringAFrozenDaemonDoesNotWaitForTheRequestTimeout) {
  TLookGate gate;
  CupsConfig config = cupsd.Config(Local);
  config.RequestTimeoutMs = 20000;
  config.AfterFirstJobRead = [&] { gate.Pass(); };
  spooler = std::make_unique<TCupsSpooler>(config);
  Watch(Q1, PRINTER_CHANGE_DELETE_JOB, &options);
  gate.Close();
  ASSERT_TRUE(cupsd.DisableQueue("q1"));
  ASSERT_TRUE(gate.WaitHeld(10000));
  // The look's next read meets a daemon that accepts and never answers.
  cupsd.Pause();
  gate.Open();
  const auto start = std::chrono::steady_clock::now();
  spooler.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  cupsd.Resume();
}

TEST_F(CupsSpoolerTest, ConfigurationFollowsCupsServer) {
  {
    TScopedEnvironment server("CUPS_SERVER", "printhost:8631");
    const CupsConfig config = CupsConfigFromEnvironment();
    EXPECT_EQ(config.LocalHost, "printhost");
    EXPECT_EQ(config.LocalPort, 8631);
    EXPECT_EQ(config.LocalServer.compare(0, 2, "\\\\"), 0);
  }
  TScopedEnvironment server("CUPS_SERVER", cupsd.Socket().c_str());
  CupsConfig config = CupsConfigFromEnvironment();
  EXPECT_EQ(config.LocalHost, cupsd.Socket());
  config.LocalServer = Local;
  TCupsSpooler fromEnvironment(config);
  std::vector<PrinterInfo2> printers;
  ASSERT_EQ(fromEnvironment.EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), ERROR_SUCCESS);
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].PrinterName, Q1);
}

TEST_F(CupsSpoolerTest, FrozenDaemonTimesOut) {
  CupsConfig config = cupsd.Config(Local);
  config.RequestTimeoutMs = 1000;
  spooler = std::make_unique<TCupsSpooler>(config);
  cupsd.Pause();
  const auto start = std::chrono::steady_clock::now();
  std::vector<PrinterInfo2> printers;
  EXPECT_EQ(spooler->EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), ERROR_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  cupsd.Resume();
  EXPECT_EQ(spooler->EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), ERROR_SUCCESS);
}

// Every read of a printer that is not watched asks the server; once it is
// gone, each says so in the library's words, also the history, which is
// read on a thread of its own.
TEST_F(CupsSpoolerTest, APrintersReadsOfAServerThatWentAreToldInTheLibrarysWords) {
  PrinterHandle handle = 0;
  ASSERT_EQ(spooler->OpenPrinter(Q1, 0, handle), ERROR_SUCCESS);
  std::vector<JobInfo2> jobs;
  ASSERT_EQ(spooler->EnumJobHistory(handle, jobs), ERROR_SUCCESS);
  cupsd.Kill();
  const std::pair<const char*, std::function<OsError()>> reads[] = {
      {"history", [&] { return spooler->EnumJobHistory(handle, jobs); }},
      {"queue", [&] { return spooler->EnumJobs(handle, 0, 100, jobs); }},
      {"printer", [&] {
         PrinterInfo2 info;
         return spooler->GetPrinter(handle, info);
       }},
  };
  for (const auto& [what, read] : reads) {
    SCOPED_TRACE(what);
    TCupsSession::SetThreadLastErrorText({});
    const OsError error = read();
    ASSERT_EQ(error, RPC_S_SERVER_UNAVAILABLE);
    const std::string words = spooler->ErrorText(error);
    EXPECT_FALSE(words.empty());
    EXPECT_NE(words, SpoolErrorMessage(error)) << "the library's words, not our generic text";
  }
}

TEST_F(CupsSpoolerTest, AServerThatCannotBeReachedIsToldInTheLibrarysWords) {
  CupsConfig config = cupsd.Config(Local);
  config.RemotePort = 1;  // nothing listens there
  spooler = std::make_unique<TCupsSpooler>(config);
  std::vector<PrinterInfo2> printers;
  const OsError error = spooler->EnumPrinters(PRINTER_ENUM_NAME, "\\\\127.0.0.1", printers);
  ASSERT_EQ(error, RPC_S_SERVER_UNAVAILABLE);
  const std::string words = spooler->ErrorText(error);
  EXPECT_FALSE(words.empty());
  EXPECT_NE(words, SpoolErrorMessage(error)) << "the library's words, not our generic text";
  EXPECT_EQ(words.find("1722"), std::string::npos) << words;
  EXPECT_EQ(spooler->ErrorText(ERROR_INVALID_PRINTER_NAME), SpoolErrorMessage(ERROR_INVALID_PRINTER_NAME))
      << "only a server's failure takes the library's words";
}

TEST_F(CupsSpoolerTest, DefaultPrinterIsTheUsersDestination) {
  ASSERT_TRUE(cupsd.AddQueue("q2"));
  // The library reads where the user's choices live once per thread.
  TScopedEnvironment serverRoot("CUPS_SERVERROOT", cupsd.Folder().c_str());
  TScopedEnvironment home("HOME", cupsd.Folder().c_str());
  TScopedEnvironment printer("PRINTER", nullptr);
  TScopedEnvironment destination("LPDEST", nullptr);
  std::string name;
  OsError set = 0, got = 0, missing = 0, remote = 0;
  std::thread([&] {
    missing = spooler->SetDefaultPrinter("\\\\TESTHOST\\nothere");
    remote = spooler->SetDefaultPrinter("\\\\ELSEWHERE\\q1");
    set = spooler->SetDefaultPrinter("\\\\TESTHOST\\q2");
    got = spooler->GetDefaultPrinter(name);
  }).join();
  EXPECT_EQ(missing, ERROR_INVALID_PRINTER_NAME);
  EXPECT_EQ(remote, ERROR_NOT_SUPPORTED);
  EXPECT_EQ(set, ERROR_SUCCESS);
  EXPECT_EQ(got, ERROR_SUCCESS);
  EXPECT_EQ(name, "\\\\TESTHOST\\q2");
}

}  // namespace
