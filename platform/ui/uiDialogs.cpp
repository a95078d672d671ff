#include "uiDialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

#include "osThreadContext.h"
#include "rtlAssert.h"

namespace {

TModalResult QtMessageBox(const TMessageBoxRequest& request) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(QString::fromStdString(request.Caption));
  box.setText(QString::fromStdString(request.Text));
  switch (request.Type) {
    case mtWarning: box.setIcon(QMessageBox::Warning); break;
    case mtError: box.setIcon(QMessageBox::Critical); break;
    case mtInformation: box.setIcon(QMessageBox::Information); break;
    case mtConfirmation: box.setIcon(QMessageBox::Question); break;
  }
  if (request.YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? mrYes : mrNo;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return mrOk;
}

bool QtInputQuery(const TInputQueryRequest& request, std::string& value) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(QApplication::activeWindow(), QString::fromStdString(request.Caption),
                            QString::fromStdString(request.Prompt), QLineEdit::Normal, QString::fromStdString(value), &ok);
  if (ok) value = text.toStdString();
  return ok;
}

TMessageBoxRunner& MessageBoxRunner() {
  static TMessageBoxRunner runner = QtMessageBox;
  return runner;
}

TInputQueryRunner& InputQueryRunner() {
  static TInputQueryRunner runner = QtInputQuery;
  return runner;
}

}  // namespace

void SetMessageBoxRunner(TMessageBoxRunner runner) {
  MessageBoxRunner() = runner ? std::move(runner) : TMessageBoxRunner(QtMessageBox);
}

void SetInputQueryRunner(TInputQueryRunner runner) {
  InputQueryRunner() = runner ? std::move(runner) : TInputQueryRunner(QtInputQuery);
}

TModalResult ShowMessageBox(const TMessageBoxRequest& request) {
  ORV_ASSERT(IsMainThread());  // a worker's question is an alert the windows show
  return MessageBoxRunner()(request);
}

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  ORV_ASSERT(IsMainThread());
  return InputQueryRunner()(TInputQueryRequest{caption, prompt}, value);
}
