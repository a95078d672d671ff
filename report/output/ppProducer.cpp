#include "ppProducer.h"

#include "ppArchiveDevice.h"
#include "ppDevice.h"
#include "ppFileDevice.h"
#include "ppForms.h"
#include "ppMessages.h"
#include "ppPageRequest.h"
#include "ppPrinter.h"
#include "ppPrinterDevice.h"
#include "ppPrinterSetup.h"
#include "ppPublisher.h"
#include "osDispatcher.h"
#include "rtlFiler.h"
#include "rtlReader.h"
#include "rtlConvert.h"
#include "rtlTypeInfo.h"
#include "rtlWriter.h"

namespace {
// Printing from here to the end of the scope, however it ends.
class TPrintingGuard {
public:
  explicit TPrintingGuard(bool& flag) : flag(flag), before(flag) { flag = true; }
  ~TPrintingGuard() { flag = before; }

private:
  bool& flag;
  bool before;
};
}  // namespace

const TClassInfo& TppProducer::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppProducer>("TppProducer")
                                     .Event("AfterPrint", &TppProducer::AfterPrint)
                                     .Event("BeforePrint", &TppProducer::BeforePrint)
                                     .Event("OnCancelDialogClose", &TppProducer::OnCancelDialogClose)
                                     .Event("OnCancelDialogCreate", &TppProducer::OnCancelDialogCreate)
                                     .Event("OnPageRequest", &TppProducer::OnPageRequest)
                                     .Event("OnPreviewFormClose", &TppProducer::OnPreviewFormClose)
                                     .Event("OnPreviewFormCreate", &TppProducer::OnPreviewFormCreate)
                                     .Event("OnPrintDialogClose", &TppProducer::OnPrintDialogClose)
                                     .Event("OnPrintDialogCreate", &TppProducer::OnPrintDialogCreate)
                                     .Event("OnCancel", &TppProducer::OnCancel)
                                     .Event("OnPrintingComplete", &TppProducer::OnPrintingComplete)
                                     .Build();
  return info;
}

TppProducer::TppProducer(TComponent* owner)
    : TppRelative(owner),
      printerSetup(std::make_unique<TppPrinterSetup>(this)),
      publisher(std::make_unique<TppPublisher>(nullptr)),
      icon(std::make_unique<TppPicture>()) {
  publisher->OnPageRequest = [this](TppPublisher*, TppPageRequest& request) {
    if (OnPageRequest) OnPageRequest(this, &request);
    // A page asked for on its own (a preview's) is printed as in a run:
    // what computes only while printing computes for it too.
    TPrintingGuard guard(printing);
    ServePageRequest(request);
  };
}

TppProducer::~TppProducer() { publisher->OnPageRequest = nullptr; }

int TppProducer::VersionToNumber(const std::string& text) {
  std::string digits;
  bool pointDropped = false;
  for (size_t i = 0; i < text.size() && i < 20; ++i) {
    const char c = text[i];
    if (c == '.') {
      if (pointDropped) continue;
      pointDropped = true;
    } else if (c >= '0' && c <= '9') {
      digits += c;
    } else {
      break;
    }
  }
  while (digits.size() < 4) digits += '0';
  return StrToIntDef(digits.substr(0, 9), 0);
}

void TppProducer::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  filer.DefineProperty(
      "Version",
      [this](TReader& reader) {
        version = reader.ReadString();
        versionNo = VersionToNumber(version);
      },
      [](TWriter& writer) { writer.WriteString(CurrentVersion); }, true);
  // Older layouts named the device by an identifier.
  filer.DefineProperty(
      "Device",
      [this](TReader& reader) {
        const std::string ident = reader.ReadIdent();
        if (ident == "dvScreen") deviceType = "Screen";
        else if (ident == "dvPrinter") deviceType = "Printer";
        else if (ident == "dvFile") deviceType = "TextFile";
        else if (ident == "dvArchive") deviceType = "ArchiveFile";
      },
      nullptr, false);
}

void TppProducer::Loaded() {
  inherited::Loaded();
  const int current = VersionToNumber(CurrentVersion);
  const size_t beta = version.find("Beta Build");
  if (current <= versionNo && beta != std::string::npos) {
    const size_t digit = beta + 11;
    versionNo = digit < version.size() && version[digit] >= '7' && version[digit] <= '9' ? 3999 : 3998;
  }
  convertedFromPre40 = versionNo < 4000;
  if (current > versionNo) {
    // During loading, never later: nothing may change the layout while it
    // prints.
    ConvertFromVersion(versionNo);
    converted = true;
  }
  version = CurrentVersion;
  versionNo = current;
}

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

