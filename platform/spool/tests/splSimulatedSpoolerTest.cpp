#include <gtest/gtest.h>

#include <thread>

#include "splNames.h"
#include "splSimulatedSpooler.h"
#include "splTestNotify.h"

namespace {

const std::string Local = "\\\\LOCAL";
const std::string Laser = "\\\\LOCAL\\Laser";
const std::string Plotter = "\\\\LOCAL\\Plotter";

PrinterInfo2 Printer(const std::string& name) {
  PrinterInfo2 p;
  p.PrinterName = name;
  p.DriverName = "Generic Driver";
  p.PortName = "LPT1:";
  p.Location = "Floor 2";
  p.Comment = "shared laser";
  p.Attributes = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_SHARED;
  return p;
}

JobInfo2 Job(const std::string& document) {
  JobInfo2 j;
  j.Document = document;
  j.UserName = "anna";
  j.MachineName = "\\\\DESK7";
  j.TotalPages = 3;
  j.Size = 2048;
  j.Status = JOB_STATUS_SPOOLING;
  j.Submitted = SystemTimeFromUnixMs(1700000000000);
  return j;
}

class SimulatedSpoolerTest : public ::testing::Test {
 protected:
  SimulatedSpoolerTest() : spooler(Local) {
    spooler.AddPrinter(Printer(Laser));
    spooler.AddPrinter(Printer(Plotter), PRINTER_ACCESS_USE);
  }

  ChangeHandle Watch(const std::string& name, uint32_t filter, const PrinterNotifyOptions* options) {
    PrinterHandle handle = 0;
    EXPECT_EQ(spooler.OpenPrinter(name, 0, handle), ERROR_SUCCESS);
    ChangeHandle change = 0;
    EXPECT_EQ(spooler.FindFirstPrinterChangeNotification(handle, filter, options, change), ERROR_SUCCESS);
    return change;
  }

  PrinterNotifyInfo Fetch(ChangeHandle change, uint32_t& changeWord, bool refresh = false) {
    PrinterNotifyOptions flags;
    flags.Flags = refresh ? PRINTER_NOTIFY_OPTIONS_REFRESH : 0;
    std::optional<PrinterNotifyInfo> info;
    EXPECT_EQ(spooler.FindNextPrinterChangeNotification(change, changeWord, &flags, info), ERROR_SUCCESS);
    EXPECT_TRUE(info.has_value());
    return info.value_or(PrinterNotifyInfo{});
  }

  static std::vector<std::pair<uint16_t, uint16_t>> Fields(const PrinterNotifyInfo& info) {
    std::vector<std::pair<uint16_t, uint16_t>> fields;
    for (const auto& d : info.Data) fields.emplace_back(d.Type, d.Field);
    return fields;
  }

