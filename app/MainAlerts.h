#pragma once
// The alerts page's list as the alerter's bound view. The alerter calls it
// from the adding thread under its own lock; every change is posted to the
// GUI thread, where it runs only while the list lives.

#include <QPointer>
#include <QTreeWidget>

#include "Alerter.h"

class TAlertListView : public TAlertView {
public:
  explicit TAlertListView(QTreeWidget* alertList) : list(alertList) {}

  void BeginUpdate() override {}
  void EndUpdate() override {}
  void ClearRows() override;
  void AddRow(const TAlertRow& row) override;

private:
  QPointer<QTreeWidget> list;
};
