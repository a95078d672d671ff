// A printer's properties: the values the model keeps, and the Qt dialog
// that edits them (run modally, driven through its widgets).

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSpinBox>
#include <functional>

#include "uiPrinterProperties.h"
#include "uiPrinterPropertiesDialog.h"
#include "uiTestSupport.h"

namespace {

TPrinterProperties Office() {
  TPrinterProperties p("Office", {{"Letter", 1}, {"A4", 9}, {"Custom", 256}},
                       {{"Default", 7}, {"Manual Feed", 4}}, 3);
  p.SetPaper(9);
  return p;
}

QAbstractButton* Button(QDialog& dialog, QDialogButtonBox::StandardButton which) {
  return dialog.findChild<QDialogButtonBox*>()->button(which);
}

}  // namespace

TEST(PrinterProperties, TheModelKeepsOnlyWhatTheQueueOffers) {
  TPrinterProperties p = Office();
  EXPECT_EQ(p.Paper(), 9);
  EXPECT_EQ(p.PaperIndex(), 1);
  EXPECT_FALSE(p.SetPaper(5));
  EXPECT_EQ(p.Paper(), 9);
  EXPECT_EQ(p.Bin(), 7);  // the first bin until one is chosen
  EXPECT_TRUE(p.SetBin(4));
  EXPECT_EQ(p.BinIndex(), 1);
  EXPECT_FALSE(p.SetBin(99));
  p.SetCopies(0);
  EXPECT_EQ(p.Copies(), 1);
  p.SetCopies(12);
  EXPECT_EQ(p.Copies(), 3);
  TPrinterProperties empty("None", {}, {}, 0);
  EXPECT_EQ(empty.PaperIndex(), -1);
  EXPECT_EQ(empty.MaxCopies(), 1);
}

TEST(PrinterProperties, TheDialogEditsACopyAndHandsItBackOnOK) {
  TestApplication();
  SetPrinterPropertiesRunner(nullptr);  // the Qt dialog
  TPrinterProperties p = Office();
  std::string title;
  WhenShown<TPrinterPropertiesDialog>([&](TPrinterPropertiesDialog& dialog) {
    title = dialog.windowTitle().toStdString();
    EXPECT_EQ(dialog.findChild<QComboBox*>("paper")->currentText().toStdString(), "A4");
    dialog.findChild<QComboBox*>("paper")->setCurrentIndex(2);
    dialog.findChild<QComboBox*>("bin")->setCurrentIndex(1);
    dialog.findChild<QComboBox*>("orientation")->setCurrentIndex(1);
    dialog.findChild<QComboBox*>("sides")->setCurrentIndex(2);
    dialog.findChild<QSpinBox*>("copies")->setValue(9);  // the box stops at the queue's 3
    dialog.findChild<QCheckBox*>("collate")->setChecked(true);
    Button(dialog, QDialogButtonBox::Ok)->click();
  });
  ASSERT_TRUE(ShowPrinterProperties(p));
  EXPECT_EQ(title, "Office Properties");
  EXPECT_EQ(p.Paper(), 256);
  EXPECT_EQ(p.Bin(), 4);
  EXPECT_EQ(p.Orientation(), pocLandscape);
  EXPECT_EQ(p.Sides(), pscShortEdge);
  EXPECT_EQ(p.Copies(), 3);
  EXPECT_TRUE(p.Collate());

  // Cancel: whatever was changed in the dialog stays there.
  WhenShown<TPrinterPropertiesDialog>([](TPrinterPropertiesDialog& dialog) {
    dialog.findChild<QComboBox*>("paper")->setCurrentIndex(0);
    Button(dialog, QDialogButtonBox::Cancel)->click();
  });
  EXPECT_FALSE(ShowPrinterProperties(p));
  EXPECT_EQ(p.Paper(), 256);
}