  TSimulatedSpooler spooler;
  const PrinterNotifyOptions options = PrinterWatchOptions();
};

TEST(SpoolNamesTest, ServerAndPrinterNames) {
  EXPECT_EQ(ParseSpoolName("\\\\SRV")->Server, "\\\\SRV");
  EXPECT_EQ(ParseSpoolName("\\\\SRV")->Queue, "");
  EXPECT_EQ(ParseSpoolName("\\\\SRV\\q1")->Server, "\\\\SRV");
  EXPECT_EQ(ParseSpoolName("\\\\SRV\\q1")->Queue, "q1");
  for (const char* bad : {"", "SRV", "\\\\", "\\\\\\q", "\\\\SRV\\", "\\\\SRV\\a\\b", "\\SRV\\q"})
    EXPECT_FALSE(ParseSpoolName(bad)) << bad;
  EXPECT_TRUE(SameSpoolName("\\\\Srv\\Laser", "\\\\SRV\\laser"));
  EXPECT_FALSE(SameSpoolName("\\\\SRV\\Laser1", "\\\\SRV\\Laser"));
}

TEST(SpoolTypesTest, SystemTimeIsUtc) {
  const SystemTime t = SystemTimeFromUnixMs(1700000000123);  // 2023-11-14 22:13:20.123 UTC, a Tuesday
  EXPECT_EQ(t, (SystemTime{2023, 11, 2, 14, 22, 13, 20, 123}));
  EXPECT_EQ(SystemTimeFromUnixMs(0), SystemTime{});
}

TEST(CurrentSpoolerTest, InstalledSpoolerIsShared) {
  SetCurrentSpooler(nullptr);
  EXPECT_THROW(CurrentSpooler(), std::logic_error);
  auto spooler = std::make_shared<TSimulatedSpooler>(Local);
  SetCurrentSpooler(spooler);
  EXPECT_EQ(CurrentSpooler().get(), spooler.get());
  SetCurrentSpooler(nullptr);
}

TEST_F(SimulatedSpoolerTest, EnumeratesServersAndPrinters) {
  spooler.AddServer("\\\\SRV");
  spooler.AddPrinter(Printer("\\\\SRV\\Remote"));
  std::vector<PrinterInfo1> servers;
  ASSERT_EQ(spooler.EnumPrinters(PRINTER_ENUM_REMOTE, "", servers), ERROR_SUCCESS);
  ASSERT_EQ(servers.size(), 2u);
  EXPECT_EQ(servers[1].Name, "\\\\SRV");
  EXPECT_TRUE(servers[1].Flags & PRINTER_ENUM_CONTAINER);

  std::vector<PrinterInfo2> printers;
  ASSERT_EQ(spooler.EnumPrinters(PRINTER_ENUM_NAME, "\\\\srv", printers), ERROR_SUCCESS);
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].PrinterName, "\\\\SRV\\Remote");
  EXPECT_EQ(printers[0].ServerName, "\\\\SRV");
  ASSERT_EQ(spooler.EnumPrinters(PRINTER_ENUM_NAME, "", printers), ERROR_SUCCESS);
  EXPECT_EQ(printers.size(), 2u);
  ASSERT_EQ(spooler.EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), ERROR_SUCCESS);
  EXPECT_EQ(printers.size(), 2u);

  std::vector<PrinterInfo1> level1;
  ASSERT_EQ(spooler.EnumPrinters(PRINTER_ENUM_LOCAL, "", level1), ERROR_SUCCESS);
  EXPECT_EQ(level1[0].Description, Laser + ",Generic Driver,Floor 2");

  EXPECT_EQ(spooler.EnumPrinters(PRINTER_ENUM_NAME, "\\\\NOWHERE", printers), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(spooler.EnumPrinters(PRINTER_ENUM_NAME, Laser, printers), ERROR_INVALID_PRINTER_NAME);
  EXPECT_EQ(spooler.EnumPrinters(PRINTER_ENUM_REMOTE, "", printers), ERROR_INVALID_LEVEL);
}

TEST_F(SimulatedSpoolerTest, OpensWithTheGrantedRightsAndReadsTheQueue) {
  PrinterHandle handle = 0;
  EXPECT_EQ(spooler.OpenPrinter(Plotter, PRINTER_ALL_ACCESS, handle), ERROR_ACCESS_DENIED);
  EXPECT_EQ(handle, 0u);
  EXPECT_EQ(spooler.OpenPrinter(Plotter, PRINTER_ACCESS_USE, handle), ERROR_SUCCESS);
  EXPECT_EQ(spooler.OpenPrinter("\\\\LOCAL\\Missing", 0, handle), ERROR_INVALID_PRINTER_NAME);
  EXPECT_EQ(spooler.OpenPrinter("Laser", 0, handle), ERROR_INVALID_PRINTER_NAME);

  ASSERT_EQ(spooler.OpenPrinter(Laser, PRINTER_ALL_ACCESS, handle), ERROR_SUCCESS);
  const uint32_t first = spooler.SubmitJob(Laser, Job("one"));
  const uint32_t second = spooler.SubmitJob(Laser, Job("two"));
  spooler.SubmitJob(Laser, Job("three"));
  PrinterInfo2 info;
  ASSERT_EQ(spooler.GetPrinter(handle, info), ERROR_SUCCESS);
  EXPECT_EQ(info.cJobs, 3u);
  EXPECT_EQ(info.Location, "Floor 2");
  std::vector<JobInfo2> jobs;
  ASSERT_EQ(spooler.EnumJobs(handle, 1, 5, jobs), ERROR_SUCCESS);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].JobId, second);
  EXPECT_EQ(jobs[0].Position, 2u);
  EXPECT_EQ(jobs[0].PrinterName, Laser);
  spooler.RemoveJob(Laser, first);
  ASSERT_EQ(spooler.EnumJobs(handle, 0, 1, jobs), ERROR_SUCCESS);
  EXPECT_EQ(jobs[0].JobId, second);
  EXPECT_EQ(jobs[0].Position, 1u);

  PrinterHandle server = 0;
  ASSERT_EQ(spooler.OpenPrinter(Local, 0, server), ERROR_SUCCESS);
  EXPECT_EQ(spooler.GetPrinter(server, info), ERROR_INVALID_HANDLE);
  EXPECT_EQ(spooler.ClosePrinter(handle), ERROR_SUCCESS);
  EXPECT_EQ(spooler.ClosePrinter(handle), ERROR_INVALID_HANDLE);
  EXPECT_EQ(spooler.GetPrinter(handle, info), ERROR_INVALID_HANDLE);
}

