#include <gtest/gtest.h>

#include <QApplication>
#include <stdexcept>

#include "ppArchiveDevice.h"
#include "ppCancelDlg.h"
#include "ppDevice.h"
#include "ppEngineForms.h"
#include "ppFormsKit.h"
#include "ppMessages.h"
#include "ppPrintDlg.h"
#include "ppPrinterInfo.h"
#include "ppPrinterSetup.h"
#include "rtlTestFolder.h"
#include "uiTestSupport.h"
#include <filesystem>

namespace {


class ppPrintDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    TestApplication();
    ppRegisterDevice(TppArchiveDevice::StaticClassType());
  }
  void TearDown() override { ppUnRegisterDevice(TppArchiveDevice::StaticClassType()); }

  TKitPrinters printers;
  TppPrinterSetup setup;
  TppPageRequest request;
  TMessageBoxes boxes;

  // A dialog filled as the producer fills it, activated.
  std::unique_ptr<TppPrintDialog> Open(bool allowArchive = false) {
    auto dialog = std::make_unique<TppPrintDialog>();
    setup.SetPrinterName("Office");
    dialog->Printer = &setup;
    dialog->AllowPrintToArchive = allowArchive;
    dialog->SetPageRequest(&request);
    dialog->Activated();
    return dialog;
  }
};

TEST_F(ppPrintDialogTest, PageRangeIsShownAndOKGivesTheListBack) {
  TStringList pages;
  pages.SetCommaText("3,7");
  request.SetPageList(&pages);
  request.SetPageSetting(psPageRange);
  auto dialog = Open();
  EXPECT_TRUE(dialog->rdbPages->isChecked());
  EXPECT_EQ(dialog->edtPageRange->text(), "3-7");
  dialog->OKClick();
  EXPECT_EQ(dialog->ModalResult(), ppmrOK);
  EXPECT_EQ(request.PageSetting(), psPageList);
  EXPECT_EQ(request.PageList()->CommaText(), "3,4,5,6,7");
  EXPECT_TRUE(boxes.Texts.empty());
}

// Each printer shows the picture of its kind; the list stays sorted by name.
TEST_F(ppPrintDialogTest, PrintersShowWhetherTheyAreReachedOverTheNetwork) {
  TKitPrinters withNetwork({"Hall"});
  auto dialog = Open();
  QComboBox& list = *dialog->cbxPrinters;
  // "Default" stands for the default printer, the local "Office".
  const std::pair<const char*, TppPrinterTypeImage> expected[] = {
      {"Default", ptiLocal}, {"Hall", ptiNetwork}, {"Office", ptiLocal}};
  ASSERT_EQ(list.count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list.itemText(i).toStdString(), expected[i].first);
    EXPECT_EQ(list.itemData(i).toInt(), expected[i].second) << expected[i].first;
    const QImage shown = list.itemIcon(i).pixmap(16, 16).toImage();
    EXPECT_EQ(shown, ppPrinterTypeIcon(expected[i].second).pixmap(16, 16).toImage()) << expected[i].first;
  }
  EXPECT_NE(ppPrinterTypeIcon(ptiLocal).pixmap(16, 16).toImage(), ppPrinterTypeIcon(ptiNetwork).pixmap(16, 16).toImage());
  EXPECT_EQ(list.currentText(), "Office");
}

TEST_F(ppPrintDialogTest, EntriesThatCannotPrintKeepTheDialogOpen) {
  struct Case {
    const char* pages;  // nullptr: all pages
    const char* copies;
    bool ok;
    int message;  // 0: a copies message of the dialog's own
  };
  const Case cases[] = {
      {"", "1", false, 32}, {"2,4", "0", false, 0}, {nullptr, "abc", false, 0},
      {nullptr, "1000", false, 0}, {nullptr, "12", true, -1}, {"2-3", "999", true, -1},
  };
  for (const Case& c : cases) {
    boxes.Texts.clear();
    auto dialog = Open();
    if (c.pages) {
      dialog->rdbPages->setChecked(true);
      dialog->edtPageRange->setText(c.pages);
    }
    dialog->edtCopies->setMaxLength(4);
    dialog->edtCopies->setText(c.copies);
    dialog->OKClick();
    EXPECT_EQ(dialog->ModalResult() == ppmrOK, c.ok) << c.copies;
    if (c.ok) {
      EXPECT_EQ(setup.Copies(), std::atoi(c.copies));
      continue;
    }
    ASSERT_EQ(boxes.Texts.size(), 1u) << c.copies;
    if (c.message > 0) {
      EXPECT_EQ(boxes.Texts[0], ppLoadMessage(c.message));
    }
  }
}