void TppProducer::SetShowCancelDialog(bool value) {
  if (!printing) showCancelDialog = value;
}

void TppProducer::SetModalCancelDialog(bool value) {
  if (!printing) modalCancelDialog = value;
}

void TppProducer::SetModalPreview(bool value) {
  if (!printing) modalPreview = value;
}

void TppProducer::SetTextFileType(TppFileType value) {
  if (!printing) textFileType = value;
}

void TppProducer::SetLanguage(TppLanguageType value) {
  if (printing) return;
  const TComponentState state = ComponentState();
  if (TppResourceManager::Instance().SetLanguage(value)) language = value;
  else if (state.Contains(csLoading) || state.Contains(csReading)) language = lgDefault;
}

void TppProducer::SetIcon(TppPicture* value) {
  if (!printing && value) icon->Assign(value);
}

void TppProducer::Cancel() {
  cancelled = true;
  StopGeneration();
  Fire(OnCancel, ppevCancel);
}

void TppProducer::Fire(TEvent<void(TObject*)>& handler, int eventId) {
  if (handler) handler(this);
  // The report's scripts hear it after the handler.
  SendEventNotify(this, eventId, nullptr);
}

void TppProducer::ProcessMessages() {
  if (enableProcessMessages) ::ProcessMessages();
}

bool TppProducer::CachePages() const { return publisher->CachePages(); }

void TppProducer::SetCachePages(bool value) {
  if (!printing) publisher->SetCachePages(value);
}

void TppProducer::ShowConversionNotice() {
  if (!convertedFromPre40 || printing) return;
  // Printing meanwhile: the notice's wait must not start another print.
  TPrintingGuard guard(printing);
  TppDialogRequest notice;
  notice.Kind = dkNotice;
  notice.Producer = this;
  notice.Message = ConversionNotice;
  notice.ShowMilliseconds = ConversionNoticeMilliseconds;
  ppRunDialog(notice);
  convertedFromPre40 = false;
}

bool TppProducer::Preview() {
  if (previewForm) {
    previewForm->raise();
    previewForm->activateWindow();
    return true;
  }
  std::unique_ptr<TppCustomPreviewer> form = ppCreateForm<TppCustomPreviewer>();
  if (!form) return false;
  form->SetReport(this);
  ppGiveReportIcon(*form);
  form->Init();
  previewForm = form.get();
  Fire(OnPreviewFormCreate, ppevPreviewFormCreate);
  if (!modalPreview) {
    // Closing frees the form.
    form->setAttribute(Qt::WA_DeleteOnClose);
    form.release()->show();
    PrintToDevices();
    return !cancelled;
  }
  // The job starts at the first activation only: a message box shown over
  // the preview activates it again.
  bool started = false;
  form->OnDialogActivate = [this, &started](TppForm*) {
    if (started || deviceType != "Screen") return;
    started = true;
    PrintToDevices();
  };
  form->ShowModal();
  Fire(OnPreviewFormClose, ppevPreviewFormClose);
  if (AfterPrint) AfterPrint(this);
  return !cancelled;
}

void TppProducer::SaveText(std::string& text) {
  if (OnSaveText) OnSaveText(this, text);
  if (GetEventListenerCount() == 0) return;
  TppEventParams params{Variant(text)};
  SendEventNotify(this, ppevSaveText, &params);
  text = VarIsClear(params[0]) ? std::string() : params[0].AsString();
}

