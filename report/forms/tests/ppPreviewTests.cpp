#include <gtest/gtest.h>

#include <QTest>

#include "ppASDlg.h"
#include "ppEngineForms.h"
#include "ppFormsKit.h"
#include "ppGraphics.h"
#include "ppPreview.h"
#include "uiGraphicsBitmap.h"
#include "uiTestSupport.h"

namespace {

class ppPrintPreviewTest : public ::testing::Test {
protected:
  void SetUp() override { ppRegisterEngineForms(); }
  void TearDown() override { ppUnRegisterEngineForms(); }
  TKitReport kit{12};
};

TEST_F(ppPrintPreviewTest, PrintOnTheScreenPreviewsAndTheToolBarDrivesTheViewer) {
  int seen = 0;
  TFormAnswers answers([&](TppForm& form) {
    auto& preview = dynamic_cast<TppPrintPreview&>(form);
    ++seen;
    TppViewer& viewer = *preview.Viewer();
    preview.show();
    // The first activation generated the first page.
    EXPECT_EQ(viewer.AbsolutePageNo(), 1);
    EXPECT_TRUE(preview.spbAutoSearch->isHidden());
    preview.spbPreviewNext->click();
    EXPECT_EQ(preview.mskPreviewPage->text(), "2");
    preview.mskPreviewPage->setText("3");
    emit preview.mskPreviewPage->returnPressed();
    EXPECT_EQ(viewer.AbsolutePageNo(), 3);
    preview.mskPreviewPercentage->setText("300 %");
    emit preview.mskPreviewPercentage->returnPressed();
    EXPECT_EQ(viewer.ZoomSetting(), zsPercentage);
    EXPECT_EQ(viewer.CalculatedZoom(), 250);
    EXPECT_FALSE(preview.spbPreviewWhole->isChecked());
    preview.spbPreviewWidth->click();
    EXPECT_EQ(viewer.ZoomSetting(), zsPageWidth);
    EXPECT_EQ(preview.mskPreviewPercentage->text().toStdString(), std::to_string(viewer.CalculatedZoom()) + " %");
    // A second activation (a message box came and went) prints nothing
    // again.
    preview.Activated();
    EXPECT_EQ(viewer.AbsolutePageNo(), 3);
    return ppmrOK;
  });
  EXPECT_TRUE(kit.Report->Print());
  EXPECT_EQ(seen, 1);
}

TEST_F(ppPrintPreviewTest, ClosingWhilePrintingCancelsAndKeepsTheWindow) {
  TFormAnswers answers([&](TppForm& form) {
    auto& preview = dynamic_cast<TppPrintPreview&>(form);
    TppScreenDevice& device = preview.Viewer()->ScreenDevice();
    device.StartJob();
    EXPECT_EQ(preview.spbPreviewClose->text().toStdString(), "Cancel");
    EXPECT_FALSE(preview.mskPreviewPage->isEnabled());
    EXPECT_FALSE(preview.close());
    EXPECT_TRUE(kit.Report->Cancelled());
    device.EndJob();
    EXPECT_EQ(preview.spbPreviewClose->text().toStdString(), "Close");
    EXPECT_TRUE(preview.close());
    return ppmrCancel;
  });
  kit.Report->Print();
}

TEST_F(ppPrintPreviewTest, SearchButtonOnlyForReportsWithSearchFields) {
  kit.Report->SetShowAutoSearchDialog(true);
  for (bool withField : {false, true}) {
    if (withField) kit.Report->CreateAutoSearchCriteria("plRows", "ID", soGreaterThan, "3", false);
    TppPrintPreview preview;
    preview.SetReport(kit.Report);
    preview.Init();
    EXPECT_EQ(preview.spbAutoSearch->isHidden(), !withField);
    preview.SetReport(nullptr);
  }
}

TEST_F(ppPrintPreviewTest, ModelessPreviewStaysAndIsFreedWhenClosed) {
  kit.Report->SetModalPreview(false);
  EXPECT_TRUE(kit.Report->Print());
  QPointer<TppCustomPreviewer> preview = kit.Report->PreviewForm();
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(preview->isVisible());
  EXPECT_EQ(preview->Viewer()->AbsolutePageNo(), 1);
  // A second print shows the same window again.
  kit.Report->Print();
  EXPECT_EQ(kit.Report->PreviewForm(), preview.data());
  preview->close();
  PumpUntil([&] { return preview.isNull(); }, 2000);
  EXPECT_TRUE(preview.isNull());
  EXPECT_EQ(kit.Report->PreviewForm(), nullptr);
}

// The preview shows its own icon unless the report has one; the report's
// icon goes to its other dialogs as well.
TEST_F(ppPrintPreviewTest, TheReportsIconOrThePreviewsOwn) {
  const QImage own = ppPreviewIcon().pixmap(32, 32).toImage();
  EXPECT_FALSE(own.isNull());
  QImage red(16, 16, QImage::Format_ARGB32);
  red.fill(Qt::red);
  kit.Report->SetModalPreview(false);
  for (bool withIcon : {false, true}) {
    if (withIcon) {
      TppPicture icon;
      icon.NewBitmap().SetImage(red);
      kit.Report->SetIcon(&icon);
    }
    const QImage expected = withIcon ? red : own;
    ASSERT_TRUE(kit.Report->Print());
    QPointer<TppCustomPreviewer> preview = kit.Report->PreviewForm();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->windowIcon().pixmap(expected.size()).toImage().convertToFormat(QImage::Format_ARGB32),
              expected.convertToFormat(QImage::Format_ARGB32))
        << "report icon " << withIcon;
    preview->close();
    PumpUntil([&] { return preview.isNull(); }, 2000);
  }
  QImage shown;
  TFormAnswers answers([&](TppForm& form) {
    shown = form.windowIcon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    return ppmrOK;
  });
  TppDialogRequest request;
  request.Kind = dkNoData;
  request.Producer = kit.Report;
  ppRunDialog(request);
  EXPECT_EQ(shown, red.convertToFormat(QImage::Format_ARGB32));
}

