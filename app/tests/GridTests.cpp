// The jobs grid and its navigator over a table longer than the grid.

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTabWidget>
#include <QToolButton>
#include <set>

#include "MainJobs.h"
#include "appJobsTable.h"
#include "appTestSupport.h"
#include "splConstants.h"
#include "uiDBGrid.h"
#include "uiDBNavigator.h"

namespace {

constexpr int Jobs = 30;

std::string GridText(TDBGrid& grid, int row, int column) {
  QTableWidgetItem* cell = grid.item(row, column);
  return cell ? cell->text().toStdString() : std::string();
}

}  // namespace

TEST_F(AppTest, TheGridShowsAWindowThatFollowsTheActiveRecordAndTheNavigatorMovesIt) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  StartForm({laser});
  std::set<std::string> documents;
  for (int i = 0; i < Jobs; ++i) {
    JobInfo2 job;
    job.Document = "doc " + std::to_string(100 + i);
    job.UserName = "anna";
    job.Submitted = {2026, 12, 1, 7, 9, 30, 0, 0};
    const uint32_t id = spooler->SubmitJob(laser, job);
    spooler->PrintJob(laser, id);
    spooler->RemoveJob(laser, id);
    documents.insert(job.Document);
  }
  ASSERT_TRUE(PumpUntil([&] { return JobsRowCount() == Jobs; }));

  TDBGrid& grid = *form->JobsPage->DBGrid1;
  TDBNavigator& navigator = *form->JobsPage->DBNavigator1;
  form->show();
  form->pages->setCurrentIndex(1);
  PumpUntil([&] { return grid.rowCount() > 1; }, 2000);
  navigator.First->click();
  ASSERT_GT(grid.rowCount(), 1);
  ASSERT_LT(grid.rowCount(), Jobs) << "the grid shows a window of the table";
  EXPECT_EQ(grid.currentRow(), 0);
  EXPECT_FALSE(navigator.First->isEnabled());
  EXPECT_FALSE(navigator.Prior->isEnabled());
  EXPECT_TRUE(navigator.Next->isEnabled());
  for (int row = 0; row < grid.rowCount(); ++row) EXPECT_EQ(documents.count(GridText(grid, row, 11)), 1u);

  navigator.Next->click();
  EXPECT_EQ(grid.currentRow(), 1);
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QCoreApplication::sendEvent(&grid, &down);
  EXPECT_EQ(grid.currentRow(), 2);

  // The last record at the window's end; every record seen once on the way.
  navigator.First->click();
  std::set<std::string> seen;
  for (int i = 0; i < Jobs; ++i) {
    seen.insert(GridText(grid, grid.currentRow(), 11));
    navigator.Next->click();
  }
  EXPECT_EQ(seen, documents);
  EXPECT_EQ(grid.currentRow(), grid.rowCount() - 1);
  EXPECT_FALSE(navigator.Next->isEnabled());
  EXPECT_FALSE(navigator.Last->isEnabled());
  EXPECT_TRUE(navigator.Prior->isEnabled());
}
