#pragma once
// The Qt view of a printer's properties: a combo box per list, a spin box
// for the copies, a check box for collation, OK and Cancel. It holds a
// working copy; OK hands it back.

#include <QDialog>

#include "uiPrinterProperties.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

class TPrinterPropertiesDialog : public QDialog {
public:
  explicit TPrinterPropertiesDialog(const TPrinterProperties& properties, QWidget* parent = nullptr);

  // The choices as the widgets hold them.
  const TPrinterProperties& Properties() const { return properties; }

private:
  TPrinterProperties properties;
  QComboBox* paper;
  QComboBox* bin;
  QComboBox* orientation;
  QComboBox* sides;
  QSpinBox* copies;
  QCheckBox* collate;
};

// The default runner: the dialog, modal over the active window.
bool RunPrinterPropertiesDialog(TPrinterProperties& properties);