TEST_F(SimulatedSpoolerTest, JobLifeArrivesFieldByField) {
  const ChangeHandle change = Watch(Laser, PRINTER_CHANGE_DELETE_JOB, &options);
  EXPECT_FALSE(WaitSignalled(spooler, change, 0));

  const uint32_t id = spooler.SubmitJob(Laser, Job("report.pdf"));
  ASSERT_TRUE(WaitSignalled(spooler, change, 0));
  uint32_t changeWord = 0;
  PrinterNotifyInfo info = Fetch(change, changeWord);
  EXPECT_EQ(changeWord, 0u);  // ADD_JOB is outside the filter; the fields still come
  EXPECT_FALSE(WaitSignalled(spooler, change, 0));
  const std::vector<std::pair<uint16_t, uint16_t>> added = {
      {PRINTER_NOTIFY_TYPE, PRINTER_NOTIFY_FIELD_CJOBS},      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_MACHINE_NAME},
      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_USER_NAME},          {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_STATUS},
      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_STATUS_STRING},      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_DOCUMENT},
      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_SUBMITTED},          {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_TOTAL_PAGES},
      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_PAGES_PRINTED},      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_TOTAL_BYTES},
      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_BYTES_PRINTED}};
  EXPECT_EQ(Fields(info), added);
  EXPECT_EQ(info.Data[0].Number, 1u);
  EXPECT_EQ(info.Data[1].Id, id);
  EXPECT_EQ(info.Data[1].Text, "\\\\DESK7");
  EXPECT_EQ(info.Data[5].Text, "report.pdf");
  EXPECT_EQ(info.Data[6].Kind, NotifyDataKind::Time);
  EXPECT_EQ(info.Data[6].Time, SystemTimeFromUnixMs(1700000000000));

  spooler.SetJobStatus(Laser, id, JOB_STATUS_PRINTING);
  spooler.ProgressJob(Laser, id, 1, 700);
  info = Fetch(change, changeWord);
  ASSERT_EQ(info.Data.size(), 3u);
  EXPECT_EQ(info.Data[0].Field, JOB_NOTIFY_FIELD_STATUS);
  EXPECT_EQ(info.Data[0].Number, JOB_STATUS_PRINTING);
  EXPECT_EQ(info.Data[1].Field, JOB_NOTIFY_FIELD_PAGES_PRINTED);
  EXPECT_EQ(info.Data[2].Number, 700u);

  spooler.PrintJob(Laser, id);
  spooler.RemoveJob(Laser, id);
  info = Fetch(change, changeWord);
  EXPECT_EQ(changeWord, PRINTER_CHANGE_DELETE_JOB);
  const std::vector<std::pair<uint16_t, uint16_t>> finished = {
      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_STATUS},        {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_PAGES_PRINTED},
      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_BYTES_PRINTED}, {PRINTER_NOTIFY_TYPE, PRINTER_NOTIFY_FIELD_CJOBS},
      {JOB_NOTIFY_TYPE, JOB_NOTIFY_FIELD_STATUS}};
  EXPECT_EQ(Fields(info), finished);
  EXPECT_EQ(info.Data[0].Number, JOB_STATUS_PRINTED);
  EXPECT_EQ(info.Data[2].Number, 2048u);
  EXPECT_EQ(info.Data[3].Number, 0u);
  EXPECT_EQ(info.Data[4].Number, JOB_STATUS_PRINTED | JOB_STATUS_DELETED);
}

