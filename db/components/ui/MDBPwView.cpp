#include "MDBPwView.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "osThreadContext.h"
#include "rtlAssert.h"

TMDBPasswordDialogView::TMDBPasswordDialogView(TMDBSession& session, QWidget* parent)
    : QDialog(parent), dialog(session) {
  setWindowTitle(tr("Enter password"));
  setFixedSize(273, 132);
  groupBox = new QGroupBox(tr("Password"), this);
  groupBox->setGeometry(8, 8, 257, 81);
  edit = new QLineEdit(groupBox);
  edit->setGeometry(16, 18, 225, 21);
  edit->setEchoMode(QLineEdit::Password);
  addButton = new QPushButton(tr("&Add"), groupBox);
  addButton->setGeometry(16, 46, 65, 25);
  removeButton = new QPushButton(tr("&Remove"), groupBox);
  removeButton->setGeometry(88, 46, 65, 25);
  removeAllButton = new QPushButton(tr("Re&move all"), groupBox);
  removeAllButton->setGeometry(160, 46, 81, 25);
  okButton = new QPushButton(tr("&OK"), this);
  okButton->setGeometry(109, 98, 75, 25);
  okButton->setDefault(true);
  cancelButton = new QPushButton(tr("Cancel"), this);
  cancelButton->setGeometry(190, 98, 75, 25);
  for (QPushButton* button : {addButton, removeButton, removeAllButton, okButton, cancelButton})
    button->setAutoDefault(false);
  okButton->setAutoDefault(true);
  setTabOrder(edit, addButton);
  setTabOrder(addButton, removeButton);
  setTabOrder(removeButton, removeAllButton);
  setTabOrder(removeAllButton, okButton);
  setTabOrder(okButton, cancelButton);

  dialog.SetOnFocusEdit([this] {
    edit->setText(QString::fromStdString(dialog.EditText()));
    edit->setFocus();
  });
  connect(edit, &QLineEdit::textChanged, this, &TMDBPasswordDialogView::EditChanged);
  connect(addButton, &QPushButton::clicked, this, &TMDBPasswordDialogView::AddClicked);
  connect(removeButton, &QPushButton::clicked, this, &TMDBPasswordDialogView::RemoveClicked);
  connect(removeAllButton, &QPushButton::clicked, this, &TMDBPasswordDialogView::RemoveAllClicked);
  connect(okButton, &QPushButton::clicked, this, &TMDBPasswordDialogView::OKClicked);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
  edit->setFocus();
  UpdateButtons();
}

void TMDBPasswordDialogView::UpdateButtons() {
  addButton->setEnabled(dialog.AddEnabled());
  removeButton->setEnabled(dialog.RemoveEnabled());
  okButton->setEnabled(dialog.OKEnabled());
}

void TMDBPasswordDialogView::EditChanged(const QString& text) {
  dialog.SetEditText(text.toStdString());
  UpdateButtons();
}

void TMDBPasswordDialogView::AddClicked() {
  dialog.Add();
  UpdateButtons();
}

void TMDBPasswordDialogView::RemoveClicked() {
  dialog.Remove();
  UpdateButtons();
}

void TMDBPasswordDialogView::RemoveAllClicked() {
  dialog.RemoveAll();
  UpdateButtons();
}

void TMDBPasswordDialogView::OKClicked() {
  dialog.OK();
  if (dialog.Result() == TMDBPasswordDialog::TResult::OK) accept();
}

void InstallPasswordDialogView() {
  SetPasswordDialogRunner([](TMDBSession& session) {
    ORV_ASSERT(IsMainThread());  // sessions ask elsewhere for no dialog
    TMDBPasswordDialogView view(session);
    return view.exec() == QDialog::Accepted;
  });
}
