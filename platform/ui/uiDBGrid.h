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
};

class TDBGridDataLink : public TDataLink {
public:
  explicit TDBGridDataLink(TDBGrid& Grid) : grid(Grid) {}

protected:
  void ActiveChanged() override;
  void DataSetChanged() override;
  void RecordChanged(TField* Field) override;
  void LayoutChanged() override;

private:
  TDBGrid& grid;
};

class TDBGrid : public QTableWidget {
public:
  explicit TDBGrid(QWidget* Parent = nullptr);
  ~TDBGrid() override;

  TDataSource* DataSource() const { return link.DataSource(); }
  void SetDataSource(TDataSource* Source);

  // The columns in order; setting them rebuilds the grid.
  const std::vector<TDBGridColumn>& Columns() const { return columns; }
  void SetColumns(std::vector<TDBGridColumn> Value);
  void SetTitleBold(int Column, bool Bold);
  int ColumnWidth(int Column) const { return columnWidth(Column); }
  void SetColumnWidth(int Column, int Width) { setColumnWidth(Column, Width); }

  // Reads the link's window into the rows.
  void Refill();

protected:
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void wheelEvent(QWheelEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

private:
  void FitBufferCount();
  void MoveBy(int Distance);

  TDBGridDataLink link{*this};
  std::vector<TDBGridColumn> columns;
  bool filling = false;
};
