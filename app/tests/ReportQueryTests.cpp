#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRadioButton>
#include <QTreeWidget>

#include "MDBQuery.h"
#include "MDBSessionLock.h"
#include "ReportOptions.h"
#include "ReportQuery.h"
#include "ReportViewer.h"
#include "appReportJobs.h"
#include "appTestSupport.h"
#include "rtlStringList.h"

namespace {

class ReportQueryTest : public AppTest {
protected:
  TScopedEnv language{"LANG", "en_US.UTF-8"};

  void SetUp() override {
    AppTest::SetUp();
    WriteKnownJobs({{"anna", "\\\\HOST\\Laser", 2026, 1, 5, true, 3},
                    {"bert", "\\\\HOST\\Ink", 2026, 1, 6, true, 4},
                    {"anna", "\\\\HOST\\Ink", 2026, 1, 7, false, 1}});
    StartForm({});
  }
  void TearDown() override {
    SetReportOptionsRunner(nullptr);
    AppTest::TearDown();
  }

  std::unique_ptr<TStringList> Parameters(int report, bool failedOnly) {
    TReportChoice choice;
    choice.Report = report;
    choice.FailedOnly = failedOnly;
    auto parameters = std::make_unique<TStringList>();
    BuildReportParameters(choice, EncodeDate(2026, 1, 20), ReportFormatSettings(), *parameters);
    return parameters;
  }

  // Waits for the viewer of a request made after previous to finish its
  // setup.
  TReportViewer* Finished(const TReportViewer* previous = nullptr) {
    TReportViewer* viewer = nullptr;
    EXPECT_TRUE(PumpUntil([&] {
      viewer = LastReportViewer();
      return viewer && viewer != previous && !viewer->QueryRunning();
    }));
    return viewer;
  }

  std::string AlertTexts() {
    std::string texts;
    for (int i = 0; i < form->lvAlerts->topLevelItemCount(); ++i)
      texts += form->lvAlerts->topLevelItem(i)->text(2).toStdString() + "\n";
    return texts;
  }
};

}  // namespace

TEST_F(ReportQueryTest, PreviewAndPrintOpensTheChosenQueryInItsThreadAndFillsTheViewer) {
  SetReportOptionsRunner([](TReportOptions& form) {
    form.ListBox1->setCurrentRow(1);
    form.chkFailedOnly->setChecked(true);
    return QDialog::Accepted;
  });
  form->Preview1->trigger();
  TReportViewer* viewer = Finished();
  ASSERT_TRUE(viewer);
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_EQ(viewer->parentWidget(), form.get());
  EXPECT_EQ(viewer->Parameters().Values("ReportTitle"), "Details By User");
  TStringList expected;
  BuildReportSQL(viewer->Parameters(), ReportFormatSettings(), expected);
  EXPECT_EQ(viewer->Query().SQL().Text(), expected.Text());
  ASSERT_TRUE(viewer->Query().Active());
  EXPECT_EQ(viewer->Query().RecordCount(), 1) << "the one failed job";
  viewer->close();
  QPointer<TReportViewer> closed = viewer;
  EXPECT_TRUE(PumpUntil([&] { return closed.isNull(); }));

  // Cancelling the options starts nothing. The closed viewer's thread may
  // still be on its way out, so the count may only fall.
  SetReportOptionsRunner([](TReportOptions&) { return QDialog::Rejected; });
  const int32_t threads = RunningThreadCount();
  form->btnPreviewClick();
  EXPECT_EQ(LastReportViewer(), nullptr);
  EXPECT_LE(RunningThreadCount(), threads);
}

TEST_F(ReportQueryTest, AFailingQueryOrABadDateIsAnAlertAndTheProgramGoesOn) {
  auto parameters = Parameters(0, false);
  parameters->SetValue("QueryOrder", "order by NoSuchColumn");
  StartReportQuery(std::move(parameters));
  TReportViewer* viewer = Finished();
  ASSERT_TRUE(viewer);
  EXPECT_FALSE(viewer->Query().Active());
  EXPECT_TRUE(PumpUntil([&] { return AlertTexts().find("NoSuchColumn") != std::string::npos; })) << AlertTexts();
  SetReportOptionsRunner([](TReportOptions& form) {
    form.PeriodButtons[static_cast<int>(TReportPeriod::CustomRange)]->click();
    form.DateFromEdit->setText("02/30/2026");
    form.DateToEdit->setText("03/01/2026");
    return QDialog::Accepted;
  });
  const size_t before = AlertTexts().size();
  form->btnPreviewClick();
  EXPECT_TRUE(PumpUntil([&] { return AlertTexts().size() > before; }, 3000)) << "the custom date that is no date";

  // The program still runs reports.
  const TReportViewer* failed = viewer;
  StartReportQuery(Parameters(4, false));
  viewer = Finished(failed);
  ASSERT_TRUE(viewer);
  EXPECT_EQ(viewer->Query().RecordCount(), 2);
  EXPECT_EQ(viewer->windowTitle().toStdString(), "Orvelle - Report [Printer Summary]");
}

TEST_F(ReportQueryTest, AViewerClosedWhileItsQueryOpensGoesWhenTheThreadEnds) {
  // The session lock held here keeps the query thread inside its open.
  TMDBSessionLock::Instance().Enter();
  StartReportQuery(Parameters(0, false));
  ASSERT_TRUE(PumpUntil([] { return LastReportViewer() && LastReportViewer()->QueryRunning(); }));
  QPointer<TReportViewer> viewer = LastReportViewer();
  viewer->close();
  for (int i = 0; i < 20; ++i) PumpUntil([] { return false; }, 5);
  EXPECT_FALSE(viewer.isNull()) << "the thread still uses its query";
  EXPECT_FALSE(viewer->isVisible());
  TMDBSessionLock::Instance().Leave();
  EXPECT_TRUE(PumpUntil([&] { return viewer.isNull(); }, 3000)) << (viewer ? viewer->QueryRunning() : -1);
}
