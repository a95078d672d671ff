#include "uiDialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace {

TModalResult QtMessageBox(const TMessageBoxRequest& Request) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(QString::fromStdString(Request.Caption));
  box.setText(QString::fromStdString(Request.Text));
  switch (Request.Type) {
    case mtWarning: box.setIcon(QMessageBox::Warning); break;
    case mtError: box.setIcon(QMessageBox::Critical); break;
    case mtInformation: box.setIcon(QMessageBox::Information); break;
    case mtConfirmation: box.setIcon(QMessageBox::Question); break;
  }
  if (Request.YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? mrYes : mrNo;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return mrOk;
}

bool QtInputQuery(const TInputQueryRequest& Request, std::string& Value) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(QApplication::activeWindow(), QString::fromStdString(Request.Caption),
                            QString::fromStdString(Request.Prompt), QLineEdit::Normal, QString::fromStdString(Value), &ok);
  if (ok) Value = text.toStdString();
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

void SetMessageBoxRunner(TMessageBoxRunner Runner) {
  MessageBoxRunner() = Runner ? std::move(Runner) : TMessageBoxRunner(QtMessageBox);
}

void SetInputQueryRunner(TInputQueryRunner Runner) {
  InputQueryRunner() = Runner ? std::move(Runner) : TInputQueryRunner(QtInputQuery);
}

TModalResult ShowMessageBox(const TMessageBoxRequest& Request) { return MessageBoxRunner()(Request); }

bool InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value) {
  return InputQueryRunner()(TInputQueryRequest{Caption, Prompt}, Value);
}
