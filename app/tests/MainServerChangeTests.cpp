// A server's printer list changes under running watches: printers added,
// deleted, or all read again (F5). The watches of printers that stay keep
// running, so no job of theirs goes unseen.

#include <algorithm>

#include "AppMonitor.h"
#include "VirtualStringTree.h"
#include "appJobsTable.h"
#include "appTestSupport.h"
#include "splConstants.h"

namespace {

// Whether a listed watch of printer exists and, when busy is given, whether
// its model holds jobs.
bool Watching(const std::string& printer, const bool* busy = nullptr) {
  bool found = false;
  WithPrinterThread(printer, [&](TThreadJobs& jobs) { found = !busy || jobs.HasJobs() == *busy; });
  return found;
}

uint64_t Opens(const TSimulatedSpooler& spooler) { return spooler.CallCount(SpoolCall::OpenPrinter); }

}  // namespace

TEST_F(AppTest, APrinterAddedToAServerKeepsTheOtherWatchesAndEveryJobOfThemIsRecordedOnce) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  StartForm({laser});
  PVirtualNode laserNode = form->FindPrinterNode(laser);
  const uint64_t opens = Opens(*spooler);
  const uint32_t inFlight = spooler->SubmitJob(laser, SpoolingJob("in-flight"));
  const bool busy = true;
  ASSERT_TRUE(PumpUntil([&] { return Watching(laser, &busy); }));

  const std::string added = AddPrinter(Local, UniqueQueue("Added"));
  FinishJob(*spooler, laser, spooler->SubmitJob(laser, SpoolingJob("right-after")));
  FinishJob(*spooler, laser, inFlight);
  ASSERT_TRUE(PumpUntil([&] { return form->FindPrinterNode(added) != nullptr; }));
  WaitWatched(added);
  ASSERT_TRUE(PumpUntil([&] { return JobsRowCount() == 2; }));

  std::vector<std::string> written = JobsColumn("Doc");
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"in-flight", "right-after"}));
  // Only the new printer was opened: the laser's watch never restarted.
  EXPECT_EQ(Opens(*spooler), opens + 1);
  EXPECT_EQ(form->FindPrinterNode(laser), laserNode);
  EXPECT_EQ(ChildTexts(form->FindServerNode(Local)).size(), 2u);
}

TEST_F(AppTest, APrinterDeletedFromAServerLosesItsNodeAndWatchWhileTheOthersKeepTheirs) {
  const std::string gone = AddPrinter(Local, UniqueQueue("Gone"));
  const std::string kept = AddPrinter(Local, UniqueQueue("Kept"));
  StartForm({gone, kept});
  PVirtualNode keptNode = form->FindPrinterNode(kept);
  const uint64_t opens = Opens(*spooler);

  spooler->DeletePrinter(gone);
  ASSERT_TRUE(PumpUntil([&] { return !form->FindPrinterNode(gone) && !Watching(gone); }));
  EXPECT_EQ(form->FindPrinterNode(kept), keptNode);
  EXPECT_TRUE(Watching(kept));
  EXPECT_EQ(Opens(*spooler), opens);
  ASSERT_TRUE(PumpUntil([] { return PrinterThreadCount() == 1; }));

  // The kept watch still records.
  FinishJob(*spooler, kept, spooler->SubmitJob(kept, SpoolingJob("after-delete")));
  ASSERT_TRUE(PumpUntil([&] { return JobsRowCount() == 1; }));
  EXPECT_EQ(JobsColumn("Doc"), std::vector<std::string>{"after-delete"});
}

