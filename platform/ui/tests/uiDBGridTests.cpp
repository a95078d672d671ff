// The data-aware grid and navigator over a dataset in memory: the grid
// shows a window of records around the active one, every way of moving in
// the grid moves the dataset, and changes of the data reach the cells.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolButton>
#include <QWheelEvent>
#include <memory>

#include "dbTestSupport.h"
#include "uiDBGrid.h"
#include "uiDBNavigator.h"
#include "uiTestSupport.h"

namespace {

constexpr int People = 40;

class DBGridTest : public ::testing::Test {
protected:
  DBGridTest() : people(MakePeople(People)), source(new TDataSource(nullptr)) {
    TestApplication();
    source->SetDataSet(people.get());
    grid.SetColumns({{"ID", "Id", 40, Qt::AlignRight, Qt::AlignRight, true}, {"NAME", "Name", 120}, {"MISSING", "None"}});
    grid.resize(300, 10 * grid.verticalHeader()->defaultSectionSize() + grid.horizontalHeader()->height() + 4);
    grid.show();
    grid.SetDataSource(source.get());
    navigator.SetDataSource(source.get());
  }
  ~DBGridTest() override {
    grid.SetDataSource(nullptr);
    navigator.SetDataSource(nullptr);
  }

  std::string Cell(int row, int column) const {
    const QTableWidgetItem* cell = grid.item(row, column);
    return cell ? cell->text().toStdString() : std::string("<none>");
  }
  int ActiveId() const { return people->FieldByName("ID")->AsInteger(); }
  // The id the grid's current row shows.
  int CurrentRowId() const { return std::stoi(Cell(grid.currentRow(), 0)); }
  void Key(int keyCode, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, keyCode, modifiers);
    QApplication::sendEvent(&grid, &press);
  }

  std::unique_ptr<TMemoryDataSet, TObjectFree> people;
  std::unique_ptr<TDataSource, TObjectFree> source;
  TDBGrid grid;
  TDBNavigator navigator;
};

TEST_F(DBGridTest, TheGridShowsAWindowOfRecordsWithItsColumnsAroundTheActiveRecord) {
  ASSERT_GT(grid.rowCount(), 1);
  ASSERT_LT(grid.rowCount(), People) << "a window, not the whole dataset";
  EXPECT_EQ(grid.horizontalHeaderItem(0)->text().toStdString(), "Id");
  EXPECT_TRUE(grid.horizontalHeaderItem(0)->font().bold());
  EXPECT_FALSE(grid.horizontalHeaderItem(1)->font().bold());
  EXPECT_GE(grid.columnWidth(1), 120) << "a design width is scaled to this platform's wider font, never narrowed";
  for (int row = 0; row < grid.rowCount(); ++row) {
    EXPECT_EQ(Cell(row, 0), std::to_string(row + 1));
    EXPECT_EQ(Cell(row, 1), "Name" + std::to_string(row + 1));
    EXPECT_EQ(Cell(row, 2), "") << "a column naming no field stays empty";
  }
  EXPECT_TRUE(grid.item(0, 0)->textAlignment() & Qt::AlignRight);
  EXPECT_EQ(grid.currentRow(), 0);
  EXPECT_EQ(ActiveId(), 1) << "filling the rows leaves the dataset where it was";

  people->Last();
  EXPECT_EQ(CurrentRowId(), People);
  EXPECT_EQ(Cell(grid.rowCount() - 1, 0), std::to_string(People));
}

TEST_F(DBGridTest, KeysTheWheelAndClicksMoveTheDatasetAndTheCurrentRowFollows) {
  const int window = grid.rowCount();
  Key(Qt::Key_Down);
  EXPECT_EQ(ActiveId(), 2);
  EXPECT_EQ(CurrentRowId(), 2);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(ActiveId(), 2 + window);
  EXPECT_EQ(CurrentRowId(), ActiveId());
  Key(Qt::Key_Up);
  EXPECT_EQ(ActiveId(), 1 + window);
  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(ActiveId(), People);
  Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(ActiveId(), 1);

  QWheelEvent down(QPointF(10, 10), grid.mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(grid.viewport(), &down);
  EXPECT_EQ(ActiveId(), 4) << "a wheel notch moves three records";

  const int row = 2;
  const QRect target = grid.visualItemRect(grid.item(row, 1));
  const std::string clickedId = Cell(row, 0);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(target.center()), grid.viewport()->mapToGlobal(QPointF(target.center())),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(grid.viewport(), &press);
  EXPECT_EQ(std::to_string(ActiveId()), clickedId);
  EXPECT_EQ(grid.currentRow(), row);
}

TEST_F(DBGridTest, ChangesOfTheDataReachTheCellsAndAClosedDatasetEmptiesTheGrid) {
  people->Next();
  people->Edit();
  people->FieldByName("NAME")->SetAsString("Renamed");
  people->Post();
  EXPECT_EQ(Cell(1, 1), "Renamed");
  people->Delete();
  EXPECT_EQ(Cell(1, 0), "3") << "the record after the deleted one moves up";

  grid.SetColumns({{"NAME", "Name"}});
  EXPECT_EQ(grid.columnCount(), 1);
  EXPECT_EQ(Cell(0, 0), "Name1");

  people->Close();
  EXPECT_EQ(grid.rowCount(), 0);
  people->Open();
  EXPECT_GT(grid.rowCount(), 1);
  EXPECT_EQ(Cell(0, 0), "Name1");
}

TEST_F(DBGridTest, TheNavigatorOffersOnlyTheMovesThatGoSomewhere) {
  people->First();
  EXPECT_FALSE(navigator.First->isEnabled());
  EXPECT_FALSE(navigator.Prior->isEnabled());
  EXPECT_TRUE(navigator.Next->isEnabled());
  navigator.Next->click();
  EXPECT_EQ(ActiveId(), 2);
  EXPECT_TRUE(navigator.Prior->isEnabled());
  navigator.Last->click();
  EXPECT_EQ(ActiveId(), People);
  EXPECT_EQ(CurrentRowId(), People);
  EXPECT_FALSE(navigator.Next->isEnabled());
  EXPECT_FALSE(navigator.Last->isEnabled());
  navigator.Prior->click();
  EXPECT_EQ(ActiveId(), People - 1);
  people->Close();
  EXPECT_FALSE(navigator.First->isEnabled());
  EXPECT_FALSE(navigator.Next->isEnabled());
}

}  // namespace
