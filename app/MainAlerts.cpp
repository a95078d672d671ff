#include "MainAlerts.h"

#include "uiPostToGui.h"

void TAlertListView::ClearRows() {
  PostToGui([list = list] {
    if (list) list->clear();
  });
}

void TAlertListView::AddRow(const TAlertRow& row) {
  PostToGui([list = list, row] {
    if (!list) return;
    QStringList texts{QString::fromStdString(row.Caption)};
    for (const std::string& text : row.SubItems) texts << QString::fromStdString(text);
    list->addTopLevelItem(new QTreeWidgetItem(texts));
  });
}