TEST_F(AppTest, RefreshKeepsTheWatchesButReadsEveryQueueAgainAndShowsThePrintersNewAttributes) {
  const std::string first = AddPrinter(Local, UniqueQueue("Ink"));
  const std::string second = AddPrinter(Local, UniqueQueue("Ink"));
  StartForm({first, second});
  PVirtualNode firstNode = form->FindPrinterNode(first);
  const int remoteImage = ImageOf(firstNode);
  const uint64_t opens = Opens(*spooler);
  const uint64_t reads = spooler->CallCount(SpoolCall::EnumJobs);

  PrinterInfo2 changed;
  changed.PrinterName = first;
  changed.PortName = "LPT2:";
  changed.DriverName = "Wide Driver";
  changed.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  spooler->UpdatePrinter(changed);
  form->SettingsChanged();

  ASSERT_TRUE(PumpUntil([&] { return spooler->CallCount(SpoolCall::EnumJobs) >= reads + 2; }));
  auto text = [&] { return form->Tree->GetText(firstNode, form->Tree->Header().MainColumn()); };
  // Local now: shown by its queue name, no longer by its full remote name.
  ASSERT_TRUE(PumpUntil([&] { return text() == first.substr(Local.size() + 1); }));
  EXPECT_EQ(form->FindPrinterNode(first), firstNode);
  EXPECT_NE(ImageOf(firstNode), remoteImage);
  EXPECT_EQ(Opens(*spooler), opens);
  EXPECT_TRUE(Watching(first));
  EXPECT_TRUE(Watching(second));
}

// A server's printers show each printer's count and state as its watch has
// them, row by row, without the server's list being read again; a list
// shown anew takes them from the watches too.
TEST_F(AppTest, TheServersPrinterRowsFollowTheirQueuesWithoutReadingTheListAgain) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  const std::string ink = AddPrinter(Local, UniqueQueue("Ink"));
  StartForm({laser, ink});
  Focus(form->FindServerNode(Local));
  ASSERT_EQ(form->ListView(), TListView::Printers);
  const auto rowOf = [&](const std::string& printer) {
    for (int row = 0; row < static_cast<int>(ListRowCount()); ++row)
      if (ListText(row, 0).rfind(printer.substr(Local.size() + 1), 0) == 0) return row;
    return -1;
  };
  ASSERT_GE(rowOf(laser), 0);
  ASSERT_GE(rowOf(ink), 0);
  // The server's thread reads its list once as it starts, which may come
  // after its printers show. It answers a refresh only in its watch wait,
  // after that read, and reads the list then: counted from the refresh's
  // end on.
  const uint64_t reads = spooler->CallCount(SpoolCall::EnumJobs);
  form->SettingsChanged();
  ASSERT_TRUE(PumpUntil([&] { return spooler->CallCount(SpoolCall::EnumJobs) >= reads + 2; }));
  const uint64_t lists = spooler->CallCount(SpoolCall::EnumPrinters);
  uint32_t first = 0, second = 0;
  struct Step {
    const char* what;
    std::function<void()> act;
    const char* laserJobs;
    uint32_t laserStatus;
  };
  const Step steps[] = {
      {"a job arrives", [&] { first = spooler->SubmitJob(laser, SpoolingJob("one.pdf")); }, "1", 0},
      {"another", [&] { second = spooler->SubmitJob(laser, SpoolingJob("two.pdf")); }, "2", 0},
      {"the printer pauses", [&] { spooler->SetPrinterStatus(laser, PRINTER_STATUS_PAUSED); }, "2",
       PRINTER_STATUS_PAUSED},
      {"one ends", [&] { FinishJob(*spooler, laser, first); }, "1", PRINTER_STATUS_PAUSED},
      {"shown anew", [&] {
         Focus(form->FindPrinterNode(ink));
         Focus(form->FindServerNode(Local));
       }, "1", PRINTER_STATUS_PAUSED},
      {"the other ends, the printer goes on", [&] {
         FinishJob(*spooler, laser, second);
         spooler->SetPrinterStatus(laser, 0);
       }, "0", 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    const std::string status = PrinterStatusText(0, step.laserStatus);
    EXPECT_TRUE(PumpUntil([&] {
      const int row = rowOf(laser);
      return row >= 0 && ListText(row, 1) == step.laserJobs && ListText(row, 2) == status;
    })) << ListText(rowOf(laser), 1) << " / " << ListText(rowOf(laser), 2);
    EXPECT_EQ(ListText(rowOf(ink), 1), "0");
  }
  EXPECT_EQ(spooler->CallCount(SpoolCall::EnumPrinters), lists);
}
