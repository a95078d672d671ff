#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <chrono>
#include <filesystem>
#include <thread>

#include "AppDatabase.h"
#include "MainJobs.h"
#include "MonitorCommon.h"
#include "VirtualStringTree.h"
#include "appJobsTable.h"
#include "appTestSupport.h"
#include "splConstants.h"
#include "uiDBGrid.h"

namespace {

class AppStartTest : public AppTest {
protected:
  AppStartTest() { withDatabase = false; }
};

}  // namespace

TEST_F(AppStartTest, StartUpCreatesTheJobsTableOnlyAfterAskingAndOpensItLater) {
  answer = mrNo;
  EXPECT_FALSE(CheckJobsDatabase(AlertJobsDatabase));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].Text, "Database not found. Do wish to create new database?");
  EXPECT_EQ(asked[0].Caption, "Please Confirm");
  EXPECT_FALSE(std::filesystem::exists(DataPath + "/JOBS.DAT"));

  answer = mrYes;
  EXPECT_TRUE(CheckJobsDatabase(AlertJobsDatabase));
  EXPECT_TRUE(std::filesystem::exists(DataPath + "/JOBS.DAT"));
  asked.clear();
  EXPECT_TRUE(CheckJobsDatabase(AlertJobsDatabase));
  EXPECT_TRUE(asked.empty()) << "an existing table is opened without a question";
  CreateDataModule();
  EXPECT_EQ(JobsRowCount(), 0);
}

TEST_F(AppTest, APrintedJobIsLiveThenARowOfTheGridAndTheQueuedCountFollows) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  StartForm({laser});
  Focus(form->FindPrinterNode(laser));
  const uint32_t id = spooler->SubmitJob(laser, SpoolingJob("road.pdf"));
  ASSERT_TRUE(PumpUntil([&] { return ListRowCount() == 1; }));
  EXPECT_EQ(ListText(0, 0), "road.pdf");

  FinishJob(*spooler, laser, id);
  ASSERT_TRUE(PumpUntil([&] { return JobsRowCount() == 1; }));
  ASSERT_TRUE(PumpUntil([&] { return ListRowCount() == 0; }));
  TDBGrid* grid = form->JobsPage->DBGrid1;
  ASSERT_TRUE(PumpUntil([&] { return grid->rowCount() == 1; }));
  EXPECT_EQ(grid->item(0, 4)->text().toStdString(), laser);
  EXPECT_EQ(grid->item(0, 11)->text().toStdString(), "road.pdf");
  EXPECT_EQ(grid->item(0, 5)->text().toStdString(), "ANNA");
  EXPECT_EQ(form->StatusPanels[0]->text().toStdString(), "Queued: 0");
}

TEST_F(AppTest, TheSortChoosesTheIndexAndItsBoldTitleAndEmptyingAsksFirst) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  StartForm({laser});
  QComboBox* sort = form->JobsPage->ComboBox1;
  ASSERT_EQ(sort->count(), 4);
  EXPECT_EQ(sort->itemText(0).toStdString(), "ByDate");
  EXPECT_EQ(form->JobsPage->IndexName(), "ByDate");
  TDBGrid* grid = form->JobsPage->DBGrid1;
  EXPECT_TRUE(grid->horizontalHeaderItem(0)->font().bold());
  sort->setCurrentText("ByOwner");
  EXPECT_EQ(form->JobsPage->IndexName(), "ByOwner");
  EXPECT_FALSE(grid->horizontalHeaderItem(0)->font().bold());
  EXPECT_TRUE(grid->horizontalHeaderItem(5)->font().bold());

  FinishJob(*spooler, laser, spooler->SubmitJob(laser, SpoolingJob("one")));
  ASSERT_TRUE(PumpUntil([&] { return JobsRowCount() == 1; }));
  answer = mrNo;
  form->JobsPage->btnEmptyClick();
  EXPECT_EQ(JobsRowCount(), 1);
  answer = mrYes;
  form->EmptyDatabase1->trigger();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].Text, "Are you sure you want to delete all records?");
  EXPECT_EQ(JobsRowCount(), 0);
  EXPECT_EQ(grid->rowCount(), 0);
  EXPECT_TRUE(grid->horizontalHeaderItem(5)->font().bold()) << "emptying keeps the sort's bold title";
  form->show();
  form->pages->setCurrentIndex(1);
  QCoreApplication::processEvents();
  EXPECT_GT(grid->verticalHeader()->width(), 0) << "the row column stays when the table is empty";
}

