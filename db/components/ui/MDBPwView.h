#pragma once
// The password dialog's window over its behaviour (TMDBPasswordDialog):
// "Enter password" with the edit, Add, Remove, Remove all, OK and Cancel.
// InstallPasswordDialogView makes sessions show it.

#include <QDialog>

#include "MDBPw.h"

class QGroupBox;
class QLineEdit;
class QPushButton;

class TMDBPasswordDialogView : public QDialog {
  Q_OBJECT

public:
  explicit TMDBPasswordDialogView(TMDBSession& session, QWidget* parent = nullptr);

  QLineEdit* Edit() const { return edit; }
  QPushButton* AddButton() const { return addButton; }
  QPushButton* RemoveButton() const { return removeButton; }
  QPushButton* RemoveAllButton() const { return removeAllButton; }
  QPushButton* OKButton() const { return okButton; }
  QPushButton* CancelButton() const { return cancelButton; }

private slots:
  void EditChanged(const QString& text);
  void AddClicked();
  void RemoveClicked();
  void RemoveAllClicked();
  void OKClicked();

private:
  TMDBPasswordDialog dialog;
  QGroupBox* groupBox;
  QLineEdit* edit;
  QPushButton* addButton;
  QPushButton* removeButton;
  QPushButton* removeAllButton;
  QPushButton* okButton;
  QPushButton* cancelButton;

  void UpdateButtons();
};

// Sessions show the window when a password is asked for on the main thread.
void InstallPasswordDialogView();
