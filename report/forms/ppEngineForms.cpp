#include "ppEngineForms.h"

#include "ppASDlg.h"
#include "ppCancelDlg.h"
#include "ppPreview.h"
#include "ppPrintDlg.h"
#include "ppRTFEditor.h"
#include "ppTmplDlg.h"
#include "ppViewer.h"

void ppRegisterEngineForms() {
  ppRegisterScreenDevice();
  ppRegisterFormClass<TppCustomPreviewer, TppPrintPreview>();
  ppRegisterFormClass<TppCustomPrintDialog, TppPrintDialog>();
  ppRegisterFormClass<TppCustomCancelDialog, TppCancelDialog>();
  ppRegisterFormClass<TppCustomNoDataDialog, TppNoDataDialog>();
  ppRegisterFormClass<TppCustomAutoSearchDialog, TppAutoSearchDialog>();
  ppRegisterFormClass<TppCustomTemplateDialog, TppTemplateDialog>();
  ppRegisterFormClass<TppCustomTemplateErrorDialog, TppTemplateErrorDialog>();
  ppRegisterFormClass<TppCustomRTFEditor, TppRTFEditor>();
}

void ppUnRegisterEngineForms() {
  for (const char* name : {TppCustomPreviewer::AbstractName, TppCustomPrintDialog::AbstractName,
                           TppCustomCancelDialog::AbstractName, TppCustomNoDataDialog::AbstractName,
                           TppCustomAutoSearchDialog::AbstractName, TppCustomTemplateDialog::AbstractName,
                           TppCustomTemplateErrorDialog::AbstractName, TppCustomRTFEditor::AbstractName})
    ppUnRegisterFormClass(name);
  ppUnRegisterDevice(TppScreenDevice::StaticClassType());
}