TEST_F(SimulatedSpoolerTest, CancelledJobShowsDeletingThenDeleted) {
  const uint32_t id = spooler.SubmitJob(Laser, Job("draft"));
  const ChangeHandle change = Watch(Laser, PRINTER_CHANGE_DELETE_JOB, &options);
  spooler.DeleteJob(Laser, id);
  uint32_t changeWord = 0;
  const PrinterNotifyInfo info = Fetch(change, changeWord);
  EXPECT_EQ(changeWord, PRINTER_CHANGE_DELETE_JOB);
  std::vector<uint32_t> statuses;
  for (const auto& d : info.Data)
    if (d.Field == JOB_NOTIFY_FIELD_STATUS && d.Type == JOB_NOTIFY_TYPE) statuses.push_back(d.Number);
  EXPECT_EQ(statuses, (std::vector<uint32_t>{JOB_STATUS_SPOOLING | JOB_STATUS_DELETING,
                                             JOB_STATUS_SPOOLING | JOB_STATUS_DELETING | JOB_STATUS_DELETED}));
}

TEST_F(SimulatedSpoolerTest, EndedJobsStayInTheirPrintersHistory) {
  const uint32_t printed = spooler.SubmitJob(Laser, Job("printed"));
  const uint32_t cancelled = spooler.SubmitJob(Laser, Job("cancelled"));
  const uint32_t queued = spooler.SubmitJob(Laser, Job("queued"));
  spooler.SubmitJob(Plotter, Job("elsewhere"));
  spooler.PrintJob(Laser, printed);
  spooler.RemoveJob(Laser, printed);
  spooler.DeleteJob(Laser, cancelled);
  PrinterHandle handle = 0;
  ASSERT_EQ(spooler.OpenPrinter(Laser, 0, handle), ERROR_SUCCESS);
  std::vector<JobInfo2> history;
  ASSERT_EQ(spooler.EnumJobHistory(handle, history), ERROR_SUCCESS);
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].JobId, printed);
  EXPECT_EQ(history[0].Status, uint32_t(JOB_STATUS_PRINTED));
  EXPECT_EQ(history[0].PagesPrinted, 3u);
  EXPECT_EQ(history[1].JobId, cancelled);
  EXPECT_EQ(history[1].Status, JOB_STATUS_SPOOLING | JOB_STATUS_DELETING | JOB_STATUS_DELETED);
  EXPECT_NE(history[1].JobId, queued);
  spooler.SetServerReachable(Local, false);
  EXPECT_EQ(spooler.EnumJobHistory(handle, history), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(spooler.EnumJobHistory(PrinterHandle(999), history), ERROR_INVALID_HANDLE);
}