TEST_F(AppTest, ColumnsHoldTheirTitlesAndTypicalValuesInThePlatformsFont) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  StartForm({laser});
  JobInfo2 job = SpoolingJob("report.pdf");
  job.Submitted = {2026, 12, 9, 3, 20, 45, 0, 0};
  FinishJob(*spooler, laser, spooler->SubmitJob(laser, job));
  ASSERT_TRUE(PumpUntil([&] { return JobsRowCount() == 1; }));
  TDBGrid* grid = form->JobsPage->DBGrid1;
  ASSERT_TRUE(PumpUntil([&] { return grid->rowCount() == 1; }));
  QFont bold = grid->font();
  bold.setBold(true);
  for (int column : {0, 1, 2, 6, 7, 8, 9}) {
    SCOPED_TRACE(grid->horizontalHeaderItem(column)->text().toStdString());
    EXPECT_LE(QFontMetrics(bold).horizontalAdvance(grid->horizontalHeaderItem(column)->text()), grid->columnWidth(column));
    EXPECT_LE(grid->fontMetrics().horizontalAdvance(grid->item(0, column)->text()), grid->columnWidth(column));
  }
  EXPECT_EQ(grid->horizontalHeaderItem(2)->textAlignment() & Qt::AlignHorizontal_Mask,
            grid->item(0, 2)->textAlignment() & Qt::AlignHorizontal_Mask)
      << "the ID title sits over its values";

  form->Tree->SetFocusedNode(form->FindPrinterNode(laser));
  const TVirtualTreeColumns& columns = form->TreeList->Header().Columns();
  for (int i = 0; i < columns.Count(); ++i)
    EXPECT_LE(QFontMetrics(bold).horizontalAdvance(QString::fromStdString(columns.Items(i).Text())), columns.Items(i).Width())
        << columns.Items(i).Text();
}

TEST_F(AppTest, ShutdownWithJobsInFlightWritesEveryJobExactlyOnce) {
  std::vector<std::string> printers;
  for (int i = 0; i < 2; ++i) printers.push_back(AddPrinter(Local, UniqueQueue("Busy")));
  StartForm(printers);
  std::vector<std::string> documents;
  for (const std::string& printer : printers) {
    for (int j = 0; j < 4; ++j) {
      const std::string document = printer.substr(printer.rfind('\\') + 1) + "-" + std::to_string(j);
      const uint32_t id = spooler->SubmitJob(printer, SpoolingJob(document));
      documents.push_back(document);
      // Half finish before the end, half are still queued at it.
      if (j % 2 == 0) FinishJob(*spooler, printer, id);
    }
  }
  // The jobs still queued reach the pending list before the end.
  ASSERT_TRUE(PumpUntil([&] { return JobsRowCount() == 4; }));
  ASSERT_TRUE(PumpUntil([&] { return form->TreeRecord(form->FindPrinterNode(printers[1])) != nullptr; }));
  form->ShutdownMonitoring();
  std::vector<std::string> written = JobsColumn("Doc");
  std::sort(written.begin(), written.end());
  std::sort(documents.begin(), documents.end());
  EXPECT_EQ(written, documents);
}

TEST_F(AppTest, AJobHeardOfAsTheEndBeginsIsWrittenAtShutdown) {
  const std::string printer = AddPrinter(Local, UniqueQueue("Late"));
  StartForm({printer});
  // The watch stalls on the pending list over the first job while the
  // second is queued and the end begins: the second job's notice is there,
  // signalled and unfetched, when the watch finds it must end.
  WithPendingListHeld([&] {
    spooler->SubmitJob(printer, SpoolingJob("first"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    spooler->SubmitJob(printer, SpoolingJob("second"));
    SignalEnd();
  });
  form->ShutdownMonitoring();
  std::vector<std::string> written = JobsColumn("Doc");
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"first", "second"}));
}
