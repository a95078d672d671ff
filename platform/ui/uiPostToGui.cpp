#include "uiPostToGui.h"

#include <QCoreApplication>
#include <QMetaObject>

void PostToGui(std::function<void()> task) {
  QCoreApplication* application = QCoreApplication::instance();
  if (!application) return;
  QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
}
