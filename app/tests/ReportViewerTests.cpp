#include <QCoreApplication>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QLineEdit>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>
#include <cups/cups.h>
#include <cstdio>

#include "ReportOptions.h"
#include "ReportViewer.h"
#include "appReportJobs.h"
#include "appTestSupport.h"
#include "ppForms.h"
#include "ppPrinterInfo.h"
#include "ppPrinterSetup.h"
#include "ppReport.h"
#include "ppViewer.h"
#include "rtlStringList.h"
#include "splPrivateCupsd.h"

namespace {

// Pages of a PDF as pdfinfo counts them; -1 when it cannot tell.
int PdfPageCount(const std::string& file) {
  FILE* pipe = popen(("pdfinfo '" + file + "' 2>/dev/null").c_str(), "r");
  if (!pipe) return -1;
  char line[512];
  int pages = -1;
  while (fgets(line, sizeof line, pipe)) std::sscanf(line, "Pages: %d", &pages);
  pclose(pipe);
  return pages;
}

class ReportViewerTest : public AppTest {
protected:
  TScopedEnv language{"LANG", "en_US.UTF-8"};
  std::unique_ptr<TReportViewer> viewer;
  TppDialogRunner savedRunner;

  void SetUp() override {
    AppTest::SetUp();
    std::vector<TKnownJob> jobs;
    for (int i = 0; i < 60; ++i)
      jobs.push_back({i % 2 ? "anna" : "bert", "\\\\HOST\\Laser", 2026, 2, 1 + i % 28, true,
                      static_cast<uint32_t>(i + 1), static_cast<uint32_t>(i * 50000)});
    WriteKnownJobs(jobs);
    StartForm({});
    // The print and cancel dialogs take their affirmative answers.
    savedRunner = ppSetDialogRunner([](TppDialogRequest&) { return drOK; });
  }
  void TearDown() override {
    viewer.reset();
    ppSetDialogRunner(savedRunner);
    AppTest::TearDown();
  }

  void Open(int report) {
    TReportChoice choice;
    choice.Report = report;
    auto parameters = std::make_unique<TStringList>();
    BuildReportParameters(choice, EncodeDate(2026, 3, 1), ReportFormatSettings(), *parameters);
    viewer = std::make_unique<TReportViewer>(nullptr, std::move(parameters));
    viewer->show();
    viewer->Prepare();
    viewer->OpenQuery();
    viewer->Setup();
  }

  std::string PageBox() { return viewer->mskPreviewPage->text().trimmed().toStdString(); }
  std::string ZoomBox() { return viewer->mskPreviewPercentage->text().remove('%').trimmed().toStdString(); }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(viewer.get(), &press);
  }

  std::string AlertTexts() {
    std::string texts;
    for (int i = 0; i < form->lvAlerts->topLevelItemCount(); ++i)
      texts += form->lvAlerts->topLevelItem(i)->text(2).toStdString() + "\n";
    return texts;
  }
};

}  // namespace

