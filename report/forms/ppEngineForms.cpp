#include "ppEngineForms.h"

#include "ppCancelDlg.h"
#include "ppPreview.h"
#include "ppPrintDlg.h"
#include "ppViewer.h"

void ppRegisterEngineForms() {
  ppRegisterScreenDevice();
  ppRegisterFormClass<TppCustomPreviewer, TppPrintPreview>();
  ppRegisterFormClass<TppCustomPrintDialog, TppPrintDialog>();
  ppRegisterFormClass<TppCustomCancelDialog, TppCancelDialog>();
  ppRegisterFormClass<TppCustomNoDataDialog, TppNoDataDialog>();
}

void ppUnRegisterEngineForms() {
  for (const char* name : {TppCustomPreviewer::AbstractName, TppCustomPrintDialog::AbstractName,
                           TppCustomCancelDialog::AbstractName, TppCustomNoDataDialog::AbstractName})
    ppUnRegisterFormClass(name);
  ppUnRegisterDevice(TppScreenDevice::StaticClassType());
}