TEST_F(SimulatedSpoolerTest, WatchesSeeTheirScopeAndFilter) {
  const ChangeHandle printer = Watch(Laser, PRINTER_CHANGE_DELETE_JOB, &options);
  const uint32_t filter =
      PRINTER_CHANGE_ADD_PRINTER | PRINTER_CHANGE_DELETE_PRINTER | PRINTER_CHANGE_ADD_JOB | PRINTER_CHANGE_DELETE_JOB;
  const ChangeHandle server = Watch(Local, filter, nullptr);

  spooler.SetPrinterStatus(Plotter, PRINTER_STATUS_PAPER_OUT);  // neither scope nor filter
  EXPECT_FALSE(WaitSignalled(spooler, printer, 0));
  EXPECT_FALSE(WaitSignalled(spooler, server, 0));

  spooler.SubmitJob(Plotter, Job("plan"));
  spooler.AddPrinter(Printer("\\\\LOCAL\\Fax"));
  EXPECT_FALSE(WaitSignalled(spooler, printer, 0));
  ASSERT_TRUE(WaitSignalled(spooler, server, 0));
  uint32_t changeWord = 0;
  std::optional<PrinterNotifyInfo> info;
  ASSERT_EQ(spooler.FindNextPrinterChangeNotification(server, changeWord, nullptr, info), ERROR_SUCCESS);
  EXPECT_EQ(changeWord, PRINTER_CHANGE_ADD_JOB | PRINTER_CHANGE_ADD_PRINTER);
  EXPECT_FALSE(info.has_value());

  spooler.DeletePrinter(Plotter);
  ASSERT_EQ(spooler.FindNextPrinterChangeNotification(server, changeWord, nullptr, info), ERROR_SUCCESS);
  EXPECT_EQ(changeWord, PRINTER_CHANGE_DELETE_PRINTER | PRINTER_CHANGE_DELETE_JOB);

  PrinterInfo2 changed = Printer(Laser);
  changed.Comment = "moved";
  spooler.UpdatePrinter(changed);
  const PrinterNotifyInfo laser = Fetch(printer, changeWord);
  ASSERT_EQ(laser.Data.size(), 1u);
  EXPECT_EQ(laser.Data[0].Field, PRINTER_NOTIFY_FIELD_COMMENT);
  EXPECT_EQ(laser.Data[0].Text, "moved");
  EXPECT_EQ(spooler.FindClosePrinterChangeNotification(printer), ERROR_SUCCESS);
  EXPECT_EQ(spooler.ChangeNotificationFd(printer), -1);
  EXPECT_EQ(spooler.FindNextPrinterChangeNotification(printer, changeWord, nullptr, info), ERROR_INVALID_HANDLE);
}

TEST_F(SimulatedSpoolerTest, LostDataIsReportedUntilRefreshed) {
  const uint32_t first = spooler.SubmitJob(Laser, Job("one"));
  const ChangeHandle change = Watch(Laser, PRINTER_CHANGE_DELETE_JOB, &options);
  const uint32_t second = spooler.SubmitJob(Laser, Job("two"));
  spooler.ForceOverflow();
  ASSERT_TRUE(WaitSignalled(spooler, change, 0));
  uint32_t changeWord = 0;
  PrinterNotifyInfo info = Fetch(change, changeWord);
  EXPECT_EQ(info.Flags, PRINTER_NOTIFY_INFO_DISCARDED);
  EXPECT_TRUE(info.Data.empty());
  spooler.SetJobStatus(Laser, first, JOB_STATUS_PRINTING);
  EXPECT_EQ(Fetch(change, changeWord).Flags, PRINTER_NOTIFY_INFO_DISCARDED);

  info = Fetch(change, changeWord, true);
  EXPECT_EQ(info.Flags, 0u);
  ASSERT_EQ(info.Data.size(), 8u + 2 * 10u);
  EXPECT_EQ(info.Data[0].Type, PRINTER_NOTIFY_TYPE);
  EXPECT_EQ(info.Data[8].Id, first);
  EXPECT_EQ(info.Data[18].Id, second);
  for (const auto& d : info.Data) {
    if (d.Id == first && d.Field == JOB_NOTIFY_FIELD_STATUS) {
      EXPECT_EQ(d.Number, JOB_STATUS_PRINTING);
    }
  }

  spooler.SetJobStatus(Laser, second, JOB_STATUS_PAUSED);
  info = Fetch(change, changeWord);
  EXPECT_EQ(info.Flags, 0u);
  EXPECT_EQ(info.Data.size(), 1u);

  spooler.SetNotifyCapacity(5);
  spooler.SubmitJob(Laser, Job("three"));
  EXPECT_EQ(Fetch(change, changeWord).Flags, PRINTER_NOTIFY_INFO_DISCARDED);
}

