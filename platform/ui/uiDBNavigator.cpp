#include "uiDBNavigator.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "dbDataSet.h"

void TNavDataLink::ActiveChanged() { navigator.UpdateButtons(); }
void TNavDataLink::DataSetChanged() { navigator.UpdateButtons(); }

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto button = [&](Qt::ArrowType arrow, const QString& tip, void (TDataSet::*action)()) {
    auto* made = new QToolButton(this);
    made->setArrowType(arrow);
    made->setToolTip(tip);
    connect(made, &QToolButton::clicked, this, [this, action] {
      if (link.Active()) (link.DataSet()->*action)();
    });
    layout->addWidget(made);
    return made;
  };
  First = button(Qt::UpArrow, tr("First record"), &TDataSet::First);
  Prior = button(Qt::LeftArrow, tr("Prior record"), &TDataSet::Prior);
  Next = button(Qt::RightArrow, tr("Next record"), &TDataSet::Next);
  Last = button(Qt::DownArrow, tr("Last record"), &TDataSet::Last);
  UpdateButtons();
}

TDBNavigator::~TDBNavigator() { link.SetDataSource(nullptr); }

void TDBNavigator::SetDataSource(TDataSource* source) {
  link.SetDataSource(source);
  UpdateButtons();
}

void TDBNavigator::UpdateButtons() {
  const bool active = link.Active();
  const bool bof = !active || link.DataSet()->Bof();
  const bool eof = !active || link.DataSet()->Eof();
  First->setEnabled(!bof);
  Prior->setEnabled(!bof);
  Next->setEnabled(!eof);
  Last->setEnabled(!eof);
}
