#include "uiDBGrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>

#include "dbDataSet.h"
#include "dbField.h"

void TDBGridDataLink::ActiveChanged() { grid.Refill(); }
void TDBGridDataLink::DataSetChanged() { grid.Refill(); }
void TDBGridDataLink::RecordChanged(TField*) { grid.Refill(); }
void TDBGridDataLink::LayoutChanged() { grid.Refill(); }

TDBGrid::TDBGrid(QWidget* Parent) : QTableWidget(Parent) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  link.SetReadOnly(true);
}

TDBGrid::~TDBGrid() { link.SetDataSource(nullptr); }

void TDBGrid::SetDataSource(TDataSource* Source) {
  link.SetDataSource(Source);
  FitBufferCount();
  Refill();
}

void TDBGrid::SetColumns(std::vector<TDBGridColumn> Value) {
  columns = std::move(Value);
  setColumnCount(static_cast<int>(columns.size()));
  for (int i = 0; i < columnCount(); ++i) {
    const TDBGridColumn& column = columns[static_cast<size_t>(i)];
    auto* title = new QTableWidgetItem(QString::fromStdString(column.Title));
    title->setTextAlignment(column.TitleAlignment | Qt::AlignVCenter);
    QFont font = title->font();
    font.setBold(column.TitleBold);
    title->setFont(font);
    setHorizontalHeaderItem(i, title);
    if (column.Width > 0) setColumnWidth(i, column.Width);
  }
  Refill();
}

void TDBGrid::SetTitleBold(int Column, bool Bold) {
  if (Column < 0 || Column >= columnCount()) return;
  columns[static_cast<size_t>(Column)].TitleBold = Bold;
  if (QTableWidgetItem* title = horizontalHeaderItem(Column)) {
    QFont font = title->font();
    font.setBold(Bold);
    title->setFont(font);
  }
}

void TDBGrid::FitBufferCount() {
  const int rowHeight = std::max(verticalHeader()->defaultSectionSize(), 1);
  link.SetBufferCount(std::max(viewport()->height() / rowHeight, 1));
}

void TDBGrid::Refill() {
  // Reading a row makes it the active one for a moment; the events that
  // causes are this fill's own.
  if (filling) return;
  filling = true;
  const int rows = link.Active() ? link.RecordCount() : 0;
  setRowCount(rows);
  if (rows > 0) {
    TDataSet* dataSet = link.DataSet();
    const int active = link.ActiveRecord();
    for (int row = 0; row < rows; ++row) {
      link.SetActiveRecord(row);
      for (int col = 0; col < columnCount(); ++col) {
        const TDBGridColumn& column = columns[static_cast<size_t>(col)];
        const TField* field = dataSet->FindField(column.FieldName);
        auto* cell = new QTableWidgetItem(field ? QString::fromStdString(field->DisplayText()) : QString());
        cell->setTextAlignment(column.Alignment | Qt::AlignVCenter);
        setItem(row, col, cell);
      }
    }
    link.SetActiveRecord(active);
    setCurrentCell(active, std::max(currentColumn(), 0));
  }
  filling = false;
}

void TDBGrid::MoveBy(int Distance) {
  if (link.Active() && Distance != 0) link.MoveBy(Distance);
}

void TDBGrid::keyPressEvent(QKeyEvent* Event) {
  if (!link.Active()) return QTableWidget::keyPressEvent(Event);
  TDataSet* dataSet = link.DataSet();
  switch (Event->key()) {
    case Qt::Key_Up: MoveBy(-1); break;
    case Qt::Key_Down: MoveBy(1); break;
    case Qt::Key_PageUp: MoveBy(-link.BufferCount()); break;
    case Qt::Key_PageDown: MoveBy(link.BufferCount()); break;
    case Qt::Key_Home:
      if (Event->modifiers() & Qt::ControlModifier) dataSet->First();
      break;
    case Qt::Key_End:
      if (Event->modifiers() & Qt::ControlModifier) dataSet->Last();
      break;
    default: QTableWidget::keyPressEvent(Event);
  }
}

void TDBGrid::mousePressEvent(QMouseEvent* Event) {
  const int row = rowAt(Event->position().toPoint().y());
  if (row >= 0 && link.Active()) MoveBy(row - link.ActiveRecord());
  QTableWidget::mousePressEvent(Event);
  if (link.Active() && link.RecordCount() > 0) setCurrentCell(link.ActiveRecord(), std::max(currentColumn(), 0));
}

void TDBGrid::wheelEvent(QWheelEvent* Event) {
  const int notches = Event->angleDelta().y() / 120;
  MoveBy(-3 * notches);
  Event->accept();
}

void TDBGrid::resizeEvent(QResizeEvent* Event) {
  QTableWidget::resizeEvent(Event);
  FitBufferCount();
  Refill();
}