TEST_F(ppPrintPreviewTest, ConfirmedSearchMakesThePagesAgain) {
  kit.Report->SetShowAutoSearchDialog(true);
  TppAutoSearchField* field = kit.Report->CreateAutoSearchCriteria("plRows", "ID", soGreaterThan, "3", false);
  int searches = 0;
  kit.Report->OnGetAutoSearchValues = [&](TObject*) { ++searches; };
  TppPrintPreview preview;
  preview.resize(600, 800);
  preview.show();
  preview.SetReport(kit.Report);
  kit.Report->PrintToDevices();
  preview.Viewer()->LastPage();
  ASSERT_EQ(preview.Viewer()->AbsolutePageNo(), 3);
  {
    TFormAnswers answers([&](TppForm& form) {
      auto& dialog = dynamic_cast<TppAutoSearchDialog&>(form);
      dynamic_cast<TppSimpleSearchPanel&>(*dialog.Panels().at(0)).edtValue->setText("8");
      dialog.OKClick();
      return dialog.ModalResult();
    });
    preview.spbAutoSearch->click();
  }
  EXPECT_EQ(field->SearchExpression(), "8");
  EXPECT_EQ(searches, 1);
  EXPECT_EQ(preview.Viewer()->AbsolutePageNo(), 1);
  preview.SetReport(nullptr);
}

// One real modal loop: the preview shows, its first page arrives, the
// close button ends the loop.
TEST_F(ppPrintPreviewTest, ModalPreviewClosesFromItsButton) {
  int page = 0;
  WhenShown<TppPrintPreview>([&](TppPrintPreview& preview) {
    PumpUntil([&] { return preview.Viewer()->AbsolutePageNo() == 1; }, 2000);
    page = preview.Viewer()->AbsolutePageNo();
    QTest::mouseClick(preview.spbPreviewClose, Qt::LeftButton);
  });
  kit.Report->Print();
  EXPECT_EQ(page, 1);
}

}  // namespace
