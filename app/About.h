#pragma once
// The About box: the program's description, version, legal notice, company
// and trademarks, read from its compiled-in version block.

#include <QDialog>

class QLabel;

class TAboutBox : public QDialog {
public:
  explicit TAboutBox(QWidget* owner);

  // In the order they are read: file description, file version, legal
  // notice, company name, legal trademarks.
  QLabel* Labels[5];
};
