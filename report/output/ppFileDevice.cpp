#include "ppFileDevice.h"

#include "ppArchiveDevice.h"
#include "ppMessages.h"
#include "ppPage.h"
#include "ppPublisher.h"
#include "ppTextFileDevice.h"
#include "rtlConsts.h"
#include "rtlConvert.h"
#include "rtlExceptions.h"
#include "rtlStreams.h"

RTL_DEFINE_CLASS(TppFileDevice)

TppFileDevice::TppFileDevice(TComponent* owner) : TppDevice(owner) {}

TppFileDevice::~TppFileDevice() {
  if (!output) return;
  try {
    EndJob();
  } catch (const Exception&) {
    // A destructor cannot report it; the file keeps what was written.
  }
}

void TppFileDevice::SetFileName(const std::string& value) {
  if (!JobRunning()) fileName = value;
}

void TppFileDevice::StartJob() {
  if (JobRunning()) return;
  inherited::StartJob();
  ShowProgress(ppLoadMessage(2));
  if (!createFileAtStart) return;
  try {
    output = std::make_unique<TFileStream>(fileName, fmCreate);
  } catch (...) {
    inherited::CancelJob();
    throw;
  }
}

void TppFileDevice::EndJob() {
  inherited::EndJob();
  output.reset();
}

void TppFileDevice::CancelJob() {
  inherited::CancelJob();
  EndJob();
}

void TppFileDevice::Write(const void* buffer, int64_t count) {
  if (count == 0) return;
  if (!output || output->Write(buffer, count) != count) throw EWriteError(SWriteError);
}

void TppFileDevice::ShowStatus(TppPage* page) {
  const bool lastPageKnown = Publisher() && Publisher()->LastPageKnown();
  if (SkipPage() && !lastPageKnown) return;
  const std::string number = IntToStr(page->AbsolutePageNo);
  if (PageRequest().PageSetting() != psAll || page->PassSetting != psTwoPass)
    ShowProgress(ppFormatMessage(27, {number, page->DocumentName, fileName}));
  else
    ShowProgress(ppFormatMessage(28, {number, IntToStr(page->AbsolutePageCount), page->DocumentName, fileName}));
}

void ppRegisterFileDevices() {
  ppRegisterDevice(TppTextFileDevice::StaticClassType());
  ppRegisterDevice(TppReportTextFileDevice::StaticClassType());
  ppRegisterDevice(TppArchiveDevice::StaticClassType());
}

void ppUnRegisterFileDevices() {
  ppUnRegisterDevice(TppTextFileDevice::StaticClassType());
  ppUnRegisterDevice(TppReportTextFileDevice::StaticClassType());
  ppUnRegisterDevice(TppArchiveDevice::StaticClassType());
}
