#include "ppDevice.h"

#include <algorithm>

#include "ppDrwCmd.h"
#include "ppPage.h"
#include "ppPublisher.h"
#include "rtlStrUtils.h"
#include "rtlStrings.h"

RTL_DEFINE_CLASS(TppDevice)
RTL_DEFINE_CLASS(TppRasterDevice)

namespace {

std::vector<const TClassInfo*>& DeviceClasses() {
  static std::vector<const TClassInfo*> classes;
  return classes;
}

// A device's type name asks an instance: the name is a virtual answer.
std::string DeviceNameOf(const TClassInfo& deviceClass) {
  if (!deviceClass.Factory()) return deviceClass.Name();
  TObjectPtr<TComponent> probe(deviceClass.Factory()(nullptr));
  const auto* device = dynamic_cast<const TppDevice*>(probe.get());
  return device ? device->DeviceName() : deviceClass.Name();
}

}  // namespace

TppDevice::TppDevice(TComponent* owner) : TppCommunicator(owner) {}

TppDevice::~TppDevice() {
  if (publisher) publisher->RemoveDevice(this);
}

void TppDevice::SetGrouped(bool value) {
  if (!publisher && !jobRunning) grouped = value;
}

void TppDevice::SetGroupKey(const std::string& value) {
  if (!publisher && !jobRunning) groupKey = value;
}

void TppDevice::SetPublisher(TppPublisher* value) {
  if (publisher) publisher->RemoveDevice(this);
  publisher = nullptr;
  if (value) value->AddDevice(this);
  if (OnPublisherChange) OnPublisherChange(this);
}

void TppDevice::CancelJob() {
  jobRunning = false;
  if (OnCancelJob) OnCancelJob(this);
}

void TppDevice::EndJob() {
  if (!jobRunning) return;
  jobRunning = false;
  requestOutstanding = true;
  if (OnEndJob) OnEndJob(this);
}

void TppDevice::SetProgressTarget(TProgressTarget target) {
  progressTarget = std::move(target);
  progressShown.clear();
}

void TppDevice::ShowProgress(const std::string& text) {
  SetStatus(text);
  if (!progressTarget || text == progressShown) return;
  progressShown = text;
  progressTarget(text);
}

void TppDevice::StartJob() {
  if (jobRunning) return;
  jobRunning = true;
  if (OnStartJob) OnStartJob(this);
}

void TppDevice::Reset() {
  pageRequest.Clear();
  requestOutstanding = true;
}

void TppDevice::ReceivePage(TppPage* page) {
  skipPage = false;
  pageRequested = pageRequest.AcceptsPage(*page);
  if (page->Calculation || (!page->Final && IgnoresNonFinalPages())) skipPage = true;
  if (OnPageReceive) OnPageReceive(this, page);
  if (requestOutstanding && page->Final && !page->Calculation) requestOutstanding = !pageRequest.IsSatisfied(*page);
}

void TppDevice::RequestPage() {
  if (!publisher) return;
  requestOutstanding = true;
  publisher->StartJob();
  publisher->RequestPages();
  publisher->EndJob();
}

void TppDevice::DrawPage(TppPage* page) {
  const TppPageDef* def = page->PageDef();
  page->ForEachDrawCommand([&](TppDrawCommand* command) {
    if (command->Left() <= def->mmWidth() && command->Top() <= def->mmHeight()) command->Draw(this);
  });
}

void TppDevice::Notify(TppCommunicator* sender, int operation) {
  if (operation == ppopRemove && publisher && sender == static_cast<TppCommunicator*>(publisher)) {
    publisher = nullptr;
    if (OnPublisherChange) OnPublisherChange(this);
  }
  inherited::Notify(sender, operation);
}

void ppRegisterDevice(const TClassInfo& deviceClass) {
  RegisterClass(deviceClass);
  auto& classes = DeviceClasses();
  if (std::find(classes.begin(), classes.end(), &deviceClass) == classes.end()) classes.push_back(&deviceClass);
}

void ppUnRegisterDevice(const TClassInfo& deviceClass) {
  UnRegisterClass(deviceClass);
  std::erase(DeviceClasses(), &deviceClass);
}

void ppGetDeviceNames(TStrings& list) {
  list.Clear();
  for (const TClassInfo* deviceClass : DeviceClasses())
    list.Add(DeviceNameOf(*deviceClass));
}

const TClassInfo* ppGetDeviceClass(const std::string& deviceName) {
  for (const TClassInfo* deviceClass : DeviceClasses())
    if (SameText(DeviceNameOf(*deviceClass), deviceName)) return deviceClass;
  return nullptr;
}