TEST_F(ReportViewerTest, ThePreviewShowsThePagesAndItsButtonsKeysAndBoxesMoveAndZoom) {
  Open(0);
  ASSERT_TRUE(PumpUntil([&] { return PageBox() == "1"; })) << PageBox();
  EXPECT_EQ(viewer->windowTitle().toStdString(), "Orvelle - Report [Usage Details]");
  EXPECT_TRUE(viewer->spbPreviewWhole->isChecked());
  EXPECT_EQ(ZoomBox(), std::to_string(viewer->ppViewer1->CalculatedZoom()));
  EXPECT_EQ(viewer->spbPreviewClose->text().toStdString(), "&Close");

  viewer->spbPreviewLast->click();
  ASSERT_TRUE(PumpUntil([&] { return PageBox() != "1"; }));
  const std::string last = PageBox();
  EXPECT_GT(std::stoi(last), 2);
  viewer->spbPreviewFirst->click();
  EXPECT_TRUE(PumpUntil([&] { return PageBox() == "1"; }));
  viewer->spbPreviewNext->click();
  EXPECT_TRUE(PumpUntil([&] { return PageBox() == "2"; }));
  viewer->spbPreviewPrior->click();
  EXPECT_TRUE(PumpUntil([&] { return PageBox() == "1"; }));

  struct TKeyCase {
    int Key;
    std::string Page;
  } keys[] = {{Qt::Key_End, last}, {Qt::Key_Home, "1"}, {Qt::Key_PageDown, "2"}, {Qt::Key_PageUp, "1"}};
  for (const TKeyCase& k : keys) {
    Key(k.Key, Qt::ControlModifier);
    EXPECT_TRUE(PumpUntil([&] { return PageBox() == k.Page; })) << k.Key << ": " << PageBox();
  }
  viewer->mskPreviewPage->setText("2");
  QMetaObject::invokeMethod(viewer->mskPreviewPage, "returnPressed");
  EXPECT_TRUE(PumpUntil([&] { return PageBox() == "2"; }));

  viewer->spbPreview100Percent->click();
  EXPECT_EQ(ZoomBox(), "100");
  EXPECT_TRUE(viewer->spbPreview100Percent->isChecked());
  EXPECT_FALSE(viewer->spbPreviewWhole->isChecked());
  // Without Ctrl the keys scroll the page at 100 per cent.
  QScrollBar* vertical = viewer->ppViewer1->ScrollBox()->verticalScrollBar();
  ASSERT_GT(vertical->maximum(), 0);
  Key(Qt::Key_Down);
  EXPECT_GT(vertical->value(), 0);
  Key(Qt::Key_Up);
  EXPECT_EQ(vertical->value(), 0);

  viewer->mskPreviewPercentage->setText("150");
  QMetaObject::invokeMethod(viewer->mskPreviewPercentage, "returnPressed");
  EXPECT_EQ(ZoomBox(), "150");
  EXPECT_EQ(viewer->ppViewer1->ZoomPercentage(), 150);
  for (QToolButton* zoom : {viewer->spbPreviewWhole, viewer->spbPreviewWidth, viewer->spbPreview100Percent})
    EXPECT_FALSE(zoom->isChecked());
  viewer->mskPreviewPercentage->setText("");
  QMetaObject::invokeMethod(viewer->mskPreviewPercentage, "returnPressed");
  EXPECT_EQ(viewer->ppViewer1->ZoomPercentage(), 100) << "no number is 100 per cent";
}

TEST_F(ReportViewerTest, PrintingGoesToTheQueueWholeAndAFailureIsAnAlert) {
  TPrivateCupsd cupsd;
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_TRUE(cupsd.AddQueue("Reports"));
  cupsSetServer(cupsd.Socket().c_str());
  ppSetPrinterSource(ppCupsPrinterSource());

  Open(1);
  ASSERT_TRUE(PumpUntil([&] { return PageBox() == "1"; }));
  viewer->spbPreviewLast->click();
  ASSERT_TRUE(PumpUntil([&] { return PageBox() != "1"; }));
  const int pages = std::stoi(PageBox());
  viewer->Report().PrinterSetup()->SetPrinterName("Reports");
  std::vector<std::string> closeCaptions;
  auto stateChange = viewer->ppViewer1->OnPrintStateChange;
  viewer->ppViewer1->OnPrintStateChange = [&](TppViewer* sender) {
    stateChange(sender);
    closeCaptions.push_back(viewer->spbPreviewClose->text().toStdString());
  };
  viewer->spbPreviewPrint->click();
  EXPECT_EQ(closeCaptions, std::vector<std::string>({"&Cancel", "&Close"}));
  EXPECT_TRUE(viewer->mskPreviewPage->isEnabled());

  // The scheduler keeps the document of its first job: the whole report.
  const std::string printed = cupsd.Folder() + "/spool/d00001-001";
  EXPECT_TRUE(PumpUntil([&] { return PdfPageCount(printed) == pages; }, 30000)) << PdfPageCount(printed);

  // A print server that is gone: the job fails, and says so.
  cupsd.Stop();
  const size_t before = AlertTexts().size();
  viewer->spbPreviewPrint->click();
  EXPECT_TRUE(PumpUntil([&] { return AlertTexts().size() > before; }, 5000)) << AlertTexts();
  EXPECT_EQ(viewer->spbPreviewClose->text().toStdString(), "&Close");
  cupsSetServer(nullptr);
  ppSetPrinterSource(nullptr);
}
