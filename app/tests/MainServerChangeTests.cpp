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
