#include "ppCancelDlg.h"

#include <QFontMetrics>

#include "ppMessages.h"
#include "uiCanvasQt.h"

namespace {

QPlainTextEdit* Memo(QWidget* parent, int left, int top, int width, int height) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName("memMessage");
  memo->setGeometry(left, top, width, height);
  memo->setReadOnly(true);
  memo->setFrameShape(QFrame::NoFrame);
  memo->viewport()->setAutoFillBackground(false);
  memo->setStyleSheet("background: transparent;");
  memo->setFont(QFont());
  return memo;
}

void DialogLook(QDialog& form, int width, int height) {
  form.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  form.setFixedSize(width, height);
  QFont bold = form.font();
  bold.setBold(true);
  form.setFont(bold);
  form.setCursor(Qt::WaitCursor);
}

QPushButton* Button(QWidget* parent, const char* name, int left, int top) {
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  button->setGeometry(left, top, 75, 23);
  button->setFont(QFont());
  button->setCursor(Qt::ArrowCursor);
  return button;
}

}  // namespace

TppCancelDialog::TppCancelDialog(QWidget* owner) : TppCustomCancelDialog(owner) {
  setObjectName(FormName);
  DialogLook(*this, 270, 133);
  memMessage = Memo(this, 42, 14, 187, 75);
  btnCancel = Button(this, "btnCancel", 98, 98);
  connect(btnCancel, &QPushButton::clicked, this, [this] {
    DoCancel();
    close();
  });
  LanguageChanged();
}

void TppCancelDialog::Activated() {
  btnCancel->setEnabled(AllowCancel());
  TppCustomCancelDialog::Activated();
}

void TppCancelDialog::PrintProgressChanged() { memMessage->setPlainText(QString::fromStdString(PrintProgress())); }

void TppCancelDialog::LanguageChanged() {
  setWindowTitle(QString::fromStdString(ppLoadMessage(24)));
  btnCancel->setText(QString::fromStdString(ppLoadMessage(5)));
  // A long translation widens the button, which stays centred.
  const int width = btnCancel->fontMetrics().horizontalAdvance(btnCancel->text()) + 30;
  btnCancel->setGeometry((this->width() - width) / 2, btnCancel->y(), width, btnCancel->height());
}

TppNoDataDialog::TppNoDataDialog(QWidget* owner) : TppCustomNoDataDialog(owner) {
  setObjectName(FormName);
  DialogLook(*this, 270, 93);
  memMessage = Memo(this, 42, 14, 187, 41);
  btnOK = Button(this, "btnOK", 97, 63);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, [this] { SetModalResult(ppmrOK); });
  LanguageChanged();
}

void TppNoDataDialog::LanguageChanged() {
  setWindowTitle(QString::fromStdString(ppLoadMessage(1034)));
  memMessage->setPlainText(QString::fromStdString(ppLoadMessage(1035)));
  btnOK->setText(QString::fromStdString(ppLoadMessage(17)));
}