TEST_F(SimulatedSpoolerTest, AnUnreachableServerKeepsItsNotificationsAndTellsWhatEndedMeanwhile) {
  std::vector<SpoolServerNotice> notices;
  spooler.SetServerNoticeHandler([&](const SpoolServerNotice& n) { notices.push_back(n); });
  spooler.AddServer("\\\\SRV");
  spooler.AddPrinter(Printer("\\\\SRV\\Remote"));
  const ChangeHandle remote = Watch("\\\\SRV\\Remote", PRINTER_CHANGE_DELETE_JOB, &options);
  const ChangeHandle local = Watch(Laser, PRINTER_CHANGE_DELETE_JOB, &options);
  PrinterHandle handle = 0;
  ASSERT_EQ(spooler.OpenPrinter("\\\\SRV\\Remote", 0, handle), ERROR_SUCCESS);
  const uint32_t seen = spooler.SubmitJob("\\\\SRV\\Remote", Job("seen"));
  TNotifyCollector collector(spooler, remote);
  ASSERT_TRUE(collector.Until([&] { return collector.Jobs.count(seen) != 0; }, 1000));

  spooler.SetServerReachable("\\\\SRV", false, "Connection refused");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].Server, "\\\\SRV");
  EXPECT_EQ(notices[0].Condition, SpoolServerCondition::Unreachable);
  EXPECT_EQ(notices[0].Text, "Connection refused");
  std::vector<JobInfo2> jobs;
  EXPECT_EQ(spooler.EnumJobs(handle, 0, 10, jobs), RPC_S_SERVER_UNAVAILABLE);
  // A watched server takes one more watch, as the CUPS watch does.
  ChangeHandle again = 0;
  EXPECT_EQ(spooler.FindFirstPrinterChangeNotification(handle, PRINTER_CHANGE_ALL, nullptr, again), ERROR_SUCCESS);
  EXPECT_EQ(notices.size(), 1u);
  std::vector<PrinterInfo1> servers;
  ASSERT_EQ(spooler.EnumPrinters(PRINTER_ENUM_REMOTE, "", servers), ERROR_SUCCESS);
  EXPECT_EQ(servers.size(), 1u);

  // The server goes on while nobody hears it.
  spooler.PrintJob("\\\\SRV\\Remote", seen);
  spooler.RemoveJob("\\\\SRV\\Remote", seen);
  const uint32_t unseen = spooler.SubmitJob("\\\\SRV\\Remote", Job("unseen"));
  spooler.PrintJob("\\\\SRV\\Remote", unseen);
  spooler.RemoveJob("\\\\SRV\\Remote", unseen);
  const uint32_t queued = spooler.SubmitJob("\\\\SRV\\Remote", Job("queued"));
  spooler.SetServerReachable("\\\\SRV", false);
  EXPECT_EQ(notices.size(), 1u);
  EXPECT_FALSE(WaitSignalled(spooler, remote, 0));
  EXPECT_FALSE(WaitSignalled(spooler, local, 0));

  spooler.SetServerReachable("\\\\SRV", true);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[1].Condition, SpoolServerCondition::Reachable);
  ASSERT_TRUE(collector.Until([&] { return collector.Jobs.count(unseen) && collector.Jobs.count(queued); }, 1000))
      << collector.LastError();
  EXPECT_EQ(collector.Jobs[seen].Status(), JOB_STATUS_PRINTED | JOB_STATUS_DELETED);
  EXPECT_EQ(collector.Jobs[unseen].Status(), JOB_STATUS_PRINTED | JOB_STATUS_DELETED);
  EXPECT_EQ(collector.Jobs[unseen].Text(JOB_NOTIFY_FIELD_DOCUMENT), "unseen");
  EXPECT_EQ(collector.Jobs[queued].Status(), JOB_STATUS_SPOOLING);
  EXPECT_TRUE(collector.Changes & PRINTER_CHANGE_DELETE_JOB);
  EXPECT_TRUE(WaitSignalled(spooler, again, 1000));
  EXPECT_EQ(spooler.FindClosePrinterChangeNotification(again), ERROR_SUCCESS);
  ASSERT_EQ(spooler.EnumJobs(handle, 0, 10, jobs), ERROR_SUCCESS);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].JobId, queued);

  // Past the outage limit the notifications fail, and the notice says so.
  EXPECT_THROW(spooler.GiveUpServer("\\\\SRV"), std::invalid_argument);
  spooler.SetServerReachable("\\\\SRV", false, "No route to host");
  spooler.GiveUpServer("\\\\SRV");
  ASSERT_EQ(notices.size(), 4u);
  EXPECT_EQ(notices[3].Condition, SpoolServerCondition::GivenUp);
  EXPECT_EQ(notices[3].Text, "No route to host");
  ASSERT_TRUE(WaitSignalled(spooler, remote, 0));
  uint32_t changeWord = 0;
  std::optional<PrinterNotifyInfo> info;
  EXPECT_EQ(spooler.FindNextPrinterChangeNotification(remote, changeWord, nullptr, info), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_FALSE(WaitSignalled(spooler, local, 0));
}

