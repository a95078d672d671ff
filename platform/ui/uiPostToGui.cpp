#include "uiPostToGui.h"

#include <QCoreApplication>
#include <QMetaObject>

void PostToGui(std::function<void()> Task) {
  QCoreApplication* application = QCoreApplication::instance();
  if (!application) return;
  QMetaObject::invokeMethod(application, std::move(Task), Qt::QueuedConnection);
}
