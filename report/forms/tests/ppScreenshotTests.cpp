// Each engine window with content, saved as images for a person to look at
// (run from the source folder they land in its artefacts/ folder).

#include <gtest/gtest.h>

#include <QDir>

#include "ppASDlg.h"
#include "ppCancelDlg.h"
#include "ppDevice.h"
#include "ppEngineForms.h"
#include "ppFormsKit.h"
#include "ppPreview.h"
#include "ppPrintDlg.h"
#include "ppPrinterSetup.h"
#include "ppTmplDlg.h"
#include "uiTestSupport.h"

namespace {

void Save(QWidget& window, const char* name) {
  window.show();
  PumpUntil([] { return false; }, 50);
  QDir().mkpath("artefacts");
  EXPECT_TRUE(window.grab().save(QString("artefacts/report-%1.png").arg(name)));
}

TEST(ppScreenshots, EveryEngineWindow) {
  ppRegisterEngineForms();
  TKitReport kit(40, 12);
  kit.Report->CreateAutoSearchCriteria("plRows", "ID", soBetween, "3,30", true);
  kit.Report->CreateAutoSearchCriteria("plRows", "ACTIVE", soEqual, "", false);
  kit.Report->CreateAutoSearchCriteria("plRows", "NAME", soInList, "Row 1,Row 7", false);
  kit.Report->SetShowAutoSearchDialog(true);
  {
    TppPrintPreview preview;
    preview.resize(700, 820);
    preview.SetReport(kit.Report);
    preview.Init();
    preview.show();
    kit.Report->PrintToDevices();
    preview.Viewer()->NextPage();
    Save(preview, "preview");
    preview.spbPreview100Percent->click();
    Save(preview, "preview-100");
    preview.SetReport(nullptr);
  }
  {
    TKitPrinters printers;
    TppPrinterSetup setup;
    setup.SetPrinterName("Office");
    TppPrintDialog dialog;
    dialog.Printer = &setup;
    dialog.AllowPrintToFile = true;
    dialog.Activated();
    Save(dialog, "print-dialog");
  }
  {
    TppCancelDialog dialog;
    dialog.SetPrintProgress("Printing page 3 of 12 for report Kit");
    Save(dialog, "cancel-dialog");
    TppNoDataDialog noData;
    Save(noData, "nodata-dialog");
  }
  {
    TppAutoSearchDialog dialog;
    dialog.SetReport(kit.Report);
    for (int i = 0; i < kit.Report->AutoSearchFieldCount(); ++i)
      dialog.AutoSearchFields.push_back(kit.Report->AutoSearchFields(i));
    dialog.Init();
    Save(dialog, "autosearch-dialog");
  }
  {
    TppTemplateDialog dialog;
    dialog.NameField = "NAME";
    dialog.SetDataPipeline(kit.Pipeline);
    dialog.Activated();
    Save(dialog, "template-dialog");
    TppTemplateErrorDialog error;
    error.SetErrorMessage("Error reading ppReport1.Bands: Property Foo does not exist.\nIgnore the error and continue?");
    Save(error, "template-error-dialog");
  }
  ppUnRegisterEngineForms();
}

}  // namespace