// One nobody watches is watched all the same, as the CUPS watch does: from
// nothing, its outage told, and what it has when it answers all news; what
// ended meanwhile is in its history. Given up, a later watch is another
// outage.
TEST_F(SimulatedSpoolerTest, AServerDownAtItsFirstWatchIsWatchedFromNothingUntilItAnswers) {
  std::vector<SpoolServerNotice> notices;
  spooler.SetServerNoticeHandler([&](const SpoolServerNotice& n) { notices.push_back(n); });
  const std::string quiet = "\\\\QUIET", idle = "\\\\QUIET\\Idle";
  spooler.AddServer(quiet);
  spooler.AddPrinter(Printer(idle));
  PrinterHandle server = 0, printer = 0;
  ASSERT_EQ(spooler.OpenPrinter(quiet, 0, server), ERROR_SUCCESS);
  ASSERT_EQ(spooler.OpenPrinter(idle, 0, printer), ERROR_SUCCESS);
  const uint32_t ended = spooler.SubmitJob(idle, Job("ended"));
  spooler.SetServerReachable(quiet, false, "No route to host");
  EXPECT_TRUE(notices.empty());
  const uint32_t filter =
      PRINTER_CHANGE_ADD_PRINTER | PRINTER_CHANGE_DELETE_PRINTER | PRINTER_CHANGE_ADD_JOB | PRINTER_CHANGE_DELETE_JOB;
  ChangeHandle serverWatch = 0, printerWatch = 0;
  ASSERT_EQ(spooler.FindFirstPrinterChangeNotification(server, filter, nullptr, serverWatch), ERROR_SUCCESS);
  ASSERT_EQ(spooler.FindFirstPrinterChangeNotification(printer, PRINTER_CHANGE_DELETE_JOB, &options, printerWatch),
            ERROR_SUCCESS);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].Condition, SpoolServerCondition::Unreachable);
  EXPECT_EQ(notices[0].Text, "No route to host");
  spooler.PrintJob(idle, ended);
  spooler.RemoveJob(idle, ended);
  const uint32_t waiting = spooler.SubmitJob(idle, Job("waiting"));
  EXPECT_FALSE(WaitSignalled(spooler, serverWatch, 0));
  EXPECT_FALSE(WaitSignalled(spooler, printerWatch, 0));

  spooler.SetServerReachable(quiet, true);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[1].Condition, SpoolServerCondition::Reachable);
  ASSERT_TRUE(WaitSignalled(spooler, serverWatch, 0));
  uint32_t changeWord = 0;
  std::optional<PrinterNotifyInfo> info;
  ASSERT_EQ(spooler.FindNextPrinterChangeNotification(serverWatch, changeWord, nullptr, info), ERROR_SUCCESS);
  EXPECT_EQ(changeWord, uint32_t(PRINTER_CHANGE_ADD_PRINTER | PRINTER_CHANGE_ADD_JOB));
  TNotifyCollector collector(spooler, printerWatch);
  ASSERT_TRUE(collector.Until([&] { return collector.Jobs.count(waiting) != 0; }, 1000)) << collector.LastError();
  EXPECT_EQ(collector.Jobs[waiting].Text(JOB_NOTIFY_FIELD_DOCUMENT), "waiting");
  EXPECT_EQ(collector.Jobs.count(ended), 0u);
  std::vector<JobInfo2> history;
  ASSERT_EQ(spooler.EnumJobHistory(printer, history), ERROR_SUCCESS);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].JobId, ended);

  spooler.SetServerReachable(quiet, false);
  spooler.GiveUpServer(quiet);
  ASSERT_EQ(notices.size(), 4u);
  // Given up, it stays so until it answers: a late watch is refused.
  ChangeHandle later = 0;
  EXPECT_EQ(spooler.FindFirstPrinterChangeNotification(server, filter, nullptr, later), RPC_S_SERVER_UNAVAILABLE);
  ASSERT_EQ(notices.size(), 4u);
  spooler.SetServerReachable(quiet, true);
  EXPECT_EQ(spooler.FindFirstPrinterChangeNotification(server, filter, nullptr, later), ERROR_SUCCESS);
}

