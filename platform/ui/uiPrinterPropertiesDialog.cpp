#include "uiPrinterPropertiesDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString Tr(const char* text) { return QCoreApplication::translate("TPrinterPropertiesDialog", text); }

QComboBox* ChoiceBox(const std::vector<TPrinterChoice>& choices, int current, QWidget* parent) {
  auto* box = new QComboBox(parent);
  for (const TPrinterChoice& c : choices) box->addItem(QString::fromStdString(c.Name), c.Code);
  box->setCurrentIndex(current);
  return box;
}

}  // namespace

TPrinterPropertiesDialog::TPrinterPropertiesDialog(const TPrinterProperties& source, QWidget* parent)
    : QDialog(parent), properties(source) {
  setWindowTitle(Tr("%1 Properties").arg(QString::fromStdString(properties.PrinterName())));
  paper = ChoiceBox(properties.Papers(), properties.PaperIndex(), this);
  paper->setObjectName("paper");
  bin = ChoiceBox(properties.Bins(), properties.BinIndex(), this);
  bin->setObjectName("bin");
  orientation = new QComboBox(this);
  orientation->setObjectName("orientation");
  orientation->addItems({Tr("Portrait"), Tr("Landscape")});
  orientation->setCurrentIndex(properties.Orientation());
  sides = new QComboBox(this);
  sides->setObjectName("sides");
  sides->addItems({Tr("One-sided"), Tr("Two-sided, long edge"), Tr("Two-sided, short edge")});
  sides->setCurrentIndex(properties.Sides());
  copies = new QSpinBox(this);
  copies->setObjectName("copies");
  copies->setRange(1, properties.MaxCopies());
  copies->setValue(properties.Copies());
  collate = new QCheckBox(Tr("Collate"), this);
  collate->setObjectName("collate");
  collate->setChecked(properties.Collate());

  auto* form = new QFormLayout;
  form->addRow(Tr("Paper:"), paper);
  form->addRow(Tr("Source:"), bin);
  form->addRow(Tr("Orientation:"), orientation);
  form->addRow(Tr("Two-sided:"), sides);
  form->addRow(Tr("Copies:"), copies);
  form->addRow(QString(), collate);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  // Each widget forwards its value; the model decides what it keeps.
  connect(paper, &QComboBox::currentIndexChanged, this,
          [this](int) { properties.SetPaper(paper->currentData().toInt()); });
  connect(bin, &QComboBox::currentIndexChanged, this, [this](int) { properties.SetBin(bin->currentData().toInt()); });
  connect(orientation, &QComboBox::currentIndexChanged, this,
          [this](int index) { properties.SetOrientation(static_cast<TPrinterOrientationChoice>(index)); });
  connect(sides, &QComboBox::currentIndexChanged, this,
          [this](int index) { properties.SetSides(static_cast<TPrinterSidesChoice>(index)); });
  connect(copies, &QSpinBox::valueChanged, this, [this](int value) { properties.SetCopies(value); });
  connect(collate, &QCheckBox::toggled, this, [this](bool value) { properties.SetCollate(value); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool RunPrinterPropertiesDialog(TPrinterProperties& properties) {
  TPrinterPropertiesDialog dialog(properties, QApplication::activeWindow());
  if (dialog.exec() != QDialog::Accepted) return false;
  properties = dialog.Properties();
  return true;
}
