#include "ppTmplDlg.h"

#include "ppDataPipeline.h"
#include "ppMessages.h"
#include "rtlStrUtils.h"
#include "uiDialogs.h"

namespace {

QPushButton* Button(QWidget* parent, const char* name, int left, int top) {
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  button->setGeometry(left, top, 75, 23);
  return button;
}

QString Message(int n) { return QString::fromStdString(ppLoadMessage(n)); }

}  // namespace

TppTemplateDialog::TppTemplateDialog(QWidget* owner) : TppCustomTemplateDialog(owner) {
  setObjectName(FormName);
  setFixedSize(419, 265);
  setWindowTitle("Open");
  hdrList = new QLabel(" Name", this);
  hdrList->setObjectName("hdrList");
  hdrList->setGeometry(6, 5, 406, 18);
  hdrList->setFrameShape(QFrame::StyledPanel);
  lbxTemplates = new QListWidget(this);
  lbxTemplates->setObjectName("lbxTemplates");
  lbxTemplates->setGeometry(6, 22, 406, 167);
  lbxTemplates->setSortingEnabled(true);
  lblTemplateName = new QLabel("Name", this);
  lblTemplateName->setObjectName("lblTemplateName");
  lblTemplateName->move(9, 207);
  edtTemplateName = new QLineEdit(this);
  edtTemplateName->setObjectName("edtTemplateName");
  edtTemplateName->setGeometry(48, 204, 265, 21);
  btnOK = Button(this, "btnOK", 337, 203);
  btnOK->setDefault(true);
  btnOK->setText("&Open");
  btnCancel = Button(this, "btnCancel", 337, 233);
  btnCancel->setText("Cancel");
  connect(lbxTemplates, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { edtTemplateName->setText(item->text()); });
  connect(lbxTemplates, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    edtTemplateName->setText(item->text());
    btnOK->click();
  });
  connect(btnOK, &QPushButton::clicked, this, [this] { OKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { SetModalResult(ppmrCancel); });
}

std::string TppTemplateDialog::GetTemplateName() const { return edtTemplateName->text().toStdString(); }
void TppTemplateDialog::SetTemplateName(const std::string& value) {
  edtTemplateName->setText(QString::fromStdString(value));
}

std::vector<std::string> TppTemplateDialog::GetTemplateNames() const {
  std::vector<std::string> names;
  for (int i = 0; i < lbxTemplates->count(); ++i) names.push_back(lbxTemplates->item(i)->text().toStdString());
  return names;
}

void TppTemplateDialog::SetTemplateNames(const std::vector<std::string>& value) {
  lbxTemplates->clear();
  for (const std::string& name : value) lbxTemplates->addItem(QString::fromStdString(name));
}

void TppTemplateDialog::Activated() {
  TppCustomTemplateDialog::Activated();
  // Filled once: another activation would add every name again.
  if (!filled) {
    filled = true;
    if (TppDataPipeline* pipeline = DataPipeline()) {
      if (!pipeline->Active()) pipeline->Open();
      pipeline->First();
      while (!pipeline->Eof()) {
        lbxTemplates->addItem(QString::fromStdString(pipeline->GetFieldAsString(NameField)));
        pipeline->Next();
      }
    }
  }
  edtTemplateName->selectAll();
  if (Mode == tmOpen) {
    setWindowTitle(Message(361));
    btnOK->setText(Message(134));
  } else {
    setWindowTitle(Message(362) + " " + edtTemplateName->text() + " " + Message(38));
    btnOK->setText(Message(138));
  }
  btnCancel->setText(Message(5));
  hdrList->setText(" " + Message(39));
  lblTemplateName->setText(Message(39));
  lblTemplateName->adjustSize();
  edtTemplateName->setFocus();
}

bool TppTemplateDialog::NameExists(const std::string& name) {
  if (TppDataPipeline* pipeline = DataPipeline()) return pipeline->Locate(NameField, Variant(name));
  for (const std::string& listed : GetTemplateNames())
    if (SameText(listed, name)) return true;
  return false;
}

void TppTemplateDialog::OKClick() {
  const std::string name = Trim(GetTemplateName());
  // No template is ever opened or saved without a name.
  if (name.empty()) return;
  const bool exists = NameExists(name);
  if (Mode == tmOpen) {
    if (exists) {
      SetModalResult(ppmrOK);
      return;
    }
    ShowMessageBox({.Text = ppLoadMessage(45) + " " + name, .Type = mtWarning});
    return;
  }
  if (exists) {
    const TModalResult answer = ShowMessageBox(
        {.Text = ppFormatMessage(523, {name}) + "\n\n" + ppLoadMessage(494), .Type = mtWarning, .YesNo = true});
    if (answer == mrNo) return;
  }
  SetModalResult(ppmrOK);
}

TppTemplateErrorDialog::TppTemplateErrorDialog(QWidget* owner) : TppCustomTemplateErrorDialog(owner) {
  setObjectName(FormName);
  setFixedSize(317, 150);
  bvlMessage = new QFrame(this);
  bvlMessage->setFrameShape(QFrame::StyledPanel);
  bvlMessage->setGeometry(7, 8, 295, 77);
  lblMessage = new QLabel(this);
  lblMessage->setObjectName("lblMessage");
  lblMessage->setGeometry(14, 13, 280, 66);
  lblMessage->setWordWrap(true);
  lblMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  btnIgnore = Button(this, "btnIgnore", 37, 94);
  btnIgnore->setDefault(true);
  btnCancel = Button(this, "btnCancel", 118, 94);
  btnIgnoreAll = Button(this, "btnIgnoreAll", 199, 94);
  connect(btnIgnore, &QPushButton::clicked, this, [this] { SetModalResult(ppmrIgnore); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { SetModalResult(ppmrCancel); });
  connect(btnIgnoreAll, &QPushButton::clicked, this, [this] { SetModalResult(ppmrIgnoreAll); });
  LanguageChanged();
}

void TppTemplateErrorDialog::LanguageChanged() {
  setWindowTitle(Message(418));
  btnIgnore->setText(Message(416));
  btnCancel->setText(Message(5));
  btnIgnoreAll->setText(Message(417));
}