bool TppProducer::Print() {
  // Made, Print's device is the producer's until the job ends.
  struct TProducing {
    TppProducer& producer;
    explicit TProducing(TppProducer& p) : producer(p) { producer.producing = true; }
    ~TProducing() {
      producer.producing = false;
      producer.fileDevice = nullptr;
      producer.printerDevice = nullptr;
    }
  } producingGuard(*this);
  ShowConversionNotice();
  if (deviceType == "Screen" && Preview()) return !cancelled;
  TppDialogRequest request;
  request.Kind = dkPrint;
  request.Producer = this;
  request.DeviceType = deviceType;
  request.Copies = printerSetup->Copies();
  request.CurrentPage = currentPage;
  request.AllowPrintToFile = allowPrintToFile;
  request.AllowPrintToArchive = allowPrintToArchive;
  request.TextFileName = textFileName;
  request.ArchiveFileName = archiveFileName;
  TppPageRequest pages;
  request.PageRequest = &pages;
  // The dialog works on a copy; the report prints with its choice and gets
  // its own setup back afterwards, however printing ends.
  TppPrinterSetup chosen;
  chosen.Assign(printerSetup.get());
  request.PrinterSetup = &chosen;
  if (showPrintDialog) {
    Fire(OnPrintDialogCreate, ppevPrintDialogCreate);
    const bool ok = ppRunDialog(request) == drOK;
    Fire(OnPrintDialogClose, ppevPrintDialogClose);
    if (!ok) return false;
    textFileName = request.TextFileName;
    archiveFileName = request.ArchiveFileName;
  }
  const TClassInfo* deviceClass = ppGetDeviceClass(request.DeviceType);
  if (!deviceClass || !deviceClass->Factory()) return false;
  TObjectPtr<TppDevice> device(dynamic_cast<TppDevice*>(deviceClass->Factory()(nullptr)));
  if (!device) return false;
  if (showPrintDialog) device->SetPageRequest(pages);
  if (auto* file = dynamic_cast<TppFileDevice*>(device.get())) {
    file->SetFileName(dynamic_cast<TppArchiveDevice*>(file) ? archiveFileName : textFileName);
    fileDevice = file;
  }
  if (auto* text = dynamic_cast<TppTextFileDevice*>(device.get()))
    text->OnSaveText = [this](TppTextFileDevice*, TComponent*, std::string& field) { SaveText(field); };
  TppPrinterSetup saved;
  saved.Assign(printerSetup.get());
  struct TRestoreSetup {
    TppPrinterSetup& setup;
    TppPrinterSetup& saved;
    bool changed;
    // SavePrinterSetup keeps the dialog's choice after the job.
    bool keep;
    ~TRestoreSetup() {
      if (changed && !keep) setup.Assign(&saved);
    }
  } restoreSetup{*printerSetup, saved, showPrintDialog && !chosen.IsEqual(saved), savePrinterSetup};
  if (restoreSetup.changed) printerSetup->Assign(&chosen);
  // The printer device starts its document with the report's printer,
  // document name and copies.
  if (auto* printer = dynamic_cast<TppPrinterDevice*>(device.get())) {
    printer->Printer().SetPrinterSetup(*printerSetup);
    printerDevice = printer;
  }
  device->SetPublisher(publisher.get());
  if (showCancelDialog) {
    bool ran = false;
    TppDialogRequest cancelDialog;
    cancelDialog.Kind = dkCancel;
    cancelDialog.Producer = this;
    cancelDialog.Modal = modalCancelDialog;
    cancelDialog.Activate = [this, &ran] {
      if (ran) return;
      ran = true;
      PrintToDevices();
    };
    cancelDialog.Cancel = [this] { Cancel(); };
    // The dialog's text follows the device page by page; messages are
    // processed so that it paints while the job keeps the thread.
    device->SetProgressTarget([this, &cancelDialog](const std::string& text) {
      if (!cancelDialog.Progress) return;
      cancelDialog.Progress(text);
      ProcessMessages();
    });
    struct TForgetTarget {
      TppDevice& device;
      ~TForgetTarget() { device.SetProgressTarget(nullptr); }
    } forgetTarget{*device};
    Fire(OnCancelDialogCreate, ppevCancelDialogCreate);
    ppRunDialog(cancelDialog);
    Fire(OnCancelDialogClose, ppevCancelDialogClose);
    if (!ran) {
      cancelDialog.Activate();
      if (cancelDialog.Close) cancelDialog.Close();
    }
  } else {
    PrintToDevices();
  }
  device->SetPublisher(nullptr);
  return !cancelled;
}

void TppProducer::PrintToDevices() {
  if (printing) return;
  ShowConversionNotice();
  if (BeforePrint) BeforePrint(this);
  TPrintingGuard guard(printing);
  cancelled = false;
  publisher->Reset();
  // The report's scripts start before the engine reads the layout (a start
  // program may change it) and finish however the run ends.
  SendEventNotify(this, ppevReportStart, nullptr);
  try {
    ResetEngine();
    publisher->StartJob();
    publisher->RequestPages();
    if (cancelled) publisher->CancelJob();
    else publisher->EndJob();
  } catch (...) {
    SendEventNotify(this, ppevReportEnd, nullptr);
    throw;
  }
  SendEventNotify(this, ppevReportEnd, nullptr);
  // The preview's close tells a screen job's end.
  bool toScreen = true;
  for (int i = 0; i < publisher->DeviceCount(); ++i)
    if (publisher->Device(i)->DeviceName() != "Screen") toScreen = false;
  if (!toScreen && AfterPrint) AfterPrint(this);
  if (OnPrintingComplete) OnPrintingComplete(this);
}
