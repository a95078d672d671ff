#include "ppProducer.h"

#include "ppDevice.h"
#include "ppForms.h"
#include "ppPrinterSetup.h"
#include "ppPublisher.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TppProducer)

TppProducer::TppProducer(TComponent* owner)
    : TppRelative(owner),
      printerSetup(std::make_unique<TppPrinterSetup>(this)),
      publisher(std::make_unique<TppPublisher>(nullptr)) {
  publisher->OnPageRequest = [this](TppPublisher*, TppPageRequest& request) { ServePageRequest(request); };
}

TppProducer::~TppProducer() { publisher->OnPageRequest = nullptr; }

void TppProducer::SetPrinterSetup(TppPrinterSetup* value) {
  if (printing || !value) return;
  printerSetup->Assign(value);
  ResetEngine();
}

void TppProducer::SetDeviceType(const std::string& value) {
  if (!printing) deviceType = value;
}

void TppProducer::SetShowPrintDialog(bool value) {
  if (!printing) showPrintDialog = value;
}

bool TppProducer::CachePages() const { return publisher->CachePages(); }

void TppProducer::SetCachePages(bool value) {
  if (!printing) publisher->SetCachePages(value);
}

bool TppProducer::Print() {
  TppDialogRequest request;
  request.Kind = dkPrint;
  request.Producer = this;
  request.DeviceType = deviceType;
  request.Copies = printerSetup->Copies();
  if (showPrintDialog && ppRunDialog(request) != drOK) return false;
  const TClassInfo* deviceClass = ppGetDeviceClass(request.DeviceType);
  if (!deviceClass || !deviceClass->Factory()) return false;
  TObjectPtr<TppDevice> device(dynamic_cast<TppDevice*>(deviceClass->Factory()(nullptr)));
  if (!device) return false;
  device->SetPublisher(publisher.get());
  PrintToDevices();
  device->SetPublisher(nullptr);
  return true;
}

void TppProducer::PrintToDevices() {
  if (printing) return;
  printing = true;
  struct TPrintingGuard {
    bool& flag;
    ~TPrintingGuard() { flag = false; }
  } guard{printing};
  publisher->Reset();
  ResetEngine();
  publisher->StartJob();
  publisher->RequestPages();
  publisher->EndJob();
  if (OnPrintingComplete) OnPrintingComplete(this);
}
