#pragma once
// The "Print Activity" page: the recorded jobs in a grid over the data
// module's table, in the order of the index chosen, with emptying the
// table. Without a data module the page shows nothing.

#include <QWidget>
#include <string>

class QComboBox;
class QPushButton;
class TDBGrid;
class TDBNavigator;
class TMorvaneRegistry;

class TJobsPage : public QWidget {
public:
  explicit TJobsPage(QWidget* owner = nullptr);

  // Fills the sort list with the table's secondary indexes, chooses the
  // first and binds the grid and navigator to the data module.
  void Bind();
  void ComboBox1Change();
  void btnEmptyClick();
  // "dbColumn%d" widths.
  void ReadSettings(const TMorvaneRegistry& registry);
  void WriteSettings(TMorvaneRegistry& registry) const;
  // The table's current index; empty without a data module.
  std::string IndexName() const;

  TDBGrid* DBGrid1;
  TDBNavigator* DBNavigator1;
  QComboBox* ComboBox1;
  QPushButton* btnEmpty;
  QPushButton* btnPreview;
};
