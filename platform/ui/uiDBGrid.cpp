#include "uiDBGrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>

#include "dbDataSet.h"
#include "dbField.h"
#include "uiColumnFit.h"

void TDBGridDataLink::ActiveChanged() { grid.Refill(); }
void TDBGridDataLink::DataSetChanged() { grid.Refill(); }
void TDBGridDataLink::RecordChanged(TField*) { grid.Refill(); }
void TDBGridDataLink::LayoutChanged() { grid.Refill(); }

TDBGrid::TDBGrid(QWidget* parent) : QTableWidget(parent) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  // The row column stays when the table empties; only the sort makes a
  // title bold, never the current cell.
  verticalHeader()->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 2 * ColumnTextPadding);
  horizontalHeader()->setHighlightSections(false);
  verticalHeader()->setHighlightSections(false);
  link.SetReadOnly(true);
}

TDBGrid::~TDBGrid() { link.SetDataSource(nullptr); }

void TDBGrid::SetDataSource(TDataSource* source) {
  link.SetDataSource(source);
  FitBufferCount();
  Refill();
}

void TDBGrid::SetColumns(std::vector<TDBGridColumn> value) {
  columns = std::move(value);
  setColumnCount(static_cast<int>(columns.size()));
  for (int i = 0; i < columnCount(); ++i) {
    const TDBGridColumn& column = columns[static_cast<size_t>(i)];
    auto* title = new QTableWidgetItem(QString::fromStdString(column.Title));
    title->setTextAlignment(column.TitleAlignment | Qt::AlignVCenter);
    QFont titleFont = title->font();
    titleFont.setBold(column.TitleBold);
    title->setFont(titleFont);
    setHorizontalHeaderItem(i, title);
    if (column.Width > 0)
      setColumnWidth(i, FitColumnWidth(font(), column.Width,
                                       {QString::fromStdString(column.Title), QString::fromStdString(column.Sample)}));
  }
  Refill();
}

void TDBGrid::SetTitleBold(int column, bool bold) {
  if (column < 0 || column >= columnCount()) return;
  columns[static_cast<size_t>(column)].TitleBold = bold;
  if (QTableWidgetItem* title = horizontalHeaderItem(column)) {
    QFont font = title->font();
    font.setBold(bold);
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

void TDBGrid::MoveBy(int distance) {
  if (link.Active() && distance != 0) link.MoveBy(distance);
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
  if (!link.Active()) return QTableWidget::keyPressEvent(event);
  TDataSet* dataSet = link.DataSet();
  switch (event->key()) {
    case Qt::Key_Up: MoveBy(-1); break;
    case Qt::Key_Down: MoveBy(1); break;
    case Qt::Key_PageUp: MoveBy(-link.BufferCount()); break;
    case Qt::Key_PageDown: MoveBy(link.BufferCount()); break;
    case Qt::Key_Home:
      if (event->modifiers() & Qt::ControlModifier) dataSet->First();
      break;
    case Qt::Key_End:
      if (event->modifiers() & Qt::ControlModifier) dataSet->Last();
      break;
    default: QTableWidget::keyPressEvent(event);
  }
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
  const int row = rowAt(event->position().toPoint().y());
  if (row >= 0 && link.Active()) MoveBy(row - link.ActiveRecord());
  QTableWidget::mousePressEvent(event);
  if (link.Active() && link.RecordCount() > 0) setCurrentCell(link.ActiveRecord(), std::max(currentColumn(), 0));
}

void TDBGrid::wheelEvent(QWheelEvent* event) {
  const int notches = event->angleDelta().y() / 120;
  MoveBy(-3 * notches);
  event->accept();
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
  QTableWidget::resizeEvent(event);
  FitBufferCount();
  Refill();
}
