#include "ppEngineForms.h"

#include "ppPreview.h"
#include "ppViewer.h"

void ppRegisterEngineForms() {
  ppRegisterScreenDevice();
  ppRegisterFormClass<TppCustomPreviewer, TppPrintPreview>();
}

void ppUnRegisterEngineForms() {
  for (const char* name : {TppCustomPreviewer::AbstractName})
    ppUnRegisterFormClass(name);
  ppUnRegisterDevice(TppScreenDevice::StaticClassType());
}
