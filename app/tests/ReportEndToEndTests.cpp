// Jobs printed with lp on a private cupsd are recorded by the running
// windows, each of the five reports over them is previewed (its first page
// saved as a picture for a person to look at) and one is printed to a queue
// of the same server.

#include <QDir>
#include <QPointer>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <cups/cups.h>
#include <cstdio>
#include <dirent.h>

#include "MDBQuery.h"
#include "ReportOptions.h"
#include "ReportQuery.h"
#include "ReportViewer.h"
#include "appJobsTable.h"
#include "appTestSupport.h"
#include "ppForms.h"
#include "ppPrinterInfo.h"
#include "ppPrinterSetup.h"
#include "ppReport.h"
#include "ppViewer.h"
#include "rtlStringList.h"
#include "splCupsSpooler.h"
#include "splPrivateCupsd.h"

namespace {

int PdfPages(const std::string& file) {
  FILE* pipe = popen(("pdfinfo '" + file + "' 2>/dev/null").c_str(), "r");
  if (!pipe) return -1;
  char line[512];
  int pages = -1;
  while (fgets(line, sizeof line, pipe)) std::sscanf(line, "Pages: %d", &pages);
  pclose(pipe);
  return pages;
}

// The document of the scheduler's newest job in its spool folder.
std::string NewestDocument(const std::string& spool) {
  std::string newest;
  if (DIR* dir = opendir(spool.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() == 10 && name[0] == 'd' && name.substr(6) == "-001" && name > newest) newest = name;
    }
    closedir(dir);
  }
  return newest.empty() ? std::string() : spool + "/" + newest;
}

class ReportEndToEnd : public AppTest {
protected:
  TScopedEnv language{"LANG", "en_US.UTF-8"};
  TPrivateCupsd cupsd;
  TppDialogRunner savedRunner;

  void TearDown() override {
    SetReportOptionsRunner(nullptr);
    ppSetDialogRunner(savedRunner);
    CloseForm();
    cupsSetServer(nullptr);
    ppSetPrinterSource(nullptr);
    AppTest::TearDown();
  }
};

}  // namespace

TEST_F(ReportEndToEnd, JobsPrintedWithLpAreRecordedPreviewedInEveryLayoutAndPrinted) {
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_TRUE(cupsd.AddQueue("front", "Room 1", "By the door"));
  ASSERT_TRUE(cupsd.AddQueue("Reports", "Office", "Report printer"));
  SetCurrentSpooler(std::make_shared<TCupsSpooler>(cupsd.Config(Local)));
  cupsSetServer(cupsd.Socket().c_str());
  ppSetPrinterSource(ppCupsPrinterSource());
  savedRunner = ppSetDialogRunner([](TppDialogRequest&) { return drOK; });

  const std::string front = Local + "\\front";
  StartFormOnly();
  ASSERT_TRUE(PumpUntil([&] { return form->FindPrinterNode(front) != nullptr; }));

  constexpr int jobCount = 30;
  for (int i = 0; i < jobCount; ++i) {
    const std::string file = cupsd.WriteFile("job" + std::to_string(i), static_cast<size_t>(1000 + i * 9000));
    ASSERT_GT(cupsd.Submit("front", file, "Minutes " + std::to_string(i + 1) + ".pdf"), 0u);
  }
  ASSERT_TRUE(PumpUntil([] { return JobsRowCount() == jobCount; }, 60000)) << JobsRowCount();

  QDir().mkpath("artefacts");
  QPointer<TReportViewer> printedViewer;
  for (int report = 0; report < ReportLayoutCount; ++report) {
    SCOPED_TRACE(ReportLayouts[report].DisplayName);
    SetReportOptionsRunner([report](TReportOptions& options) {
      options.ListBox1->setCurrentRow(report);
      return QDialog::Accepted;
    });
    const TReportViewer* previous = printedViewer;
    form->btnPreviewClick();
    TReportViewer* viewer = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
      viewer = LastReportViewer();
      return viewer && viewer != previous && !viewer->QueryRunning() && viewer->mskPreviewPage->text().trimmed() == "1";
    }));
    EXPECT_EQ(viewer->Query().RecordCount(), jobCount);
    viewer->resize(820, 1000);
    viewer->ppViewer1->Refresh();
    PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(viewer->grab().save(QString("artefacts/report-%1.png").arg(ReportLayouts[report].ResourceName)));
    if (report == 1) {
      printedViewer = viewer;
      continue;
    }
    // Gone before the next request: a new window may take its address.
    QPointer<TReportViewer> closing = viewer;
    viewer->close();
    ASSERT_TRUE(PumpUntil([&] { return closing.isNull(); }));
  }

  // "Details By User" to the report queue: its document holds every page.
  ASSERT_TRUE(printedViewer);
  printedViewer->spbPreviewLast->click();
  // Thirty jobs of one owner take two pages.
  ASSERT_TRUE(PumpUntil([&] { return printedViewer->mskPreviewPage->text().trimmed() == "2"; }));
  const int pages = printedViewer->mskPreviewPage->text().trimmed().toInt();
  printedViewer->Report().PrinterSetup()->SetPrinterName("Reports");
  printedViewer->spbPreviewPrint->click();
  const std::string spool = cupsd.Folder() + "/spool";
  std::string document;
  EXPECT_TRUE(PumpUntil(
      [&] {
        document = NewestDocument(spool);
        return !document.empty() && PdfPages(document) == pages;
      },
      30000))
      << document << ": " << PdfPages(document) << " of " << pages;
  printedViewer->close();
}