TEST_F(ppPrintDialogTest, ArchiveFileNamesGetTheirExtension) {
  struct Case {
    const char* typed;
    const char* stored;
  };
  for (const Case& c : {Case{"out", "out.raf"}, {"a.", "a.raf"}, {"a.b", "a.b"}, {"dir.x/out", "dir.x/out.raf"}}) {
    auto dialog = Open(true);
    ASSERT_FALSE(dialog->pnlPrintToFile->isHidden());
    ASSERT_EQ(dialog->cbxPrintToFileTypes->count(), 1);
    EXPECT_EQ(dialog->cbxPrintToFileTypes->itemText(0).toStdString(), TppArchiveDevice(nullptr).DeviceDescription());
    dialog->cbxPrintToFile->setChecked(true);
    dialog->edtPrintToFileName->setText(c.typed);
    emit dialog->edtPrintToFileName->textEdited(c.typed);
    dialog->OKClick();
    ASSERT_EQ(dialog->ModalResult(), ppmrOK);
    EXPECT_EQ(dialog->ArchiveFileName, c.stored);
    EXPECT_TRUE(dialog->PrintToArchive);
    EXPECT_FALSE(dialog->PrintToFile);
    EXPECT_EQ(dialog->DeviceType, "ArchiveFile");
  }
  // No name: message 33, and the dialog stays.
  auto dialog = Open(true);
  dialog->cbxPrintToFile->setChecked(true);
  dialog->OKClick();
  EXPECT_NE(dialog->ModalResult(), ppmrOK);
  EXPECT_EQ(boxes.Texts, std::vector<std::string>{ppLoadMessage(33)});
}

TEST(ppPrintDialogFilter, ClassLibraryFiltersBecomeQtFilters) {
  EXPECT_EQ(ppQtFileFilter("Archive files|*.RAF|All files|*.*"), "Archive files (*.RAF);;All files (*.*)");
  EXPECT_EQ(ppQtFileFilter("Texts|*.txt;*.csv"), "Texts (*.txt *.csv)");
  EXPECT_EQ(ppQtFileFilter(""), "");
}

TEST_F(ppPrintDialogTest, ControlsAreFilledOnceAndTheFormShrinksOnce) {
  auto dialog = Open();
  EXPECT_TRUE(dialog->pnlPrintToFile->isHidden());
  const int height = dialog->height();
  EXPECT_EQ(height, TppPrintDialog::ClientHeight - TppPrintDialog::PrintToFileHeight +
                        (dialog->bvlPageRange->height() - 110));
  EXPECT_EQ(dialog->cbxPrinters->currentText(), "Office");
  dialog->rdbPages->setChecked(true);
  dialog->edtPageRange->setText("2");
  dialog->Activated();  // a message box came and went
  EXPECT_EQ(dialog->height(), height);
  EXPECT_EQ(dialog->edtPageRange->text(), "2");
  // Odd pages at once, before OK.
  dialog->cbxPrintWhat->setCurrentIndex(1);
  EXPECT_EQ(request.PageRange(), prOddPages);
}

TEST_F(ppPrintDialogTest, CopiesStepBetweenOneAndNineHundredNinetyNine) {
  auto dialog = Open();
  struct Case {
    const char* before;
    int step;
    const char* after;
  };
  for (const Case& c : {Case{"1", -1, "1"}, {"999", 1, "999"}, {"5", 1, "6"}, {"5", -1, "4"}, {"x", 1, "2"}}) {
    dialog->edtCopies->setText(c.before);
    dialog->StepCopies(c.step);
    EXPECT_EQ(dialog->edtCopies->text().toStdString(), c.after) << c.before;
  }
  const QRect edit = dialog->edtCopies->geometry(), upDown = dialog->updCopies->geometry();
  EXPECT_EQ(upDown.x(), edit.x() + edit.width() - upDown.width() - 2);
  EXPECT_EQ(upDown.height(), edit.height() - 4);
}

TEST_F(ppPrintDialogTest, WithoutPrintersOKWarnsAndStays) {
  ppSetPrinterSource(nullptr);
  auto dialog = Open();
  EXPECT_TRUE(dialog->cbxPrinters->isHidden());
  EXPECT_EQ(dialog->lblNoPrintersInstalled->text().toStdString(), ppLoadMessage(8));
  dialog->OKClick();
  EXPECT_NE(dialog->ModalResult(), ppmrOK);
  EXPECT_EQ(boxes.Texts, std::vector<std::string>{ppLoadMessage(8)});
}

// The producer asks the registered dialog and prints to the archive it
// chose, under the name with its extension; the report's own printer
// setup is as it was afterwards.
TEST_F(ppPrintDialogTest, ReportPrintsToTheArchiveTheDialogChose) {
  ppRegisterEngineForms();
  TTestFolder folder;
  TKitReport kit(7);
  kit.Report->SetShowPrintDialog(true);
  kit.Report->SetAllowPrintToArchive(true);
  kit.Report->SetDeviceType("Printer");
  kit.Report->PrinterSetup()->SetPrinterName("Office");
  TFormAnswers answers([&](TppForm& form) {
    auto& dialog = dynamic_cast<TppPrintDialog&>(form);
    dialog.cbxPrintToFile->setChecked(true);
    dialog.edtPrintToFileName->setText(QString::fromStdString(folder.File("jobs")));
    emit dialog.edtPrintToFileName->textEdited(dialog.edtPrintToFileName->text());
    dialog.edtCopies->setText("3");
    dialog.btnOK->click();
    return dialog.ModalResult();
  });
  EXPECT_TRUE(kit.Report->Print());
  EXPECT_TRUE(std::filesystem::exists(folder.File("jobs.raf")));
  EXPECT_EQ(kit.Report->ArchiveFileName(), folder.File("jobs.raf"));
  EXPECT_EQ(kit.Report->PrinterSetup()->Copies(), 1);
  EXPECT_EQ(kit.Report->DeviceType(), "Printer");
  ppUnRegisterEngineForms();
}

class ppCancelDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    TestApplication();
    ppRegisterEngineForms();
  }
  void TearDown() override { ppUnRegisterEngineForms(); }
};

TEST_F(ppCancelDialogTest, ModalJobStartsOnceAndCancelFollowsAllowCancel) {
  for (bool allow : {false, true}) {
    int jobs = 0, cancels = 0;
    bool enabled = !allow;
    TFormAnswers answers([&](TppForm& form) {
      auto& dialog = dynamic_cast<TppCancelDialog&>(form);
      enabled = dialog.btnCancel->isEnabled();
      dialog.Activated();  // activated again: no second job
      if (enabled) dialog.btnCancel->click();
      return ppmrOK;
    });
    TppDialogRequest request;
    request.Kind = dkCancel;
    request.AllowCancel = allow;
    request.Activate = [&] { ++jobs; };
    request.Cancel = [&] { ++cancels; };
    ppRunDialog(request);
    EXPECT_EQ(enabled, allow);
    EXPECT_EQ(jobs, 1);
    EXPECT_EQ(cancels, allow ? 1 : 0);
  }
}

// A real modal loop: the job raises, the close timer still ends the loop
// and the failure reaches the caller.
TEST_F(ppCancelDialogTest, AJobThatRaisesStillClosesTheDialog) {
  TppDialogRequest request;
  request.Kind = dkCancel;
  request.Activate = [] { throw std::runtime_error("out of paper"); };
  EXPECT_THROW(ppRunDialog(request), std::runtime_error);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ppCancelDialogTest, ModelessDialogDisablesTheActiveWindowUntilItCloses) {
  QWidget main;
  main.show();
  main.activateWindow();
  ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == &main; }, 2000));
  TppDialogRequest request;
  request.Kind = dkCancel;
  request.Modal = false;
  ppRunDialog(request);
  EXPECT_FALSE(main.isEnabled());
  ASSERT_TRUE(request.Close);
  request.Close();
  EXPECT_TRUE(main.isEnabled());
  // Freed without being hidden first: the window is enabled all the same.
  main.activateWindow();
  ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == &main; }, 2000));
  auto* dialog = new TppCancelDialog;
  dialog->show();
  EXPECT_FALSE(main.isEnabled());
  delete dialog;
  EXPECT_TRUE(main.isEnabled());
  // The window it disabled is freed meanwhile: closing the dialog does not
  // reach it.
  auto* other = new QWidget;
  other->show();
  other->activateWindow();
  ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == other; }, 2000));
  TppDialogRequest second;
  second.Kind = dkCancel;
  second.Modal = false;
  ppRunDialog(second);
  EXPECT_FALSE(other->isEnabled());
  delete other;
  second.Close();
}

// The progress the producer passes on lands in the dialog's text, modal
// (while the job runs) and modeless alike.
TEST_F(ppCancelDialogTest, ProgressShowsInTheDialog) {
  const std::string text = ppFormatMessage(27, {"3", "Jobs", "lp0"});
  auto shownText = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* dialog = dynamic_cast<TppCancelDialog*>(w); dialog && dialog->isVisible())
        return dialog->memMessage->toPlainText().toStdString();
    return std::string("no dialog");
  };
  for (bool modal : {true, false}) {
    std::string seen;
    TppDialogRequest request;
    request.Kind = dkCancel;
    request.Modal = modal;
    request.Activate = [&] {
      ASSERT_TRUE(request.Progress);
      request.Progress(text);
      seen = shownText();
    };
    ppRunDialog(request);
    if (!modal) {
      request.Activate();
      request.Close();
    }
    EXPECT_EQ(seen, text) << "modal " << modal;
  }
}

TEST_F(ppCancelDialogTest, NoDataDialogTellsTheUser) {
  std::string shown;
  TFormAnswers answers([&](TppForm& form) {
    auto& dialog = dynamic_cast<TppNoDataDialog&>(form);
    shown = dialog.windowTitle().toStdString() + "|" + dialog.memMessage->toPlainText().toStdString();
    dialog.btnOK->click();
    return dialog.ModalResult();
  });
  TppDialogRequest request;
  request.Kind = dkNoData;
  EXPECT_EQ(ppRunDialog(request), drOK);
  EXPECT_EQ(shown, "No Data Found|No data found for this report.");
}

}  // namespace
