// The main window's three pages with content, saved as images for a person
// to look at (under Xvfb they are what a desktop shows); the texts are
// checked through the widgets, not the pixels.

#include <QDir>
#include <QTabWidget>
#include <QTreeWidget>

#include "AppMonitor.h"
#include "appJobsTable.h"
#include "appTestSupport.h"
#include "splConstants.h"

namespace {

JobInfo2 Job(const std::string& document, const std::string& owner) {
  JobInfo2 job;
  job.Document = document;
  job.UserName = owner;
  job.Status = JOB_STATUS_PRINTING;
  job.TotalPages = 4;
  job.Size = 52000;
  job.Submitted = {2026, 12, 1, 7, 9, 30, 0, 0};
  return job;
}

void Save(QWidget& window, const char* name) {
  QDir().mkpath("artefacts");
  EXPECT_TRUE(window.grab().save(QString("artefacts/%1.png").arg(name)));
}

}  // namespace

TEST_F(AppTest, ScreenshotsOfThePrintersJobsAndAlertsPagesShowTheirTexts) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  const std::string ink = AddPrinter(Local, UniqueQueue("Ink"));
  spooler->AddServer("\\\\FINANCE");
  const std::string far = AddPrinter("\\\\FINANCE", UniqueQueue("Ledger"));
  StartForm({laser, ink});
  typedServer = "\\\\FINANCE";
  form->AddServer1Click();
  ASSERT_TRUE(PumpUntil([&] { return form->FindPrinterNode(far) != nullptr; }));
  WaitWatched(far);

  // Two finished jobs for the jobs page, two live ones on the laser.
  for (const char* document : {"minutes.odt", "invoice 4711.pdf"}) {
    const uint32_t id = spooler->SubmitJob(ink, Job(document, "berta"));
    spooler->PrintJob(ink, id);
    spooler->RemoveJob(ink, id);
  }
  ASSERT_TRUE(PumpUntil([&] { return JobsRowCount() == 2; }));
  Focus(form->FindPrinterNode(laser));
  spooler->SubmitJob(laser, Job("quarterly report.pdf", "anna"));
  spooler->SubmitJob(laser, Job("poster.png", "carl"));
  ASSERT_TRUE(PumpUntil([&] { return ListRowCount() == 2; }));
  GetAlerter()->Add(std::make_unique<EAlertWarning>("Printer Ledger is out of paper"));

  form->show();
  form->resize(900, 420);
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(ChildTexts(nullptr), (std::vector<std::string>{Local, "\\\\FINANCE"}));
  EXPECT_EQ(ListText(0, 0), "quarterly report.pdf");
  EXPECT_EQ(ListText(1, 2), "carl");
  Save(*form, "app-printers");

  form->pages->setCurrentIndex(1);
  PumpUntil([] { return false; }, 200);
  const std::vector<std::string> documents = JobsColumn("Doc");
  EXPECT_EQ(documents, (std::vector<std::string>{"minutes.odt", "invoice 4711.pdf"}));
  Save(*form, "app-jobs");

  form->pages->setCurrentIndex(2);
  ASSERT_TRUE(PumpUntil([&] {
    const int rows = form->lvAlerts->topLevelItemCount();
    return rows > 0 && form->lvAlerts->topLevelItem(rows - 1)->text(2).contains("out of paper");
  }));
  Save(*form, "app-alerts");
}
