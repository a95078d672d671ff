#include "MainAlerts.h"

#include "uiPostToGui.h"

void TAlertListView::ClearRows() {
  PostToGui([list = list] {
    if (list) list->clear();
  });
}

void TAlertListView::AddRow(const TAlertRow& Row) {
  PostToGui([list = list, Row] {
    if (!list) return;
    QStringList texts{QString::fromStdString(Row.Caption)};
    for (const std::string& text : Row.SubItems) texts << QString::fromStdString(text);
    list->addTopLevelItem(new QTreeWidgetItem(texts));
  });
}
