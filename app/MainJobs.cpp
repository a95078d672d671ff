#include "MainJobs.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "JobsDataModule.h"
#include "Main.h"
#include "SettingsKeys.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "uiDBGrid.h"
#include "uiDBNavigator.h"
#include "uiDialogs.h"

namespace {

// The grid's columns, and which of them a sort makes bold; each holds a
// typical value whole.
std::vector<TDBGridColumn> GridColumns() {
  const Qt::Alignment left = Qt::AlignLeft;
  const Qt::Alignment right = Qt::AlignRight;
  return {{"JobDate", "Date", 68, left, left, true, "Sep 30, 2026"},
          {"JobTime", "Time", 38, left, left, false, "23:59"},
          {"JobID", "ID", 30, right, right, false, "99999"},
          {"MachineName", "Computer"},
          {"PrinterName", "Printer Name", 160},
          {"JobOwner", "Owner", 76},
          {"PagesPrinted", "Printed", 38, right, right, false, "9,999"},
          {"TotalPages", "Total", 28, right, right, false, "9,999"},
          {"BytesPrinted", "Bytes", 50, right, right, false, "99999999"},
          {"JobSize", "Size", 50, right, right, false, "99999999"},
          {"strStatus", "Status", 75},
          {"Doc", "Document", 240}};
}

struct TSortColumn {
  const char* Index;
  int Column;
};
// Holds the data module's lock for a scope.
class TModuleHeld {
public:
  explicit TModuleHeld(TOsCriticalSection& criticalSection) : section(criticalSection) { section.Enter(); }
  ~TModuleHeld() { section.Leave(); }
  TModuleHeld(const TModuleHeld&) = delete;
  TModuleHeld& operator=(const TModuleHeld&) = delete;

private:
  TOsCriticalSection& section;
};

constexpr TSortColumn SortColumns[] = {{"ByDate", 0}, {"ByOwner", 5}, {"ByPrinter", 4}, {"ByComputer", 3}};

}  // namespace

TJobsPage::TJobsPage(QWidget* owner) : QWidget(owner) {
  auto* box = new QVBoxLayout(this);
  auto* panel = new QHBoxLayout;
  DBNavigator1 = new TDBNavigator(this);
  panel->addWidget(DBNavigator1);
  auto* sort = new QLabel(tr("&Sort:"), this);
  ComboBox1 = new QComboBox(this);
  sort->setBuddy(ComboBox1);
  panel->addWidget(sort);
  panel->addWidget(ComboBox1);
  btnEmpty = new QPushButton(tr("&Empty Database"), this);
  btnPreview = new QPushButton(tr("&Preview and Print"), this);
  panel->addWidget(btnEmpty);
  panel->addWidget(btnPreview);
  panel->addStretch();
  box->addLayout(panel);
  DBGrid1 = new TDBGrid(this);
  DBGrid1->setObjectName("DBGrid1");
  DBGrid1->SetColumns(GridColumns());
  box->addWidget(DBGrid1);
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { Guarded([this] { ComboBox1Change(); }); });
  connect(btnEmpty, &QPushButton::clicked, this, [this] { Guarded([this] { btnEmptyClick(); }); });
}

void TJobsPage::Bind() {
  TDataModule1* module = DataModule1();
  if (!module) return;
  std::vector<std::string> names;
  module->GetIndexNames(names);
  {
    const QSignalBlocker quiet(ComboBox1);
    ComboBox1->clear();
    for (const std::string& name : names) ComboBox1->addItem(QString::fromStdString(name));
  }
  DBGrid1->SetDataSource(&module->DataSource1());
  DBNavigator1->SetDataSource(&module->DataSource1());
  if (ComboBox1->count() > 0) {
    ComboBox1->setCurrentIndex(0);
    ComboBox1Change();
  }
}

void TJobsPage::ComboBox1Change() {
  for (const TSortColumn& sort : SortColumns) DBGrid1->SetTitleBold(sort.Column, false);
  const std::string chosen = ComboBox1->currentText().toStdString();
  for (const TSortColumn& sort : SortColumns)
    if (SameText(chosen, sort.Index)) DBGrid1->SetTitleBold(sort.Column, true);
  if (TDataModule1* module = DataModule1()) {
    TModuleHeld held(module->Lock());
    module->Table1().SetIndexName(chosen);
  }
}

void TJobsPage::btnEmptyClick() {
  if (ShowMessageBox({"Are you sure you want to delete all records?", "Confirm", mtConfirmation, true}) != mrYes) return;
  if (TDataModule1* module = DataModule1()) module->EmptyJobsTable();
}

std::string TJobsPage::IndexName() const {
  TDataModule1* module = DataModule1();
  return module ? module->Table1().IndexName() : std::string();
}

void TJobsPage::ReadSettings(const TMorvaneRegistry& registry) {
  for (int i = 0; i < DBGrid1->columnCount(); ++i)
    DBGrid1->SetColumnWidth(i, registry.ReadIntegerDef(Format("%s%d", {"dbColumn", i}), DBGrid1->ColumnWidth(i)));
}

void TJobsPage::WriteSettings(TMorvaneRegistry& registry) const {
  for (int i = 0; i < DBGrid1->columnCount(); ++i)
    registry.WriteInteger(Format("%s%d", {"dbColumn", i}), DBGrid1->ColumnWidth(i));
}
