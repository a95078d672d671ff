#pragma once
// The "Printing" window with the progress text and a Cancel button, and
// the "No Data Found" box.

#include <QPlainTextEdit>
#include <QPushButton>

#include "ppForms.h"

class TppCancelDialog : public TppCustomCancelDialog {
public:
  static constexpr const char* FormName = "TppCancelDialog";
  explicit TppCancelDialog(QWidget* owner = nullptr);

  void Activated() override;

  QPlainTextEdit* memMessage;
  QPushButton* btnCancel;

protected:
  void LanguageChanged() override;
  void PrintProgressChanged() override;
};

class TppNoDataDialog : public TppCustomNoDataDialog {
public:
  static constexpr const char* FormName = "TppNoDataDialog";
  explicit TppNoDataDialog(QWidget* owner = nullptr);

  QPlainTextEdit* memMessage;
  QPushButton* btnOK;

protected:
  void LanguageChanged() override;
};
