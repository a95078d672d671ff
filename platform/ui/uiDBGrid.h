#pragma once
// A read-only grid over a data source: one row per record of its link's
// window, one column per field named, the dataset's active record current.
// The window follows the active record; clicks, keys and the wheel move
// the dataset, never the grid alone.

#include <QTableWidget>
#include <string>
#include <vector>

#include "dbDataSource.h"

class TDBGrid;

struct TDBGridColumn {
  std::string FieldName;
  std::string Title;
  // 0: the default width.
  int Width = 0;
  Qt::Alignment Alignment = Qt::AlignLeft;
  Qt::Alignment TitleAlignment = Qt::AlignLeft;
  bool TitleBold = false;
  // A typical value, which the column's width holds.
  std::string Sample;
};

class TDBGridDataLink : public TDataLink {
public:
  explicit TDBGridDataLink(TDBGrid& grid) : grid(grid) {}

protected:
  void ActiveChanged() override;
  void DataSetChanged() override;
  void RecordChanged(TField* field) override;
  void LayoutChanged() override;

private:
  TDBGrid& grid;
};

class TDBGrid : public QTableWidget {
public:
  explicit TDBGrid(QWidget* parent = nullptr);
  ~TDBGrid() override;

  TDataSource* DataSource() const { return link.DataSource(); }
  void SetDataSource(TDataSource* source);

  // The columns in order; setting them rebuilds the grid.
  const std::vector<TDBGridColumn>& Columns() const { return columns; }
  void SetColumns(std::vector<TDBGridColumn> value);
  void SetTitleBold(int column, bool bold);
  int ColumnWidth(int column) const { return columnWidth(column); }
  void SetColumnWidth(int column, int width) { setColumnWidth(column, width); }

  // Reads the link's window into the rows.
  void Refill();

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void FitBufferCount();
  void MoveBy(int distance);

  TDBGridDataLink link{*this};
  std::vector<TDBGridColumn> columns;
  bool filling = false;
};
