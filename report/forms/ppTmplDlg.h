#pragma once
// The template dialogs: choosing a template stored in a database (to open,
// or a name to save under) and the question about an error met while a
// template was read.

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "ppForms.h"

class TppTemplateDialog : public TppCustomTemplateDialog {
public:
  static constexpr const char* FormName = "TppTemplateDialog";
  explicit TppTemplateDialog(QWidget* owner = nullptr);

  std::string GetTemplateName() const override;
  std::vector<std::string> GetTemplateNames() const override;
  void SetTemplateName(const std::string& value) override;
  void SetTemplateNames(const std::vector<std::string>& value) override;
  void Activated() override;
  // The close query of OK: the name must exist to open and is confirmed
  // when it exists to save; an empty name never closes the dialog.
  void OKClick();

  QLabel* hdrList;
  QListWidget* lbxTemplates;
  QLabel* lblTemplateName;
  QLineEdit* edtTemplateName;
  QPushButton *btnOK, *btnCancel;

private:
  bool filled = false;
  bool NameExists(const std::string& name);
};

class TppTemplateErrorDialog : public TppCustomTemplateErrorDialog {
public:
  static constexpr const char* FormName = "TppTemplateErrorDialog";
  explicit TppTemplateErrorDialog(QWidget* owner = nullptr);

  std::string GetErrorMessage() const override { return lblMessage->text().toStdString(); }
  void SetErrorMessage(const std::string& value) override { lblMessage->setText(QString::fromStdString(value)); }

  QFrame* bvlMessage;
  QLabel* lblMessage;
  QPushButton *btnIgnore, *btnCancel, *btnIgnoreAll;

protected:
  void LanguageChanged() override;
};