TEST_F(SimulatedSpoolerTest, InjectedFailuresAreCountedCalls) {
  spooler.FailCall(SpoolCall::EnumPrinters, ERROR_INSUFFICIENT_BUFFER, 2);
  std::vector<PrinterInfo2> printers;
  EXPECT_EQ(spooler.EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(spooler.EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(spooler.EnumPrinters(PRINTER_ENUM_LOCAL, "", printers), ERROR_SUCCESS);
  EXPECT_EQ(printers.size(), 2u);
  EXPECT_EQ(spooler.CallCount(SpoolCall::EnumPrinters), 3u);

  spooler.FailCall(SpoolCall::OpenPrinter, ERROR_ACCESS_DENIED);
  PrinterHandle handle = 0;
  EXPECT_EQ(spooler.OpenPrinter(Laser, 0, handle), ERROR_ACCESS_DENIED);
  EXPECT_EQ(spooler.OpenPrinter(Laser, 0, handle), ERROR_SUCCESS);
  EXPECT_EQ(spooler.CallCount(SpoolCall::OpenPrinter), 2u);
  EXPECT_EQ(spooler.CallCount(SpoolCall::GetPrinter), 0u);
}

TEST_F(SimulatedSpoolerTest, DefaultPrinter) {
  std::string name;
  EXPECT_EQ(spooler.GetDefaultPrinter(name), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(spooler.SetDefaultPrinter("\\\\LOCAL\\Missing"), ERROR_INVALID_PRINTER_NAME);
  EXPECT_EQ(spooler.SetDefaultPrinter("\\\\local\\laser"), ERROR_SUCCESS);
  EXPECT_EQ(spooler.GetDefaultPrinter(name), ERROR_SUCCESS);
  EXPECT_EQ(name, Laser);
}

TEST_F(SimulatedSpoolerTest, JobsFromAnotherThreadAllArrive) {
  const ChangeHandle change = Watch(Laser, PRINTER_CHANGE_DELETE_JOB, &options);
  constexpr int count = 200;
  std::thread producer([&] {
    for (int i = 0; i < count; ++i) {
      const uint32_t id = spooler.SubmitJob(Laser, Job("doc" + std::to_string(i)));
      spooler.PrintJob(Laser, id);
      spooler.RemoveJob(Laser, id);
    }
  });
  TNotifyCollector collector(spooler, change);
  const bool allSeen = collector.Until(
      [&] {
        int done = 0;
        for (const auto& [id, job] : collector.Jobs) done += (job.Status() & JOB_STATUS_DELETED) != 0;
        return done == count;
      },
      20000);
  producer.join();
  EXPECT_TRUE(allSeen);
  ASSERT_EQ(collector.Jobs.size(), static_cast<size_t>(count));
  EXPECT_EQ(collector.Jobs.at(1).Text(JOB_NOTIFY_FIELD_DOCUMENT), "doc0");
  EXPECT_EQ(collector.Jobs.at(count).Status(), JOB_STATUS_PRINTED | JOB_STATUS_DELETED);
}

}  // namespace
